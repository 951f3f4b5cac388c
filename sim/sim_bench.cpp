#include "sim/sim_bench.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace dravlopro::sim {

namespace {

class SimConnection : public HidConnection {
 public:
  SimConnection(SimBench& bench, std::size_t deviceIndex) : bench_(bench), index_(deviceIndex) {
    ++bench_.openHandles;
    bench_.maxOpenHandles = std::max(bench_.maxOpenHandles, bench_.openHandles);
  }
  ~SimConnection() override { --bench_.openHandles; }

  bool GetAttributes(HidAttributes& out) override {
    const SimDevice& d = bench_.device(index_);
    out.size = sizeof(HidAttributes);
    out.vendorId = d.vendorId;
    out.productId = d.productId;
    out.versionNumber = 0x0100;
    return true;
  }

  bool GetCaps(HidCaps& out) override {
    const SimDevice& d = bench_.device(index_);
    const std::uint16_t length = d.adapter ? kReportLength : 9;
    out.inputReportByteLength = length;
    out.outputReportByteLength = length;
    return true;
  }

  bool GetSerialNumber(std::wstring& out) override {
    const SimDevice& d = bench_.device(index_);
    if (!d.serial) return false;
    out = *d.serial;
    return true;
  }

  bool Claim(ClaimWait& wait) override { return !bench_.onClaim || bench_.onClaim(index_, wait); }

  bool Write(const std::uint8_t* report, std::size_t length) override {
    Report request{};
    std::memcpy(request.data(), report, std::min(length, request.size()));
    Answer answer;
    if (!bench_.Exchange(index_, request, answer.report)) return !Gone();
    answer.exchange = bench_.trace.size() - 1;
    const auto late = bench_.lateAnswers.find(answer.exchange);
    const std::uint64_t delay = late == bench_.lateAnswers.end() ? 0 : late->second;
    const std::uint64_t now = bench_.time().elapsedMs;
    answer.dueMs = delay > SimBench::kNever - now ? SimBench::kNever : now + delay;
    pending_.push_back(answer);
    return true;
  }

  // Waits on the bench's time: the next answer, when it is due within the
  // timeout, is taken when it is due; otherwise the whole timeout passes.
  // Answers behind a late one wait for it.
  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    SimClock& clock = bench_.time();
    if (pending_.empty() && Gone()) return HidRead::Failed;
    const std::uint64_t now = clock.elapsedMs;
    if (pending_.empty() ||
        (pending_.front().dueMs > now && pending_.front().dueMs - now > timeoutMs)) {
      clock.elapsedMs += timeoutMs;
      return HidRead::TimedOut;
    }
    const Answer& answer = pending_.front();
    clock.elapsedMs = std::max(now, answer.dueMs);
    std::memcpy(report, answer.report.data(), std::min(length, kReportLength));
    if (answer.exchange < bench_.trace.size()) {
      bench_.trace[answer.exchange].readAfter = bench_.trace.size();
    }
    pending_.pop_front();
    return HidRead::Received;
  }

 private:
  struct Answer {
    Report report{};
    std::size_t exchange = 0;  // its place in the trace
    std::uint64_t dueMs = 0;   // when it reaches the host
  };

  bool Gone() const {
    const SimDevice& d = bench_.device(index_);
    return !d.present || d.exchangesLeft == 0;
  }

  SimBench& bench_;
  std::size_t index_;
  std::deque<Answer> pending_;  // in the order the adapter answers
};

}  // namespace

SimAdapter& SimBench::AddAdapter(const std::wstring& serial, const std::string& version) {
  SimDevice d;
  d.serial = serial;
  d.adapter = std::make_shared<SimAdapter>(version);
  devices_.push_back(d);
  return *devices_.back().adapter;
}

SimAdapter& SimBench::AddAdapterWithoutSerial(const std::string& version) {
  SimDevice d;
  d.adapter = std::make_shared<SimAdapter>(version);
  devices_.push_back(d);
  return *devices_.back().adapter;
}

void SimBench::AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId,
                              const std::wstring& serial, bool openable) {
  SimDevice d;
  d.vendorId = vendorId;
  d.productId = productId;
  d.serial = serial;
  d.openable = openable;
  devices_.push_back(d);
}

void SimBench::VanishAfterEnumeration(std::size_t deviceIndex, SimDevice::Vanish how) {
  SimDevice& d = devices_.at(deviceIndex);
  d.vanish = how;
  d.vanishPassesSeen = 0;
}

