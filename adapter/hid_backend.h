#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dravlopro {

struct HidAttributes {
  std::uint32_t size = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
};

struct HidCaps {
  std::uint16_t usage = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t inputReportByteLength = 0;
  std::uint16_t outputReportByteLength = 0;
  std::uint16_t featureReportByteLength = 0;
};

// How a report read ended.
enum class HidRead {
  Received,  // one input report is in the buffer
  TimedOut,  // none came within the timeout
  Failed     // the read itself failed (the device went away, ...)
};

// Hears how a claim goes when another run holds the adapter.
class ClaimWait {
 public:
  virtual ~ClaimWait() = default;
  // The adapter is held elsewhere: the claim waits, at most boundMs.
  virtual void Started(std::uint32_t boundMs) = 0;
  // The bound ran out while it was still held: the claim gives up.
  virtual void GaveUp(std::uint32_t boundMs) = 0;
};

// One opened HID interface. Report buffers always hold the report number at
// offset 0; a backend whose platform API leaves it out maps it here and
// nowhere else.
class HidConnection {
 public:
  virtual ~HidConnection() = default;
  virtual bool GetAttributes(HidAttributes& out) = 0;
  virtual bool GetCaps(HidCaps& out) = 0;
  // The device's serial-number string; false when it has none or it cannot
  // be read.
  virtual bool GetSerialNumber(std::wstring& out) = 0;
  virtual bool Write(const std::uint8_t* report, std::size_t length) = 0;
  // Waits at most timeoutMs for one input report.
  virtual HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) = 0;
  // Takes the adapter behind this connection for the rest of the run, so
  // that no other process exchanges reports with it meanwhile: waits, within
  // a bound, while another run holds it, then drops any input reports that
  // queued up for this handle. False when the bound ran out. A claim that
  // has to wait tells `wait`.
  virtual bool Claim(ClaimWait& wait) {
    static_cast<void>(wait);
    return true;
  }
};

enum class InterfaceOpen {
  Opened,       // the interface exists and was opened
  CannotOpen,   // it exists but cannot be opened (no access, held exclusively, ...)
  OtherDevice,  // it exists, and the listing shows IDs other than the pass looks for:
                // left unopened
  NoInterface   // no interface with this index: the end of the pass
};

// One interface of a pass, as the backend found it.
struct HidInterface {
  std::unique_ptr<HidConnection> connection;  // set when Opened
  std::string path;                           // the platform's device path
  // Only for an interface that the listing shows with the IDs the pass looks
  // for and that cannot be opened: why not, in the system's words ("Permission
  // denied"). Empty when the backend cannot tell.
  std::string openError;
};

// One enumeration pass: the present HID interfaces, numbered from 0 in the
// platform's order.
class HidPass {
 public:
  virtual ~HidPass() = default;
  virtual InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) = 0;
};

// The HID interfaces of the computer.
class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Starts a pass that looks for devices with these IDs. A backend whose
  // platform listing shows each interface's IDs lists the interfaces once,
  // here, and opens only those with these IDs. One whose platform tells the
  // IDs only of an opened device lists the interfaces anew for every index
  // and opens every one. Either way the caller checks the IDs of what it got.
  virtual std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) = 0;
};

}  // namespace dravlopro
