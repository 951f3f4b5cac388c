// HID interfaces through the Windows HID class and device-setup services.

#include <windows.h>
// windows.h first: the setup and HID headers rely on its types.
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>

#include "base/clock.h"
#include "platform/adapter_lock.h"
#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

// A report write that the device does not take within this time failed.
constexpr DWORD kWriteTimeoutMs = 5000;

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct DeviceListDestroyer {
  void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceList = std::unique_ptr<void, DeviceListDestroyer>;

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
using DetailRecord = std::unique_ptr<SP_DEVICE_INTERFACE_DETAIL_DATA_W, FreeDeleter>;

std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

class WindowsHidConnection : public HidConnection {
 public:
  WindowsHidConnection(UniqueHandle device, std::string path, AdapterLocks& locks)
      : device_(std::move(device)),
        event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        path_(std::move(path)),
        locks_(locks) {}

  bool GetAttributes(HidAttributes& out) override {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(device_.get(), &attributes)) return false;
    out.size = attributes.Size;
    out.vendorId = attributes.VendorID;
    out.productId = attributes.ProductID;
    out.versionNumber = attributes.VersionNumber;
    return true;
  }

  bool GetCaps(HidCaps& out) override {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(device_.get(), &preparsed)) return false;
    HIDP_CAPS caps{};
    const NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    out.usage = caps.Usage;
    out.usagePage = caps.UsagePage;
    out.inputReportByteLength = caps.InputReportByteLength;
    out.outputReportByteLength = caps.OutputReportByteLength;
    out.featureReportByteLength = caps.FeatureReportByteLength;
    return true;
  }

  bool GetSerialNumber(std::wstring& out) override {
    wchar_t buffer[16] = {};
    static_assert(sizeof(buffer) == 32, "the serial number is read into 32 bytes");
    if (!HidD_GetSerialNumberString(device_.get(), buffer, sizeof(buffer))) return false;
    out.assign(buffer, wcsnlen(buffer, std::size(buffer)));
    return true;
  }

  // Reports go out and come in whole, report number at byte 0.
  bool Write(const std::uint8_t* report, std::size_t length) override {
    if (!event_) return false;
    if (flushBeforeWrite_) {
      HidD_FlushQueue(device_.get());
      flushBeforeWrite_ = false;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    if (!WriteFile(device_.get(), report, static_cast<DWORD>(length), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      return false;
    }
    return Finish(overlapped, kWriteTimeoutMs) == HidRead::Received;
  }

  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    if (!event_) return HidRead::Failed;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    if (!ReadFile(device_.get(), report, static_cast<DWORD>(length), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      return HidRead::Failed;
    }
    const HidRead read = Finish(overlapped, timeoutMs);
    // What comes in after a read gave up is a late answer: it is dropped
    // before the next request goes out. Not at once: a long wait is read in
    // slices, and its answer may come between the cancelled slice and a
    // flush, which would lose it.
    if (read == HidRead::TimedOut) flushBeforeWrite_ = true;
    return read;
  }

  // The lock first, then the queue: while this handle waited, it collected
  // the answers meant for the run that held the adapter.
  bool Claim(ClaimWait& wait) override {
    std::wstring serial;
    if (!GetSerialNumber(serial)) serial.clear();
    if (!locks_.Hold("dravlopro-adapter-" + AdapterLockKey(serial, path_), LockTarget::Existing,
                     &wait)) {
      return false;
    }
    HidD_FlushQueue(device_.get());
    return true;
  }

 private:
  // Waits for a started request. On timeout it is cancelled, and waited for
  // until the system no longer touches the caller's buffer.
  HidRead Finish(OVERLAPPED& overlapped, DWORD timeoutMs) {
    DWORD transferred = 0;
    const DWORD waited = WaitForSingleObject(overlapped.hEvent, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
      // Only this request: nothing else of the handle is touched.
      CancelIoEx(device_.get(), &overlapped);
      // The request may still have completed before it could be cancelled.
      const bool done = GetOverlappedResult(device_.get(), &overlapped, &transferred, TRUE) != 0;
      if (done && transferred > 0) return HidRead::Received;
      return waited == WAIT_TIMEOUT ? HidRead::TimedOut : HidRead::Failed;
    }
    if (GetOverlappedResult(device_.get(), &overlapped, &transferred, FALSE) == 0 ||
        transferred == 0) {
      return HidRead::Failed;
    }
    return HidRead::Received;
  }

  UniqueHandle device_;
  UniqueHandle event_;
  std::string path_;
  AdapterLocks& locks_;
  bool flushBeforeWrite_ = false;
};

// Windows tells a device's IDs only once it is open, so a pass opens every
// interface, and the device list is built and freed anew for every member
// index.
class WindowsHidPass : public HidPass {
 public:
  explicit WindowsHidPass(AdapterLocks& locks) : locks_(locks) { HidD_GetHidGuid(&hidClass_); }

  InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
    out = HidInterface{};
    HDEVINFO rawList =
        SetupDiGetClassDevsW(&hidClass_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (rawList == INVALID_HANDLE_VALUE) {
      OutputDebugStringW(L"Can't find any device\n");
      return InterfaceOpen::NoInterface;
    }
    const DeviceList list(rawList);

    // Past the last interface this fails too: the normal end of a pass.
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!SetupDiEnumDeviceInterfaces(rawList, nullptr, &hidClass_, memberIndex, &interfaceData)) {
      OutputDebugStringW(L"Request interface data error\n");
      return InterfaceOpen::NoInterface;
    }

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(rawList, &interfaceData, nullptr, 0, &required, nullptr);
    DetailRecord detail;
    if (required >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
      detail.reset(static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, required)));
    }
    if (!detail) {
      OutputDebugStringW(L"Request size of symbolic link name error\n");
      return InterfaceOpen::NoInterface;
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(rawList, &interfaceData, detail.get(), required, nullptr,
                                          nullptr)) {
      OutputDebugStringW(L"Request symbolic link name error\n");
      return InterfaceOpen::NoInterface;
    }

    // Overlapped, so that a read can give up after its timeout.
    UniqueHandle device(CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                    nullptr));
    out.path = ToUtf8(detail->DevicePath);
    // Whether it is an adapter is not known without opening it, so no
    // reason is given when it cannot be opened.
    if (device.get() == INVALID_HANDLE_VALUE || device.get() == nullptr) {
      return InterfaceOpen::CannotOpen;
    }
    // The system may have queued input reports before this handle was
    // asked for any: none of them answers this run.
    HidD_FlushQueue(device.get());
    out.connection = std::make_unique<WindowsHidConnection>(std::move(device), out.path, locks_);
    return InterfaceOpen::Opened;
  }

 private:
  AdapterLocks& locks_;
  GUID hidClass_{};
};

class WindowsHidBackend : public HidBackend {
 public:
  WindowsHidBackend() : locks_(clock_) {}

  // Every pass looks at every interface, whatever the IDs it looks for.
  std::unique_ptr<HidPass> BeginPass(std::uint16_t, std::uint16_t) override {
    return std::make_unique<WindowsHidPass>(locks_);
  }

 private:
  SystemClock clock_;
  AdapterLocks locks_;  // after the clock it waits on
};

}  // namespace

std::unique_ptr<HidBackend> MakeHidBackend() { return std::make_unique<WindowsHidBackend>(); }

}  // namespace dravlopro::platform
