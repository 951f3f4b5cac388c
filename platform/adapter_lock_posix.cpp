// Adapter locks as advisory file locks.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "adapter/claim_wait_loop.h"
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

  const TakeOutcome outcome = WaitToTake(clock_, waitMs_, kAdapterClaimPollMs, wait, [fd]() {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return TakeAttempt::Taken;
    return errno == EWOULDBLOCK || errno == EINTR ? TakeAttempt::Busy : TakeAttempt::Failed;
  });
  if (outcome == TakeOutcome::Taken) held_.push_back(std::move(lock));
  // A lock that cannot be used at all does not keep the adapter from the run.
  return outcome != TakeOutcome::GaveUp;
}

}  // namespace dravlopro::platform
