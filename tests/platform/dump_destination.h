#pragma once

// What the "-dump" destination tests share.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/probe/probe_bench.h"

namespace dravlopro::probetest {

constexpr std::uint32_t kSram = 0x20000000;

// Puts count words into SRAM and returns the bytes a dump of them holds.
inline std::string FillSram(TargetBench& bench, std::uint32_t count,
                            std::uint32_t seed = 0x03020100) {
  std::string bytes;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t word = seed + i * 0x04040404;
    bench.chip().SetSramWord(kSram + 4 * i, word);
    for (int b = 0; b < 4; ++b) bytes += static_cast<char>((word >> (8 * b)) & 0xFF);
  }
  return bytes;
}

// The command line that dumps count words of SRAM into the file.
inline std::vector<std::string> DumpTo(const std::filesystem::path& file, std::uint32_t count) {
  return {"-dump", "0x20000000", std::to_string(count), testing::Utf8Name(file)};
}

inline const std::string kFileFailure =
    "Process: -dump (Fail)\n"
    "Result: There was an error in file access. Please confirm that the file path is "
    "correct and that the file exists.\n";

}  // namespace dravlopro::probetest
