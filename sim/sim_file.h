#pragma once

#include <filesystem>
#include <string>

namespace dravlopro::sim {

// Replaces the file's content in one step: readers see the old bytes or the
// new ones, never a part. False (and the file as it was) on failure.
bool ReplaceFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace dravlopro::sim
