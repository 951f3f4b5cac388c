#pragma once

// Shared by the output-file tests of every platform.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "tests/harness.h"

namespace dravlopro::testing {

inline std::vector<std::string> Names(const std::filesystem::path& folder) {
  return FolderNames(folder);
}

inline bool WriteText(platform::OutputFile& out, const std::string& text) {
  return out.Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                 text.size()));
}

}  // namespace dravlopro::testing
