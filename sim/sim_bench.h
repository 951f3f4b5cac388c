#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "adapter/hid_device.h"
#include "protocol/report.h"
#include "sim/sim_adapter.h"
#include "sim/sim_clock.h"

namespace dravlopro::sim {

// One HID interface of the simulated computer: an adapter, or some other
// device that the enumeration must pass over.
struct SimDevice {
  std::uint16_t vendorId = kAdapterVendorId;
  std::uint16_t productId = kAdapterProductId;
  std::optional<std::wstring> serial;  // nullopt: the device has no serial string
  bool present = true;
  bool openable = true;
  // Why it cannot be opened, in the system's words, when it is not openable.
  std::string openError = "Permission denied";
  // Its device path; empty for "sim://hid/<index>".
  std::string path;
  std::shared_ptr<SimAdapter> adapter;  // null for a device that is not an adapter
  // Exchanges the device still answers before it drops off the bus; -1 for
  // no limit.
  int exchangesLeft = -1;

  // How often the tool tried to open this device, successfully or not.
  int opens = 0;

  // The bench's time at this adapter's last exchange: its core runs for the
  // time between exchanges too.
  std::uint64_t lastExchangeMs = 0;

  enum class Vanish { No, Once, ForGood };
  Vanish vanish = Vanish::No;
  int vanishPassesSeen = 0;
};

// One report exchanged with an adapter, as the trace records it.
struct TraceEntry {
  std::wstring serial;
  Report request{};
  Report answer{};
  bool answered = false;
  // How many requests had gone out when the host read this answer; empty
  // while it has not been read.
  std::optional<std::size_t> readAfter;
};

// A computer with HID devices attached: the HID backend of the simulated
// bench.
class SimBench : public HidBackend {
 public:
  // How the computer lists its HID interfaces.
  enum class Listing {
    // Once per pass, each entry with the device's IDs, so that only the
    // devices with the IDs looked for are opened (Linux, macOS).
    WithIds,
    // Anew for every index, the IDs known only once a device is open, so that
    // every device is opened (Windows).
    PerIndex
  };
  Listing listing = Listing::WithIds;

  SimAdapter& AddAdapter(const std::wstring& serial, const std::string& version = "2.0.0");
  SimAdapter& AddAdapterWithoutSerial(const std::string& version = "2.0.0");
  void AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId,
                      const std::wstring& serial = L"", bool openable = true);

  // The adapter leaves once the enumeration pass that saw it has ended:
  // for the next pass only (Once) or for good.
  void VanishAfterEnumeration(std::size_t deviceIndex, SimDevice::Vanish how);

  SimDevice& device(std::size_t index) { return devices_.at(index); }
  std::size_t deviceCount() const { return devices_.size(); }
  // The first adapter with this serial number.
  SimAdapter& adapter(const std::wstring& serial);
  SimAdapter& adapterAt(std::size_t deviceIndex) { return *devices_.at(deviceIndex).adapter; }

  std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) override;

  // Every report exchanged, in order.
  std::vector<TraceEntry> trace;

  // Late answers: the answer of the exchange at this place in the trace
  // reaches the host this many milliseconds after its request, or never
  // (kNever). An adapter answers in order, so the answers after a late one
  // wait behind it.
  static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
  std::map<std::size_t, std::uint64_t> lateAnswers;

  // The time that report reads wait on: the bench's own, or this clock, so
  // that the tool's pauses and its waits for answers share one time line.
  void UseClock(SimClock& clock) { clock_ = &clock; }
  SimClock& time() { return clock_ != nullptr ? *clock_ : ownClock_; }

  // Enumeration passes begun, and how often the tool had the computer list
  // its HID interfaces for them: once per pass, or once per index with the
  // PerIndex listing.
  std::size_t passes = 0;
  std::size_t enumerations = 0;
  // Opens of devices with other IDs than the adapter's, over the bench's
  // whole life.
  int OpensOfOtherDevices() const;

  // How many device handles are open right now, and the most ever at once.
  int openHandles = 0;
  int maxOpenHandles = 0;
  // Asked when a connection claims its adapter for the rest of the run;
  // unset, every claim succeeds at once.
  std::function<bool(std::size_t deviceIndex, ClaimWait& wait)> onClaim;

  // Exchanges that reached an adapter, every adapter together, over the
  // bench's whole life; the next exchange has this index.
  std::size_t exchangeCount = 0;
  // The answer of the exchange with this index comes back damaged as a bad
  // line would: the command echo is wrong (the complement of the request's
  // command byte) and every byte after it inverted, so a transfer status of 1
  // reads as 0xFE. The request itself reached the adapter and did its work.
  // A host that checks the echo can tell.
  std::optional<std::size_t> corruptAnswerOf;
  // Sees every answer an adapter gives, with the exchange's index and its
  // request, before it starts back to the host: it may rewrite the answer,
  // or withhold it by returning false (the host then waits in vain, as for
  // an adapter that never answers). The request did its work either way.
  std::function<bool(std::size_t exchange, const Report& request, Report& answer)> onAnswer;

  // Used by the connections.
  bool Exchange(std::size_t deviceIndex, const Report& request, Report& answer);

 private:
  friend class SimPass;
  // The indexes in devices_ of the present devices, in enumeration order.
  std::vector<std::size_t> PresentDevices() const;
  InterfaceOpen OpenListed(std::size_t deviceIndex, std::uint16_t vendorId, std::uint16_t productId,
                           HidInterface& out);
  void EndOfPass();

  std::vector<SimDevice> devices_;
  SimClock ownClock_;
  SimClock* clock_ = nullptr;
};

}  // namespace dravlopro::sim
