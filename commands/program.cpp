#include "commands/program.h"

#include <vector>

#include "base/result_code.h"
#include "base/text.h"
#include "image/engine.h"
#include "image/loader.h"
#include "probe/connection.h"
#include "probe/flash.h"
#include "probe/memory.h"

namespace dravlopro {

namespace {

constexpr std::uint32_t kVerifyPieceWords = 256;
constexpr std::uint32_t kVerifyPieceStride = 0x400;

// Loads the file named by the command's parameter into the image. Returns a
// result code.
int LoadImage(RunContext& context, bool hex) {
  // Judged by the upper-cased name, opened by the name as typed.
  const std::filesystem::path file = FilePath(context.argv.at(context.commandIndex + 1));
  std::vector<std::uint8_t>& image = context.adapter.image;
  ImageState& state = context.imageState;
  if (!hex) return LoadBinaryImage(file, image, state);
  switch (LoadHexImage(file, image, state)) {
    case HexLoad::Loaded:
      return state.imageSize > kImageBufferSize ? ProgramVerifyFailed : Success;
    case HexLoad::Rejected:
      context.console.Alert(kHexRejectedMessage);
      return FileAccessFailed;
    case HexLoad::CannotOpen:
    case HexLoad::BadLine:
    case HexLoad::ShortRecord:
    case HexLoad::LongLine:
    case HexLoad::ReadFailed:
      break;
  }
  return FileAccessFailed;
}

bool ConnectAndWait(RunContext& context) {
  return ConnectTarget(context.device(), false) &&
         WaitTargetReady(context.device(), context.clock, context.flashPageSize) == 1;
}

// Reads the flash back from address 0 and compares it with the image.
int VerifyImage(RunContext& context) {
  if (!ConnectAndWait(context)) return ConnectFailed;
  if (CheckSecurityLock(context.device()) != Success) return TargetLocked;
  const std::uint32_t imageSize = context.imageState.imageSize;
  // An empty image has nothing to compare.
  if (imageSize == 0) return Success;
  const std::uint32_t totalWords = (imageSize + 3) / 4;
  std::vector<std::uint32_t> readBack(totalWords);
  std::uint32_t address = 0;
  std::uint32_t done = 0;
  while (done < totalWords) {
    const std::uint32_t n = std::min(kVerifyPieceWords, totalWords - done);
    if (ReadTargetWords(context.device(), address, readBack.data() + done, n, false) != 1) {
      return ProgramVerifyFailed;
    }
    done += n;
    address += kVerifyPieceStride;
  }
  const std::vector<std::uint8_t>& image = context.adapter.image;
  for (std::uint32_t i = 0; i < imageSize; ++i) {
    const auto byte = static_cast<std::uint8_t>(readBack[i / 4] >> (8 * (i % 4)));
    if (byte != image[i]) return ProgramVerifyFailed;
  }
  return Success;
}

}  // namespace

int HandleProgram(RunContext& context) {
  ImageState& state = context.imageState;
  for (std::wstring& text : state.ppTexts) text = L"FFFFFFFF";
  state.cp0Enabled = 0;
  state.cp1Enabled = 0;
  return RunImageCommand(context, false);
}

int HandleVerify(RunContext& context) { return RunImageCommand(context, true); }

int RunImageCommand(RunContext& context, bool verifyOnly) {
  const bool hex = IsHexFileName(context.state.params[0]);
  int result = LoadImage(context, hex);
  if (result != Success) return result;

  if (verifyOnly) return VerifyImage(context);

  QueryAdapter(context.adapter, context.imageState);
  if (!DownloadImage(context.adapter, context.imageState)) result = ProgramVerifyFailed;

  // A binary image carries no option bytes: the option page is erased.
  if (!hex) {
    if (!ConnectAndWait(context)) {
      result = ConnectFailed;
    } else if (EraseOptionPage(context.device(), context.clock) != 1) {
      result = OptionBytesFailed;
    }
  }
  return result;
}

}  // namespace dravlopro
