#pragma once

#include "commands/run_context.h"

namespace dravlopro {

// Memory and control commands.
int HandleR32(RunContext& context);
int HandleW32(RunContext& context);
int HandleDump(RunContext& context);
int HandleRst(RunContext& context);
int HandleHrst(RunContext& context);
int HandleHrsts(RunContext& context);
int HandleHalt(RunContext& context);
int HandleRun(RunContext& context);
int HandleSe(RunContext& context);
int HandleMe(RunContext& context);

}  // namespace dravlopro
