#pragma once

#include <filesystem>
#include <string>

#include "platform/shared_file.h"

namespace dravlopro::sim {

// The files of a bench folder, which runs going on at the same time read
// and replace.

using platform::SharedRead;

// Replaces the file's content in one step: readers see the old bytes or the
// new ones, never a part. False (and the file as it was) on failure.
bool ReplaceFile(const std::filesystem::path& file, const std::string& bytes);

// Reads the whole file, opened so that a run replacing it meanwhile is not
// held up: the bytes are the file as it was when opened.
SharedRead ReadFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace dravlopro::sim
