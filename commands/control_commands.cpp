#include "base/result_code.h"
#include "commands/handlers.h"
#include "probe/connection.h"

namespace dravlopro {

int HandleRst(RunContext& context) { return ResetAndRun(context.device()); }

int HandleHrst(RunContext& context) {
  return ConnectTarget(context.device(), true) ? Success : ConnectFailed;
}

int HandleHrsts(RunContext& context) {
  const bool connected = ConnectTarget(context.device(), true);
  HaltCore(context.device());
  return connected ? Success : ConnectFailed;
}

int HandleHalt(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  HaltCore(context.device());
  return Success;
}

int HandleRun(RunContext& context) {
  return ClearDebugAndRun(context.device(), context.clock, context.flashPageSize);
}

}  // namespace dravlopro
