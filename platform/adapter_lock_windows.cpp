// Adapter locks as named mutexes.

#include <windows.h>

#include <algorithm>

#include "adapter/claim_wait_loop.h"
#include "platform/adapter_lock.h"

namespace dravlopro::platform {

struct AdapterLocks::Held {
  Held(std::string lockName, HANDLE object) : name(std::move(lockName)), mutex(object) {}
  ~Held() {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  std::string name;
  HANDLE mutex;
};

AdapterLocks::AdapterLocks(Clock& clock, std::uint32_t waitMs) : clock_(clock), waitMs_(waitMs) {}

AdapterLocks::~AdapterLocks() = default;

bool AdapterLocks::Hold(const std::string& name, LockTarget, ClaimWait* wait) {
  for (const auto& held : held_) {
    if (held->name == name) return true;
  }
  // In the global namespace, so that runs in other sessions see it too.
  const std::wstring object = L"Global\\" + std::wstring(name.begin(), name.end());
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, object.c_str());
  if (mutex == nullptr) return true;

  const TakeOutcome outcome = WaitToTake(clock_, waitMs_, kAdapterClaimPollMs, wait, [mutex]() {
    const DWORD state = WaitForSingleObject(mutex, 0);
    // An abandoned mutex was held by a run that ended without letting go.
    if (state == WAIT_OBJECT_0 || state == WAIT_ABANDONED) return TakeAttempt::Taken;
    return state == WAIT_TIMEOUT ? TakeAttempt::Busy : TakeAttempt::Failed;
  });
  if (outcome == TakeOutcome::Taken) {
    held_.push_back(std::make_unique<Held>(name, mutex));
  } else {
    CloseHandle(mutex);
  }
  // A lock that cannot be used at all does not keep the adapter from the run.
  return outcome != TakeOutcome::GaveUp;
}

}  // namespace dravlopro::platform
