#pragma once

#include "commands/run_context.h"

namespace dravlopro {

// "-a": program an image through the adapter's programming engine.
int HandleProgram(RunContext& context);
// "-v": verify the target's flash against an image.
int HandleVerify(RunContext& context);
int RunImageCommand(RunContext& context, bool verifyOnly);

}  // namespace dravlopro
