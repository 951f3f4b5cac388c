// Temporary files removed on a stop signal, on POSIX systems.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>

#include "base/stop_removal.h"

namespace dravlopro::platform {

namespace {

// The signals that stop a run: Ctrl-C, Ctrl-\, a closed terminal, kill.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kStopSignalCount = std::size(kStopSignals);

// The file a stop signal removes; one at a time.
std::atomic<const char*> pendingFile{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);
// The actions the armed file's handler replaced.
struct sigaction previousActions[kStopSignalCount] = {};

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

// Removes the pending file and then lets the signal do what it would have
// done: the action is the default again (SA_RESETHAND), and the signal
// raised here is delivered as soon as the handler returns.
void RemoveFileAndStop(int signal) {
  if (const char* name = pendingFile.load()) ::unlink(name);
  ::raise(signal);
}

}  // namespace

StopsHeld::StopsHeld() {
  static_assert(sizeof(sigset_t) <= sizeof(saved_));
  const sigset_t set = StopSignalSet();
  sigset_t previous;
  ::pthread_sigmask(SIG_BLOCK, &set, &previous);
  std::memcpy(saved_, &previous, sizeof previous);
}

StopsHeld::~StopsHeld() {
  sigset_t previous;
  std::memcpy(&previous, saved_, sizeof previous);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

RemovedOnStop::~RemovedOnStop() {
  if (!armed_) return;
  StopsHeld held;
  Disarm();
}

bool RemovedOnStop::Arm(const std::filesystem::path& file) {
  if (armed_) return false;
  file_ = file;
  const char* none = nullptr;
  if (!pendingFile.compare_exchange_strong(none, file_.c_str())) return false;
  struct sigaction action = {};
  action.sa_handler = RemoveFileAndStop;
  action.sa_mask = StopSignalSet();
  action.sa_flags = SA_RESETHAND;
  for (std::size_t i = 0; i < kStopSignalCount; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previousActions[i]);
    const bool ignored =
        (previousActions[i].sa_flags & SA_SIGINFO) == 0 && previousActions[i].sa_handler == SIG_IGN;
    if (!ignored) ::sigaction(kStopSignals[i], &action, nullptr);
  }
  armed_ = true;
  return true;
}

void RemovedOnStop::Disarm() {
  if (!armed_) return;
  for (std::size_t i = 0; i < kStopSignalCount; ++i) {
    ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
  }
  pendingFile.store(nullptr);
  armed_ = false;
}

}  // namespace dravlopro::platform
