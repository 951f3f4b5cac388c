#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace dravlopro::platform {

// An exclusive lock kept in a file and shared with every other process that
// locks the same file: advisory (it keeps out only those that ask for it),
// held until the object is destroyed or the process ends, however it ends.
class FileLock {
 public:
  enum class Attempt {
    Taken,  // the lock is ours
    Busy,   // another holder has it
    Failed  // the lock file cannot be created or opened
  };

  // Tries once, without waiting, to take the lock kept in this file; creates
  // the file when it does not exist yet. On Taken, `out` holds the lock.
  static Attempt TryTake(const std::filesystem::path& file, std::unique_ptr<FileLock>& out);

  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  explicit FileLock(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;  // the platform's handle of the open lock file
};

}  // namespace dravlopro::platform
