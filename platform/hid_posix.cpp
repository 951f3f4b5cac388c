// HID interfaces through hidapi (hidraw on Linux, IOHIDManager on macOS).

#if __has_include(<hidapi/hidapi.h>)
#include <hidapi/hidapi.h>
#else
#include <hidapi.h>
#endif

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "base/clock.h"
#include "platform/adapter_lock.h"
#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

// hidapi does not tell the report lengths. The adapter's reports are 64
// payload bytes behind the report number, so that is what every interface
// reports.
constexpr std::uint16_t kReportByteLength = 65;
// More input reports than a handle can have queued: the end of emptying it
// even when the device keeps sending.
constexpr int kMaxQueuedReports = 256;

struct EnumerationDeleter {
  void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using Enumeration = std::unique_ptr<hid_device_info, EnumerationDeleter>;

struct DeviceDeleter {
  void operator()(hid_device* device) const { hid_close(device); }
};
using Device = std::unique_ptr<hid_device, DeviceDeleter>;

bool LibraryReady() {
  static const bool ready = hid_init() == 0;
  return ready;
}

// Where the lock of an adapter lives. On Linux the device node itself is
// locked. macOS device paths are not files, so a lock file in the system's
// temporary folder stands for the adapter there; not the per-user one, so
// that runs of different users see each other's locks.
std::string LockFileFor(const std::wstring& serial, const std::string& devicePath,
                        LockTarget& target) {
#if defined(__APPLE__)
  target = LockTarget::Created;
  return "/tmp/dravlopro-adapter-" + AdapterLockKey(serial, devicePath) + ".lock";
#else
  static_cast<void>(serial);
  target = LockTarget::Existing;
  return devicePath;
#endif
}

// Why the device at this path cannot be opened, in the system's words;
// empty when that cannot be told. hidapi does not keep the error number, so
// on Linux the device node is opened once more here, as hidapi opens it.
// macOS device paths are not files: no reason there.
std::string OpenError(const char* path) {
#if defined(__linux__)
  const int fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
#else
  static_cast<void>(path);
#endif
  return {};
}

class HidapiConnection : public HidConnection {
 public:
  HidapiConnection(Device device, const hid_device_info& info, AdapterLocks& locks)
      : device_(std::move(device)),
        locks_(locks),
        path_(info.path != nullptr ? info.path : ""),
        vendorId_(info.vendor_id),
        productId_(info.product_id),
        release_(info.release_number),
        usagePage_(info.usage_page),
        usage_(info.usage),
        hasSerial_(info.serial_number != nullptr),
        serial_(info.serial_number != nullptr ? info.serial_number : L"") {}

  bool GetAttributes(HidAttributes& out) override {
    out.size = sizeof(HidAttributes);
    out.vendorId = vendorId_;
    out.productId = productId_;
    out.versionNumber = release_;
    return true;
  }

  bool GetCaps(HidCaps& out) override {
    out = HidCaps{};
    out.usagePage = usagePage_;
    out.usage = usage_;
    out.inputReportByteLength = kReportByteLength;
    out.outputReportByteLength = kReportByteLength;
    return true;
  }

  bool GetSerialNumber(std::wstring& out) override {
    out = serial_;
    return hasSerial_;
  }

  // The buffer goes out as it is: byte 0 is the report number.
  bool Write(const std::uint8_t* report, std::size_t length) override {
    if (report == nullptr || length == 0) return false;
    return hid_write(device_.get(), report, length) > 0;
  }

  // hidapi hands over the payload without the report number; the report
  // number byte is put back in front here, and only here.
  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    if (report == nullptr || length < 2) return HidRead::Failed;
    std::vector<std::uint8_t> payload(length - 1);
    const int timeout = static_cast<int>(std::min<std::uint32_t>(timeoutMs, INT_MAX));
    const int n = hid_read_timeout(device_.get(), payload.data(), payload.size(), timeout);
    if (n == 0) return HidRead::TimedOut;
    if (n < 0) return HidRead::Failed;
    std::memset(report, 0, length);
    std::memcpy(report + 1, payload.data(), std::min<std::size_t>(n, payload.size()));
    return HidRead::Received;
  }

  // The lock first, then the queue: while this handle waited, it collected
  // the answers meant for the run that held the adapter.
  bool Claim(ClaimWait& wait) override {
    LockTarget target = LockTarget::Existing;
    const std::string lockFile = LockFileFor(serial_, path_, target);
    if (!locks_.Hold(lockFile, target, &wait)) return false;
    std::uint8_t payload[kReportByteLength];
    for (int i = 0; i < kMaxQueuedReports; ++i) {
      if (hid_read_timeout(device_.get(), payload, sizeof payload, 0) <= 0) break;
    }
    return true;
  }

 private:
  Device device_;
  AdapterLocks& locks_;
  std::string path_;
  std::uint16_t vendorId_;
  std::uint16_t productId_;
  std::uint16_t release_;
  std::uint16_t usagePage_;
  std::uint16_t usage_;
  bool hasSerial_;
  std::wstring serial_;
};

// The platform's listing shows each interface's IDs, so one listing serves
// the whole pass and only the devices with the wanted IDs are ever opened:
// opening others (keyboards, ...) is never needed, and on macOS it would make
// the system ask the user for input-monitoring permission.
class HidapiPass : public HidPass {
 public:
  HidapiPass(std::uint16_t vendorId, std::uint16_t productId, AdapterLocks& locks)
      : vendorId_(vendorId), productId_(productId), locks_(locks) {
    if (!LibraryReady()) return;
    list_.reset(hid_enumerate(vendorId, productId));
    for (const hid_device_info* info = list_.get(); info != nullptr; info = info->next) {
      entries_.push_back(info);
    }
  }

  InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
    out = HidInterface{};
    if (memberIndex >= entries_.size()) return InterfaceOpen::NoInterface;
    const hid_device_info& info = *entries_[memberIndex];
    if (info.path == nullptr) return InterfaceOpen::CannotOpen;
    out.path = info.path;
    if (info.vendor_id != vendorId_ || info.product_id != productId_) {
      return InterfaceOpen::OtherDevice;
    }
    Device device(hid_open_path(info.path));
    if (!device) {
      out.openError = OpenError(info.path);
      return InterfaceOpen::CannotOpen;
    }
    out.connection = std::make_unique<HidapiConnection>(std::move(device), info, locks_);
    return InterfaceOpen::Opened;
  }

 private:
  std::uint16_t vendorId_;
  std::uint16_t productId_;
  AdapterLocks& locks_;
  Enumeration list_;
  std::vector<const hid_device_info*> entries_;
};

class HidapiBackend : public HidBackend {
 public:
  HidapiBackend() : locks_(clock_) {}

  std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) override {
    return std::make_unique<HidapiPass>(vendorId, productId, locks_);
  }

 private:
  SystemClock clock_;
  AdapterLocks locks_;  // after the clock it waits on
};

}  // namespace

std::unique_ptr<HidBackend> MakeHidBackend() { return std::make_unique<HidapiBackend>(); }

}  // namespace dravlopro::platform
