#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"

namespace dravlopro {

constexpr std::uint16_t kAdapterVendorId = 0x04D9;
constexpr std::uint16_t kAdapterProductId = 0x802F;
constexpr std::uint32_t kMaxAdapters = 8;
// The serial number is read into 32 bytes: 16 UTF-16 code units.
constexpr std::size_t kSerialNumberUnits = 16;
constexpr std::size_t kDevicePathBytes = 260;

// How long a report read waits. CMSIS-DAP answers come at once; the
// programming engine answers only after it has erased or programmed.
constexpr std::uint32_t kDapReadTimeoutMs = 5000;
constexpr std::uint32_t kEngineReadTimeoutMs = 180000;

// What an enumeration learns about the attached adapters. The driver's run
// state carries these fields.
struct AdapterTable {
  std::uint32_t adapterCount = 0;
  std::array<std::wstring, kMaxAdapters> adapterSns;
  std::wstring openedSn;
};

// An adapter that the platform listed but that could not be opened: its
// device path and why not, in the system's words ("Permission denied").
struct UnopenableAdapter {
  std::string path;
  std::string reason;
};

// Hears of an adapter that another run holds while this one waits for it.
// The adapter is named by its serial number, or by its device path when it
// has none.
class ClaimWaitObserver {
 public:
  virtual ~ClaimWaitObserver() = default;
  virtual void ClaimWaitStarted(const std::wstring& serial, const std::string& path,
                                std::uint32_t boundMs) = 0;
  virtual void ClaimGaveUp(const std::wstring& serial, const std::string& path,
                           std::uint32_t boundMs) = 0;
};

// One HID adapter handle with its attributes and capabilities.
class CHidDevice {
 public:
  CHidDevice(HidBackend& backend, AdapterTable& table);
  CHidDevice(const CHidDevice&) = delete;
  CHidDevice& operator=(const CHidDevice&) = delete;

  // Re-enumerates the adapters and opens the one chosen by index, or by
  // serial number when the index names no adapter. Returns 0, 30 or 31.
  virtual int Open(std::int32_t index, std::wstring serial, std::uint16_t vendorId,
                   std::uint16_t productId, std::uint32_t maxAdapters, std::int32_t option);
  virtual ~CHidDevice();

  // 1 when the first adapter with exactly this serial number was opened and
  // claimed, kHeldElsewhere when another run kept it for longer than the
  // claim waits, 0 when there is no such adapter.
  static constexpr int kHeldElsewhere = -1;
  int OpenBySerial(std::uint16_t vendorId, std::uint16_t productId, const std::wstring& serial,
                   std::int32_t flag);

  // Interface memberIndex of the pass; its device path goes to
  // pathDestination when one is given.
  InterfaceOpen OpenHidInterface(HidPass& pass, std::uint32_t memberIndex,
                                 std::unique_ptr<HidConnection>& out, char* pathDestination);

  HidRead ReadReport(std::uint8_t* buffer, std::size_t count,
                     std::uint32_t timeoutMs = kDapReadTimeoutMs);
  bool WriteReport(const std::uint8_t* buffer, std::size_t count);

  // Closes the open adapter, if any.
  void Close();
  bool IsOpen() const { return handle != nullptr; }

  // The adapters that this device's passes listed but could not open the
  // last time they tried, each path once, in the order first met. Only a
  // backend that knows an interface's IDs without opening it names them.
  const std::vector<UnopenableAdapter>& unopenableAdapters() const { return unopenable_; }

  // The open adapter; null when none is open. The device is its only owner.
  std::unique_ptr<HidConnection> handle;
  char path[kDevicePathBytes] = {};
  std::int32_t openOption = 0;
  HidAttributes attributes;
  HidCaps caps;
  // Whether the exchange layer retired the link to the adapter: it could
  // not be brought back in step after a lost answer, and nothing more is
  // exchanged on this handle. A new handle starts afresh.
  bool linkRetired() const { return linkRetired_; }
  void RetireLink() { linkRetired_ = true; }
  // Told when opening an adapter waits for another run; may stay null.
  ClaimWaitObserver* claimObserver = nullptr;

 private:
  // Takes the open adapter (or none), with a link not retired.
  void SetHandle(std::unique_ptr<HidConnection> next);
  // The enumeration pass of Open: counts the adapters and records their
  // serial numbers in the table.
  void ListAdapters(std::uint16_t vendorId, std::uint16_t productId, std::uint32_t maxAdapters);
  std::wstring ReadSerialNumber(HidConnection& connection);
  void NoteOpenOutcome(InterfaceOpen result, const HidInterface& found);
  void Examine(HidConnection& connection);

  HidBackend& backend_;
  AdapterTable& table_;
  std::vector<UnopenableAdapter> unopenable_;
  bool linkRetired_ = false;
};

}  // namespace dravlopro
