#pragma once

#include "commands/run_context.h"

// The command handlers. Each reads its parameters from the run context and
// returns the command's result code; only the command table calls them.
namespace dravlopro {

// Adapter selection: "-list", "-pdev", "-sdev". They see this command's
// adapter open result in context.openResult (0 or 31).
int HandleList(RunContext& context);
int HandlePdev(RunContext& context);
int HandleSdev(RunContext& context);

// Target memory: "-r32", "-w32", "-dump".
int HandleR32(RunContext& context);
int HandleW32(RunContext& context);
int HandleDump(RunContext& context);

// Core control: "-rst", "-hrst", "-hrsts", "-halt", "-run".
int HandleRst(RunContext& context);
int HandleHrst(RunContext& context);
int HandleHrsts(RunContext& context);
int HandleHalt(RunContext& context);
int HandleRun(RunContext& context);

// Erasing: "-se", "-me".
int HandleSe(RunContext& context);
int HandleMe(RunContext& context);

// Images: "-a", "-v".
int HandleProgram(RunContext& context);
int HandleVerify(RunContext& context);

// Option bytes: "-ob", "-rob".
int HandleOb(RunContext& context);
int HandleRob(RunContext& context);

}  // namespace dravlopro
