#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dravlopro::platform {

// Files that one process replaces whole while other processes may be reading
// them, as the runs of dravlopro-sim share the saved state of a bench.

// How reading a shared file went.
enum class SharedRead {
  Read,     // the bytes are there
  Missing,  // there is no file of that name
  Failed    // it is there but could not be opened or read
};

// A shared file opened for reading in a way that lets ReplaceSharedFile()
// replace it meanwhile: what it reads is the file as it was when it was
// opened, whole, however the name is reused since.
class SharedFileReader {
 public:
  explicit SharedFileReader(const std::filesystem::path& file);
  ~SharedFileReader();
  SharedFileReader(const SharedFileReader&) = delete;
  SharedFileReader& operator=(const SharedFileReader&) = delete;

  // Read when it is open; otherwise why not.
  SharedRead opened() const { return opened_; }
  // Appends everything from where the last read ended to the end of the
  // file; false when it is not open or a read failed.
  bool ReadAll(std::string& out);

 private:
  std::intptr_t handle_ = -1;  // the platform's handle of the open file
  SharedRead opened_ = SharedRead::Failed;
};

// Opens, reads whole and closes a shared file.
SharedRead ReadSharedFile(const std::filesystem::path& file, std::string& out);

// Replaces the file's content in one step: the bytes go to a temporary file
// beside it, which then takes its name. Readers see the old bytes or the new
// ones, never a part, and a SharedFileReader that has the old file open keeps
// reading it whole. A file that others hold open in a way that forbids its
// replacement (on Windows, without sharing deletion) is tried again for a
// short while. False, with the file as it was and no temporary file left,
// when writing or replacing failed.
bool ReplaceSharedFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace dravlopro::platform
