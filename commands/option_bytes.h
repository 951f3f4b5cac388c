#pragma once

#include <array>
#include <cstdint>

#include "commands/run_context.h"

namespace dravlopro {

constexpr std::uint32_t kOptionPageAddress = 0x1FF00000;
constexpr std::size_t kOptionBlockWords = 9;

// The nine words "-ob" programs at the option page: PP0..PP3 inverted, the
// protection word, three unused words and the checksum of the first five.
using OptionBlock = std::array<std::uint32_t, kOptionBlockWords>;
OptionBlock BuildOptionBlock(const RunState& state);

int HandleOb(RunContext& context);
int HandleRob(RunContext& context);

}  // namespace dravlopro
