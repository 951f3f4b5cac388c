#include <filesystem>

#include "base/result_code.h"
#include "base/text.h"
#include "commands/file_problem.h"
#include "commands/handlers.h"
#include "commands/progress_line.h"
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
  return {context.argv.at(context.commandIndex + 1), ImageKindOfName(context.state.params[0])};
}

int RunImageCommand(RunContext& context, bool verifyOnly) {
  const ImageFile file = ImageFileOf(context);
  std::vector<std::uint8_t>& image = context.adapter.image;
  const ImageLoad load = LoadImageFile(FilePath(file.name), file.kind, image, context.imageState);
  if (load.rejected) context.console.Alert(kHexRejectedMessage);
  if (load.result == FileAccessFailed) ReportFileProblem(context, file.name, load.problem);
  if (load.result != Success) return load.result;

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
