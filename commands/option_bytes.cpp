#include "commands/option_bytes.h"

#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "probe/connection.h"
#include "probe/flash.h"
#include "probe/memory.h"

namespace dravlopro {

namespace {

// Positions of the settings in RunState::optionSettings.
enum Setting : std::size_t { kCp0 = 0, kCp1, kPp0, kPp1, kPp2, kPp3 };
constexpr std::size_t kReadWords = 5;
constexpr std::uint32_t kCp0Bit = 1u << 0;
constexpr std::uint32_t kCp1Bit = 1u << 1;

int ConnectForOptions(RunContext& context) {
  if (!ConnectTarget(context.device(), false)) return ConnectFailed;
  if (WaitTargetReady(context.device(), context.clock, context.flashPageSize) != 1) {
    return ConnectFailed;
  }
  return CheckSecurityLock(context.device());
}

}  // namespace

OptionBlock BuildOptionBlock(const RunState& state) {
  const auto& s = state.optionSettings;
  OptionBlock block;
  block.fill(0xFFFFFFFFu);
  block[0] = ~s[kPp0].value;
  block[1] = ~s[kPp1].value;
  block[2] = ~s[kPp2].value;
  block[3] = ~s[kPp3].value;
  std::uint32_t cpWord = 0xFFFFFFFFu;
  if (s[kCp0].value != 0) cpWord &= ~kCp0Bit;
  if (s[kCp1].value != 0) cpWord &= ~kCp1Bit;
  block[4] = cpWord;
  block[8] = block[0] + block[1] + block[2] + block[3] + block[4];
  return block;
}

int HandleOb(RunContext& context) {
  RunState& state = context.state;
  const int parsed = ParseOptionSettings(state, state.paramCount);
  if (parsed != Success) return parsed;
  const OptionBlock block = BuildOptionBlock(state);
  const int ready = ConnectForOptions(context);
  if (ready != Success) return ready;
  if (EraseOptionPage(context.device(), context.clock) != 1) return OptionBytesFailed;
  if (ProgramWords(context.device(), kOptionPageAddress, block.data(),
                   static_cast<std::uint32_t>(block.size())) != 1) {
    return OptionBytesFailed;
  }
  return Success;
}

int HandleRob(RunContext& context) {
  const int ready = ConnectForOptions(context);
  if (ready != Success) return ready;
  std::array<std::uint32_t, kReadWords> words{};
  if (ReadTargetBlock(context.device(), kOptionPageAddress, words.data(), kReadWords) != 1) {
    return OptionBytesFailed;
  }
  auto& s = context.state.optionSettings;
  s[kCp0].value = (words[4] & kCp0Bit) == 0 ? 1 : 0;
  s[kCp1].value = (words[4] & kCp1Bit) == 0 ? 1 : 0;
  s[kPp0].value = ~words[0];
  s[kPp1].value = ~words[1];
  s[kPp2].value = ~words[2];
  s[kPp3].value = ~words[3];
  context.console.Print(Format("CP0=%u, CP1=%u, PP0=0x%08X, PP1=0x%08X, PP2=0x%08X, PP3=0x%08X\n",
                               s[kCp0].value, s[kCp1].value, s[kPp0].value, s[kPp1].value,
                               s[kPp2].value, s[kPp3].value));
  return Success;
}

}  // namespace dravlopro
