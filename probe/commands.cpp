#include "probe/commands.h"

#include "cli/result_code.h"

// Placeholder definitions until the target commands land.
namespace dravlopro {
int HandleR32(RunContext&) { return ConnectFailed; }
int HandleW32(RunContext&) { return ConnectFailed; }
int HandleDump(RunContext&) { return ConnectFailed; }
int HandleRst(RunContext&) { return ConnectFailed; }
int HandleHrst(RunContext&) { return ConnectFailed; }
int HandleHrsts(RunContext&) { return ConnectFailed; }
int HandleHalt(RunContext&) { return ConnectFailed; }
int HandleRun(RunContext&) { return ConnectFailed; }
int HandleSe(RunContext&) { return ConnectFailed; }
int HandleMe(RunContext&) { return EraseFailed; }
}  // namespace dravlopro
