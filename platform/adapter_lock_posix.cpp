// Adapter locks as advisory file locks.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/adapter_lock.h"

namespace dravlopro::platform {

struct AdapterLocks::Held {
  Held(std::string lockName, int fd) : name(std::move(lockName)), descriptor(fd) {}
  ~Held() { ::close(descriptor); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  std::string name;
  int descriptor;
};

AdapterLocks::AdapterLocks(Clock& clock, std::uint32_t waitMs) : clock_(clock), waitMs_(waitMs) {}

AdapterLocks::~AdapterLocks() = default;

bool AdapterLocks::Hold(const std::string& name, LockTarget target, ClaimWait* wait) {
  for (const auto& held : held_) {
    if (held->name == name) return true;
  }
  // Read-only is enough for a lock, and lets every user open a lock file
  // that another user made.
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (target == LockTarget::Created ? O_CREAT : 0);
  const int fd = ::open(name.c_str(), flags, 0644);
  if (fd < 0) return true;
  auto lock = std::make_unique<Held>(name, fd);

  std::uint32_t waited = 0;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      held_.push_back(std::move(lock));
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    if (waited == 0 && wait != nullptr) wait->Started(waitMs_);
    if (waited >= waitMs_) {
      if (wait != nullptr) wait->GaveUp(waitMs_);
      return false;
    }
    const std::uint32_t step = std::min(kAdapterClaimPollMs, waitMs_ - waited);
    clock_.SleepMs(step);
    waited += step;
  }
}

}  // namespace dravlopro::platform
