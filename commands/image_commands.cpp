#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/result_code.h"
#include "base/text.h"
#include "commands/file_problem.h"
#include "commands/handlers.h"
#include "commands/progress_line.h"
#include "image/image_kind.h"
#include "image/loader.h"
#include "image/program.h"

namespace dravlopro {

namespace {

// The file a command's parameter names. It is opened by the name as typed
// and its kind judged by the upper-cased parameter (and, for a name that is
// not HEX, by its first bytes).
struct ImageFile {
  std::wstring name;
  ImageKind kind = ImageKind::Binary;
};

ImageFile ImageFileOf(const RunContext& context) {
  const std::wstring* typed = context.TypedParameter(1);
  return {typed != nullptr ? *typed : std::wstring(), ImageKindOfName(context.state.params[0])};
}

// A file taken as a binary image whose text looks like another kind: it is
// used as it is, and standard error says what it seems to be.
void WarnOfTextImage(RunContext& context, const std::vector<std::uint8_t>& image) {
  const std::size_t size = std::min<std::size_t>(context.imageState.imageSize, image.size());
  const TextImageKind kind = GuessTextImageKind(std::span(image.data(), size));
  if (kind == TextImageKind::None) return;
  const std::string name = Narrow(ImageFileOf(context).name);
  if (kind == TextImageKind::IntelHex) {
    context.hints.Print("dravlopro: " + name +
                        ": looks like Intel HEX text but is taken as a binary image; a file is "
                        "read as HEX only when its name is longer than five characters and ends "
                        "in .hex (any case), for example app.hex\n");
  } else {
    context.hints.Print(
        "dravlopro: " + name +
        ": looks like Motorola S-record text but is taken as a binary image; "
        "only Intel HEX (a name ending in .hex), ELF and raw binary files are read: "
        "convert it, for example with objcopy -I srec -O ihex " +
        name + " app.hex\n");
  }
}

int RunImageCommand(RunContext& context, bool verifyOnly) {
  const ImageFile file = ImageFileOf(context);
  std::vector<std::uint8_t>& image = context.adapter.image;
  const ImageLoad load = LoadImageFile(FilePath(file.name), file.kind, image, context.imageState);
  if (load.rejected) context.console.Alert(kHexRejectedMessage);
  if (load.result == FileAccessFailed) ReportFileProblem(context, file.name, load.problem);
  if (load.result != Success) return load.result;
  if (load.kind == ImageKind::Binary) WarnOfTextImage(context, image);

  CommandProgress shown(context, verifyOnly ? "-v" : "-a", "bytes");
  if (verifyOnly) {
    return VerifyImage(context.device(), context.clock, context.flashPageSize, image,
                       context.imageState.imageSize, shown.progress());
  }
  return ProgramImage(context.device(), context.clock, context.flashPageSize, image,
                      context.imageState, load.kind != ImageKind::Binary, shown.progress());
}

}  // namespace

// "-a": program an image through the adapter's programming engine. The
// option words start from all ones and no protection; a HEX or ELF file
// may set them.
int HandleProgram(RunContext& context) {
  ImageState& state = context.imageState;
  for (std::wstring& text : state.ppTexts) text = L"FFFFFFFF";
  state.cp0Enabled = 0;
  state.cp1Enabled = 0;
  return RunImageCommand(context, false);
}

// "-v": verify the target's flash against an image.
int HandleVerify(RunContext& context) { return RunImageCommand(context, true); }

}  // namespace dravlopro
