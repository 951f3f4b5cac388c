// File locks through LockFileEx on the first byte of the lock file: released
// by the system when the handle is closed, also when the process ends.

#include <windows.h>

#include "platform/file_lock.h"

namespace dravlopro::platform {

FileLock::Attempt FileLock::TryTake(const std::filesystem::path& file,
                                    std::unique_ptr<FileLock>& out) {
  out.reset();
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Attempt::Failed;
  OVERLAPPED at{};
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(handle);
    return busy ? Attempt::Busy : Attempt::Failed;
  }
  out.reset(new FileLock(reinterpret_cast<std::intptr_t>(handle)));
  return Attempt::Taken;
}

FileLock::~FileLock() {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED at{};
  UnlockFileEx(handle, 0, 1, 0, &at);
  CloseHandle(handle);
}

}  // namespace dravlopro::platform
