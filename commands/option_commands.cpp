#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "commands/handlers.h"
#include "image/option_bytes.h"
#include "probe/connection.h"
#include "probe/flash.h"

namespace dravlopro {

namespace {

// A ready target that is not securely locked: 0, or the result code.
int ConnectForOptions(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  return CheckSecurityLock(context.device());
}

}  // namespace

int HandleOb(RunContext& context) {
  RunState& state = context.state;
  const int parsed = ParseOptionSettings(state, state.paramCount);
  if (parsed != Success) return parsed;
  const OptionBlock block = BuildOptionBlock(state.optionSettings);
  const int ready = ConnectForOptions(context);
  if (ready != Success) return ready;
  return ProgramOptionBlock(context.device(), context.clock, block) ? Success : OptionBytesFailed;
}

int HandleRob(RunContext& context) {
  const int ready = ConnectForOptions(context);
  if (ready != Success) return ready;
  OptionWords words{};
  if (!ReadOptionWords(context.device(), words)) return OptionBytesFailed;
  OptionSettings& s = context.state.optionSettings;
  DecodeOptionWords(words, s);
  context.console.Print(Format("CP0=%u, CP1=%u, PP0=0x%08X, PP1=0x%08X, PP2=0x%08X, PP3=0x%08X\n",
                               s[kCp0Setting].value, s[kCp1Setting].value, s[kPp0Setting].value,
                               s[kPp0Setting + 1].value, s[kPp0Setting + 2].value,
                               s[kPp0Setting + 3].value));
  return Success;
}

}  // namespace dravlopro
