#include "image/program.h"

#include "cli/result_code.h"

// Placeholder definitions until the image commands land.
namespace dravlopro {
int HandleProgram(RunContext& context) { return RunImageCommand(context, false); }
int HandleVerify(RunContext& context) { return RunImageCommand(context, true); }
int RunImageCommand(RunContext&, bool) { return FileAccessFailed; }
}  // namespace dravlopro
