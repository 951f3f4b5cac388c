#include "image/program.h"

#include <algorithm>

#include "base/result_code.h"
#include "image/elf_image.h"
#include "image/engine.h"
#include "image/loader.h"
#include "probe/connection.h"
#include "probe/flash.h"
#include "probe/memory.h"

namespace dravlopro {

namespace {

constexpr std::uint32_t kVerifyPieceWords = 256;
constexpr std::uint32_t kVerifyPieceStride = 0x400;

}  // namespace

ImageKind ImageKindOfName(const std::wstring& upperCasedName) {
  if (IsHexFileName(upperCasedName)) return ImageKind::Hex;
  return IsElfFileName(upperCasedName) ? ImageKind::Elf : ImageKind::Binary;
}

ImageLoad LoadImageFile(const std::filesystem::path& file, ImageKind named,
                        std::vector<std::uint8_t>& image, ImageState& state) {
  ImageLoad load;
  load.kind = named;
  if (named != ImageKind::Hex) {
    bool elf = false;
    load.result =
        LoadBinaryOrElfImage(file, named == ImageKind::Elf, image, state, elf, &load.problem);
    if (elf) load.kind = ImageKind::Elf;
    return load;
  }
  switch (LoadHexImage(file, image, state, &load.problem)) {
    case HexLoad::Loaded:
      load.result = state.imageSize > kImageBufferSize ? ProgramVerifyFailed : Success;
      return load;
    case HexLoad::Rejected:
      load.rejected = true;
      break;
    case HexLoad::CannotOpen:
    case HexLoad::BadLine:
    case HexLoad::ShortRecord:
    case HexLoad::LongLine:
    case HexLoad::ReadFailed:
      break;
  }
  load.result = FileAccessFailed;
  return load;
}

int ProgramImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                 std::span<const std::uint8_t> image, const ImageState& state, bool withOptions,
                 Progress& progress) {
  int result = Success;
  QueryAdapter(device, state);
  if (!DownloadImage(device, image, state, progress)) result = ProgramVerifyFailed;
  if (!withOptions) {
    if (!ConnectAndWait(device, clock, flashPageSize)) {
      result = ConnectFailed;
    } else if (EraseOptionPage(device, clock) != 1) {
      result = OptionBytesFailed;
    }
  }
  return result;
}

int VerifyImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                std::span<const std::uint8_t> image, std::uint32_t imageSize, Progress& progress) {
  if (!ConnectAndWait(device, clock, flashPageSize)) return ConnectFailed;
  if (CheckSecurityLock(device) != Success) return TargetLocked;
  // An empty image has nothing to compare.
  if (imageSize == 0) return Success;
  if (imageSize > image.size()) return ProgramVerifyFailed;
  const std::uint32_t totalWords = (imageSize + 3) / 4;
  std::vector<std::uint32_t> readBack(totalWords);
  std::uint32_t address = 0;
  std::uint32_t done = 0;
  progress.Update(0, imageSize);
  while (done < totalWords) {
    const std::uint32_t n = std::min(kVerifyPieceWords, totalWords - done);
    if (ReadTargetWords(device, address, readBack.data() + done, n, false) != 1) {
      return ProgramVerifyFailed;
    }
    done += n;
    address += kVerifyPieceStride;
    progress.Update(std::min<std::uint64_t>(std::uint64_t{4} * done, imageSize), imageSize);
  }
  for (std::uint32_t i = 0; i < imageSize; ++i) {
    const auto byte = static_cast<std::uint8_t>(readBack[i / 4] >> (8 * (i % 4)));
    if (byte != image[i]) return ProgramVerifyFailed;
  }
  return Success;
}

}  // namespace dravlopro
