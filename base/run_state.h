#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dravlopro {

constexpr std::size_t kMaxParams = 1024;

struct OptionSetting {
  std::wstring name;
  std::uint32_t value = 0;
};

// The settings of "-ob" and "-rob", in this order.
using OptionSettings = std::array<OptionSetting, 6>;
enum OptionSettingIndex : std::size_t { kCp0Setting = 0, kCp1Setting, kPp0Setting };

// The adapter ID that chooses none: the adapter is chosen by serial number
// (or by the saved default when there is none either).
inline constexpr std::int32_t kNoTargetId = 255;

// The driver's program-wide state, read by the command handlers.
struct RunState {
  std::uint32_t quiet = 0;
  std::int32_t targetId = kNoTargetId;
  std::wstring targetSn;
  // The upper-cased words after the command word now running; entries past
  // paramCount keep what earlier commands left.
  std::vector<std::wstring> params = std::vector<std::wstring>(kMaxParams);
  std::size_t paramCount = 0;
  OptionSettings optionSettings{
      {{L"CP0", 0}, {L"CP1", 0}, {L"PP0", 0}, {L"PP1", 0}, {L"PP2", 0}, {L"PP3", 0}}};
};

// Takes the words after the command word at commandIndex, upper-cased, as
// the current command's parameters: all the rest of the line, but never more
// than `params` holds, whatever the line's checks let through.
void TakeParameters(RunState& state, const std::vector<std::wstring>& argv,
                    std::size_t commandIndex);

}  // namespace dravlopro
