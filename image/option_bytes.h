#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "adapter/hid_device.h"
#include "base/clock.h"
#include "base/run_state.h"

namespace dravlopro {

constexpr std::size_t kOptionBlockWords = 9;
// The words "-rob" reads back: PP0..PP3 inverted and the protection word.
constexpr std::size_t kOptionReadWords = 5;

// The nine words "-ob" programs at the option page: PP0..PP3 inverted, the
// protection word, three unused words and the checksum of the first five.
// Any non-zero CP setting turns its protection on.
using OptionBlock = std::array<std::uint32_t, kOptionBlockWords>;
OptionBlock BuildOptionBlock(const OptionSettings& settings);

// Erases the option page and programs the block from its start. False when
// either failed.
bool ProgramOptionBlock(CHidDevice& device, Clock& clock, const OptionBlock& block);

// Reads the first words of the option page. False when the read failed.
using OptionWords = std::array<std::uint32_t, kOptionReadWords>;
bool ReadOptionWords(CHidDevice& device, OptionWords& words);
// The settings the option words stand for.
void DecodeOptionWords(const OptionWords& words, OptionSettings& settings);

}  // namespace dravlopro
