// Temporary files removed on Ctrl-C, Ctrl-Break or the closing of the
// console, on Windows. The console runs its handlers on a thread of their
// own while the run goes on, so the pending name is only touched under a
// lock; the handler, once installed, stays and does nothing while no file
// is armed.
#include <windows.h>

#include "base/stop_removal.h"

namespace dravlopro::platform {

namespace {

SRWLOCK pendingLock = SRWLOCK_INIT;
const wchar_t* pendingFile = nullptr;

class PendingLocked {
 public:
  PendingLocked() { AcquireSRWLockExclusive(&pendingLock); }
  ~PendingLocked() { ReleaseSRWLockExclusive(&pendingLock); }
  PendingLocked(const PendingLocked&) = delete;
  PendingLocked& operator=(const PendingLocked&) = delete;
};

// Removes the pending file; the next handler, in the end the default one,
// then ends the run.
BOOL WINAPI RemoveFileOnStop(DWORD) {
  PendingLocked locked;
  if (pendingFile != nullptr) DeleteFileW(pendingFile);
  return FALSE;
}

}  // namespace

// The handler thread is not held back: the lock keeps the name whole.
StopsHeld::StopsHeld() {}

StopsHeld::~StopsHeld() {}

RemovedOnStop::~RemovedOnStop() { Disarm(); }

bool RemovedOnStop::Arm(const std::filesystem::path& file) {
  static const bool installed = SetConsoleCtrlHandler(RemoveFileOnStop, TRUE) != 0;
  (void)installed;
  if (armed_) return false;
  PendingLocked locked;
  if (pendingFile != nullptr) return false;
  file_ = file;
  pendingFile = file_.c_str();
  armed_ = true;
  return true;
}

void RemovedOnStop::Disarm() {
  if (!armed_) return;
  PendingLocked locked;
  pendingFile = nullptr;
  armed_ = false;
}

}  // namespace dravlopro::platform