SimAdapter& SimBench::adapter(const std::wstring& serial) {
  for (SimDevice& d : devices_) {
    if (d.adapter && d.serial && *d.serial == serial) return *d.adapter;
  }
  throw std::out_of_range("no simulated adapter with that serial number");
}

void SimBench::EndOfPass() {
  for (SimDevice& d : devices_) {
    if (d.vanish == SimDevice::Vanish::No) continue;
    ++d.vanishPassesSeen;
    if (d.vanishPassesSeen == 1) {
      d.present = false;
    } else if (d.vanishPassesSeen == 2 && d.vanish == SimDevice::Vanish::Once) {
      d.present = true;
      d.vanish = SimDevice::Vanish::No;
    }
  }
}

// One enumeration pass over the bench's devices.
class SimPass : public HidPass {
 public:
  SimPass(SimBench& bench, std::uint16_t vendorId, std::uint16_t productId)
      : bench_(bench), vendorId_(vendorId), productId_(productId) {
    ++bench_.passes;
    if (bench_.listing != SimBench::Listing::WithIds) return;
    ++bench_.enumerations;
    listed_ = bench_.PresentDevices();
  }

  InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
    out = HidInterface{};
    if (bench_.listing == SimBench::Listing::PerIndex) {
      ++bench_.enumerations;
      listed_ = bench_.PresentDevices();
    }
    if (memberIndex >= listed_.size()) {
      bench_.EndOfPass();
      return InterfaceOpen::NoInterface;
    }
    return bench_.OpenListed(listed_[memberIndex], vendorId_, productId_, out);
  }

 private:
  SimBench& bench_;
  std::uint16_t vendorId_;
  std::uint16_t productId_;
  std::vector<std::size_t> listed_;
};

std::unique_ptr<HidPass> SimBench::BeginPass(std::uint16_t vendorId, std::uint16_t productId) {
  return std::make_unique<SimPass>(*this, vendorId, productId);
}

std::vector<std::size_t> SimBench::PresentDevices() const {
  std::vector<std::size_t> present;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].present) present.push_back(i);
  }
  return present;
}

InterfaceOpen SimBench::OpenListed(std::size_t deviceIndex, std::uint16_t vendorId,
                                   std::uint16_t productId, HidInterface& out) {
  SimDevice& d = devices_[deviceIndex];
  out.path = d.path.empty() ? "sim://hid/" + std::to_string(deviceIndex) : d.path;
  const bool idsListed = listing == Listing::WithIds;
  if (idsListed && (d.vendorId != vendorId || d.productId != productId)) {
    return InterfaceOpen::OtherDevice;
  }
  ++d.opens;
  if (!d.present || !d.openable) {
    // Only a listing that shows the IDs tells which device is an adapter.
    if (idsListed) out.openError = d.present ? d.openError : "No such file or directory";
    return InterfaceOpen::CannotOpen;
  }
  out.connection = std::make_unique<SimConnection>(*this, deviceIndex);
  return InterfaceOpen::Opened;
}

int SimBench::OpensOfOtherDevices() const {
  int opens = 0;
  for (const SimDevice& d : devices_) {
    if (d.vendorId != kAdapterVendorId || d.productId != kAdapterProductId) opens += d.opens;
  }
  return opens;
}

bool SimBench::Exchange(std::size_t deviceIndex, const Report& request, Report& answer) {
  SimDevice& d = devices_.at(deviceIndex);
  if (!d.present || d.exchangesLeft == 0 || !d.adapter) return false;
  if (d.exchangesLeft > 0) --d.exchangesLeft;
  const std::uint64_t now = time().elapsedMs;
  const std::uint64_t waited =
      std::min(now - std::min(now, d.lastExchangeMs), SimChip::kMostWaitedMs);
  d.lastExchangeMs = now;
  d.adapter->target.chip.Elapse(SimChip::kInstructionsPerExchange +
                                waited * SimChip::kInstructionsPerMs);
  TraceEntry entry;
  entry.serial = d.serial.value_or(L"");
  entry.request = request;
  entry.answered = d.adapter->Exchange(request, answer);
  if (entry.answered && corruptAnswerOf == exchangeCount) {
    answer[1] = static_cast<std::uint8_t>(~request[1]);
    for (std::size_t i = 2; i < answer.size(); ++i)
      answer[i] = static_cast<std::uint8_t>(~answer[i]);
  }
  if (entry.answered && onAnswer && !onAnswer(exchangeCount, request, answer)) {
    entry.answered = false;
  }
  ++exchangeCount;
  if (entry.answered) entry.answer = answer;
  trace.push_back(entry);
  return entry.answered;
}

}  // namespace dravlopro::sim
