#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "base/clock.h"

namespace dravlopro::platform {

// How long a run waits for an adapter that another run is using, and how
// often it looks again. A whole production run (-a of 1 MB, then -v) takes
// well under a minute, so two minutes outlast any run that is still alive;
// when the wait runs out, the adapter counts as one that cannot be opened.
constexpr std::uint32_t kAdapterClaimWaitMs = 120000;
constexpr std::uint32_t kAdapterClaimPollMs = 100;

// What a lock is taken on: a file that must already exist (a device node),
// or a lock file that is made when missing. Named objects ignore this.
enum class LockTarget { Existing, Created };

// The adapters this run holds. A lock stays held until this object goes,
// at the end of the run, whatever happens to the handles in between.
class AdapterLocks {
 public:
  explicit AdapterLocks(Clock& clock, std::uint32_t waitMs = kAdapterClaimWaitMs);
  ~AdapterLocks();
  AdapterLocks(const AdapterLocks&) = delete;
  AdapterLocks& operator=(const AdapterLocks&) = delete;

  // Takes the lock of this name, waiting while another process holds it,
  // at most the wait bound. True when it is held now, also when this object
  // held it already. A lock that cannot be set up at all (no such file, the
  // file system has no locks) does not stop the run: true as well. A wait
  // is told to `wait`, when given.
  bool Hold(const std::string& name, LockTarget target = LockTarget::Existing,
            ClaimWait* wait = nullptr);

 private:
  struct Held;
  Clock& clock_;
  std::uint32_t waitMs_;
  std::vector<std::unique_ptr<Held>> held_;
};

// A name for an adapter's lock, the same in every process: the serial
// number where there is one, else a digest of the device path. Only
// letters, digits, '-' and '_'.
inline std::string AdapterLockKey(const std::wstring& serial, const std::string& devicePath) {
  char hex[24];
  if (!serial.empty()) {
    std::string key = "sn-";
    for (const wchar_t c : serial) {
      const bool plain =
          (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
      if (plain) {
        key += static_cast<char>(c);
      } else {
        std::snprintf(hex, sizeof hex, "_%04X", static_cast<unsigned>(c) & 0xFFFFu);
        key += hex;
      }
    }
    return key;
  }
  std::uint64_t digest = 0xCBF29CE484222325u;  // FNV-1a
  for (const char c : devicePath) {
    digest ^= static_cast<unsigned char>(c);
    digest *= 0x100000001B3u;
  }
  std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(digest));
  return std::string("path-") + hex;
}

}  // namespace dravlopro::platform
