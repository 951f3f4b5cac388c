#include "adapter/hid_device.h"

#include <algorithm>
#include <cstring>

#include "base/result_code.h"

namespace dravlopro {

CHidDevice::CHidDevice(HidBackend& backend, AdapterTable& table)
    : backend_(backend), table_(table) {}

// The handle closes with the device.
CHidDevice::~CHidDevice() = default;

void CHidDevice::Close() { SetHandle(nullptr); }

void CHidDevice::SetHandle(std::unique_ptr<HidConnection> next) {
  handle = std::move(next);
  linkRetired_ = false;
}

InterfaceOpen CHidDevice::OpenHidInterface(HidPass& pass, std::uint32_t memberIndex,
                                           std::unique_ptr<HidConnection>& out,
                                           char* pathDestination) {
  HidInterface found;
  const InterfaceOpen result = pass.OpenInterface(memberIndex, found);
  NoteOpenOutcome(result, found);
  out = std::move(found.connection);
  if (result != InterfaceOpen::NoInterface && pathDestination != nullptr) {
    const std::size_t n = std::min(found.path.size(), kDevicePathBytes - 1);
    std::memcpy(pathDestination, found.path.data(), n);
    pathDestination[n] = '\0';
  }
  return result;
}

void CHidDevice::NoteOpenOutcome(InterfaceOpen result, const HidInterface& found) {
  const auto known =
      std::find_if(unopenable_.begin(), unopenable_.end(),
                   [&](const UnopenableAdapter& adapter) { return adapter.path == found.path; });
  if (result == InterfaceOpen::Opened) {
    if (known != unopenable_.end()) unopenable_.erase(known);
  } else if (result == InterfaceOpen::CannotOpen && !found.openError.empty()) {
    if (known == unopenable_.end()) {
      unopenable_.push_back({found.path, found.openError});
    } else {
      known->reason = found.openError;
    }
  }
}

void CHidDevice::Examine(HidConnection& connection) {
  attributes = HidAttributes{};
  caps = HidCaps{};
  connection.GetAttributes(attributes);
  connection.GetCaps(caps);
}

std::wstring CHidDevice::ReadSerialNumber(HidConnection& connection) {
  std::wstring serial;
  if (!connection.GetSerialNumber(serial)) return {};
  // Never more than the 32-byte buffer holds, and never past a zero.
  const std::size_t end = std::min(serial.find(L'\0'), kSerialNumberUnits);
  return serial.substr(0, std::min(end, serial.size()));
}

void CHidDevice::ListAdapters(std::uint16_t vendorId, std::uint16_t productId,
                              std::uint32_t maxAdapters) {
  const std::unique_ptr<HidPass> pass = backend_.BeginPass(vendorId, productId);
  for (std::uint32_t i = 0;; ++i) {
    std::unique_ptr<HidConnection> h;
    char scratch[kDevicePathBytes] = {};
    const InterfaceOpen opened = OpenHidInterface(*pass, i, h, scratch);
    if (opened == InterfaceOpen::NoInterface) return;
    if (opened != InterfaceOpen::Opened || !h) continue;
    Examine(*h);
    if (attributes.vendorId == vendorId && attributes.productId == productId) {
      if (table_.adapterCount >= maxAdapters) return;
      table_.adapterSns[table_.adapterCount] = ReadSerialNumber(*h);
      ++table_.adapterCount;
    }
    // h closes here: every examined device is closed again.
  }
}

int CHidDevice::Open(std::int32_t index, std::wstring serial, std::uint16_t vendorId,
                     std::uint16_t productId, std::uint32_t maxAdapters, std::int32_t option) {
  // A handle left open by an earlier Open is released, not leaked.
  if (handle) Close();
  maxAdapters = std::min(maxAdapters, kMaxAdapters);
  bool retryAllowed = true;
  for (;;) {
    table_.adapterCount = 0;
    SetHandle(nullptr);
    openOption = option;
    ListAdapters(vendorId, productId, maxAdapters);
    if (table_.adapterCount == 0) return NoAdapter;

    if (static_cast<std::uint32_t>(index) < table_.adapterCount) {
      table_.openedSn = table_.adapterSns[static_cast<std::uint32_t>(index)];
    } else {
      if (serial.empty()) return AdapterNotFound;
      const auto first = table_.adapterSns.begin();
      const auto last = first + table_.adapterCount;
      if (std::find(first, last, serial) == last) return AdapterNotFound;
      table_.openedSn = serial;
    }
    const int opened = OpenBySerial(vendorId, productId, table_.openedSn, 1);
    if (opened == 1) return Success;
    // The claim has already waited its whole bound: no second wait.
    if (opened == kHeldElsewhere || !retryAllowed) return NoAdapter;
    retryAllowed = false;
  }
}

namespace {

// One claim's waits, told to the device's observer with the adapter's name.
class NamedClaimWait : public ClaimWait {
 public:
  NamedClaimWait(ClaimWaitObserver* observer, const std::wstring& serial, const char* path)
      : observer_(observer), serial_(serial), path_(path) {}
  void Started(std::uint32_t boundMs) override {
    if (observer_ != nullptr) observer_->ClaimWaitStarted(serial_, path_, boundMs);
  }
  void GaveUp(std::uint32_t boundMs) override {
    if (observer_ != nullptr) observer_->ClaimGaveUp(serial_, path_, boundMs);
  }

 private:
  ClaimWaitObserver* observer_;
  const std::wstring& serial_;
  std::string path_;
};

}  // namespace

int CHidDevice::OpenBySerial(std::uint16_t vendorId, std::uint16_t productId,
                             const std::wstring& serial, std::int32_t /*flag*/) {
  SetHandle(nullptr);
  const std::unique_ptr<HidPass> pass = backend_.BeginPass(vendorId, productId);
  for (std::uint32_t i = 0;; ++i) {
    std::unique_ptr<HidConnection> h;
    char scratch[kDevicePathBytes] = {};
    const InterfaceOpen opened = OpenHidInterface(*pass, i, h, scratch);
    if (opened == InterfaceOpen::NoInterface) return 0;
    if (opened != InterfaceOpen::Opened || !h) continue;
    Examine(*h);
    if (attributes.vendorId == vendorId && attributes.productId == productId &&
        ReadSerialNumber(*h) == serial) {
      // Held by another run for longer than the claim waits: as if it could
      // not be opened.
      NamedClaimWait wait(claimObserver, serial, scratch);
      if (!h->Claim(wait)) return kHeldElsewhere;
      SetHandle(std::move(h));
      return 1;
    }
  }
}

HidRead CHidDevice::ReadReport(std::uint8_t* buffer, std::size_t count, std::uint32_t timeoutMs) {
  if (!handle) return HidRead::Failed;
  return handle->Read(buffer, count, timeoutMs);
}

bool CHidDevice::WriteReport(const std::uint8_t* buffer, std::size_t count) {
  if (!handle) return false;
  return handle->Write(buffer, count);
}

}  // namespace dravlopro
