// Adapter locks as named mutexes.

#include <windows.h>

#include <algorithm>

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

  std::uint32_t waited = 0;
  for (;;) {
    const DWORD state = WaitForSingleObject(mutex, 0);
    // An abandoned mutex was held by a run that ended without letting go.
    if (state == WAIT_OBJECT_0 || state == WAIT_ABANDONED) {
      held_.push_back(std::make_unique<Held>(name, mutex));
      return true;
    }
    if (state == WAIT_TIMEOUT && waited == 0 && wait != nullptr) wait->Started(waitMs_);
    if (state != WAIT_TIMEOUT || waited >= waitMs_) {
      CloseHandle(mutex);
      if (state == WAIT_TIMEOUT && wait != nullptr) wait->GaveUp(waitMs_);
      return state != WAIT_TIMEOUT;
    }
    const std::uint32_t step = std::min(kAdapterClaimPollMs, waitMs_ - waited);
    clock_.SleepMs(step);
    waited += step;
  }
}

}  // namespace dravlopro::platform
