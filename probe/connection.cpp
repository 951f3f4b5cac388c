#include "probe/connection.h"

#include <array>

#include "base/result_code.h"
#include "protocol/dap.h"
#include "probe/flash.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/transfer.h"

namespace dravlopro {

namespace {

constexpr std::uint32_t kSwdClockHz = 1000000;
constexpr std::uint16_t kWaitRetries = 100;
constexpr std::uint8_t kNresetPin = 0x80;
constexpr std::uint8_t kNresetHigh = 0x80;
constexpr std::uint8_t kNresetLow = 0x00;
// The pauses before each readiness try.
constexpr std::array<std::uint32_t, 5> kReadyPausesMs = {110, 120, 130, 140, 150};

// One request of an operation: sends what the builder wrote into the
// operation's request buffer.
class Exchanger {
 public:
  explicit Exchanger(CHidDevice& device) : device_(device) {}
  Report& request() { return request_; }
  const Report& answer() const { return answer_; }
  // Zero-fills the request buffer before a request that must start clean.
  Report& cleared() {
    request_.fill(0);
    return request_;
  }
  const Report& Send() {
    SendProbeRequest(device_, request_, answer_);
    return answer_;
  }

 private:
  CHidDevice& device_;
  Report request_{};
  Report answer_{};
};

void BuildLineReset(Report& request) {
  // 51 bits of one.
  RequestWriter writer(request);
  writer.Byte(dap::kSwjSequence).Byte(51);
  for (int k = 0; k < 7; ++k) writer.Byte(0xFF);
}

void BuildSwjPins(Report& request, std::uint8_t output) {
  RequestWriter(request).Byte(dap::kSwjPins).Byte(output).Byte(kNresetPin).Le32(0);
}

void BuildDpWrite(Report& request, std::uint8_t access, std::uint32_t value) {
  transfer::Begin(request, 1).Byte(access).Le32(value);
}

// One word at a debug register through the block operations.
std::uint8_t ReadRegister(CHidDevice& device, std::uint32_t address, std::uint32_t& value) {
  return ReadTargetBlock(device, address, &value, 1);
}

std::uint8_t WriteRegister(CHidDevice& device, std::uint32_t address, std::uint32_t value) {
  return WriteTargetBlock(device, address, &value, 1);
}

// The DEMCR steps that end both run flows: clear a pending vector catch.
void ClearResetVectorCatch(CHidDevice& device, int& result) {
  std::uint32_t v = 0;
  if (ReadRegister(device, demcr::kAddress, v) != dap::kTransferOk) result = ReadFailed;
  if ((v & demcr::kVcCoreReset) != 0 &&
      WriteRegister(device, demcr::kAddress, 0) != dap::kTransferOk) {
    result = WriteFailed;
  }
}

}  // namespace

bool ConnectTarget(CHidDevice& device, bool underReset) {
  Exchanger link(device);
  Report& request = link.request();

  RequestWriter(request).Byte(dap::kConnect).Byte(dap::kConnectSwd);
  link.Send();
  RequestWriter(request).Byte(dap::kSwjClock).Le32(kSwdClockHz);
  link.Send();
  RequestWriter(request).Byte(dap::kTransferConfigure).Byte(0).Le16(kWaitRetries).Le16(0);
  link.Send();
  RequestWriter(request).Byte(dap::kSwdConfigure).Byte(0);
  link.Send();
  RequestWriter(request).Byte(dap::kHostStatus).Byte(dap::kIndicatorConnect).Byte(1);
  link.Send();
  if (underReset) {
    BuildSwjPins(request, kNresetLow);
    link.Send();
  }
  BuildLineReset(request);
  link.Send();
  // The JTAG-to-SWD switch sequence 0xE79E, 16 bits.
  RequestWriter(request).Byte(dap::kSwjSequence).Byte(16).Le16(0xE79E);
  link.Send();
  BuildLineReset(request);
  link.Send();
  RequestWriter(request).Byte(dap::kSwjSequence).Byte(8).Byte(0);
  link.Send();

  transfer::Begin(request, 1).Byte(dap::kReadDpIdr);
  const std::uint32_t dpidr = GetLe32(&link.Send()[dap::kTransferDataOffset]);
  if (dpidr == 0) return false;

  BuildDpWrite(request, dap::kWriteDpSelect, swd::kSelectBank0);
  link.Send();
  BuildDpWrite(request, dap::kWriteDpCtrlStat, swd::kPowerUpRequest);
  link.Send();
  // A transfer request with no transfer in it.
  transfer::Begin(request, 0).Byte(dap::kReadDpCtrlStat);
  link.Send();
  RequestWriter(request).Byte(dap::kWriteAbort).Byte(0).Le32(swd::kAbortClearAll);
  link.Send();
  BuildDpWrite(request, dap::kWriteDpCtrlStat, swd::kDebugResetRequest);
  link.Send();
  BuildDpWrite(request, dap::kWriteDpCtrlStat, swd::kPowerUpMaskLanes);
  link.Send();
  BuildDpWrite(request, dap::kWriteApCsw, swd::kCswWordIncrement);
  link.Send();
  BuildDpWrite(request, dap::kWriteDpSelect, swd::kSelectBankF);
  link.Send();
  transfer::Begin(request, 1).Byte(dap::kReadApBank8);  // BASE; the value is not needed
  link.Send();
  BuildSwjPins(request, kNresetHigh);
  link.Send();
  BuildDpWrite(request, dap::kWriteDpSelect, swd::kSelectBank0);
  link.Send();
  return true;
}

int WaitTargetReady(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize) {
  Exchanger link(device);
  Report& request = link.request();
  for (const std::uint32_t pause : kReadyPausesMs) {
    clock.SleepMs(pause);
    transfer::BuildTarWrite(request, fmc::kReadyWords);
    link.Send();
    transfer::BeginBlock(request, fmc::kReadyWordCount, dap::kReadApDrw);
    const Report& answer = link.Send();
    bool ready = false;
    for (std::uint32_t k = 0; k < fmc::kReadyWordCount; ++k) {
      if (GetLe32(&answer[dap::kBlockDataOffset + 4 * k]) != 0) ready = true;
    }
    if (ready) {
      transfer::BuildStatusRead(request);
      link.Send();
      // Without the page size, flash work would land on the wrong pages.
      const std::uint32_t pageSize = ReadFlashPageSize(device);
      if (pageSize == 0) return 4;
      flashPageSize = pageSize;
      return 1;
    }
  }
  return 4;
}

void HaltCore(CHidDevice& device) {
  Exchanger link(device);
  transfer::BuildWordWrite(link.request(), dhcsr::kAddress, dhcsr::kHaltValue);
  link.Send();
}

void RunCore(CHidDevice& device) {
  Exchanger link(device);
  transfer::BuildWordWrite(link.request(), dhcsr::kAddress, dhcsr::kRunValue);
  link.Send();
}

void RequestSystemReset(CHidDevice& device) {
  Exchanger link(device);
  transfer::BuildWordWrite(link.request(), demcr::kAddress, demcr::kVcCoreReset);
  link.Send();
  transfer::BuildWordRead(link.cleared(), dhcsr::kAddress);
  link.Send();
  transfer::BuildWordWrite(link.cleared(), aircr::kAddress, aircr::kResetValue);
  link.Send();
}

int ResetAndRun(CHidDevice& device) {
  if (!ConnectTarget(device, false)) return ConnectFailed;
  int result = Success;
  RequestSystemReset(device);
  std::uint32_t v = 0;
  if (ReadRegister(device, dfsr::kAddress, v) != dap::kTransferOk) result = ReadFailed;
  if (v != 0 && WriteRegister(device, dfsr::kAddress, v) != dap::kTransferOk) {
    result = WriteFailed;
  }
  ClearResetVectorCatch(device, result);
  RunCore(device);
  return result;
}

int ClearDebugAndRun(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize) {
  if (!ConnectTarget(device, false)) return ConnectFailed;
  if (WaitTargetReady(device, clock, flashPageSize) != 1) return ConnectFailed;
  int result = Success;
  std::uint32_t v = 0;
  if (ReadRegister(device, dfsr::kAddress, v) != dap::kTransferOk) result = ReadFailed;
  if (v > dfsr::kHalted) {
    // More than a plain halt is flagged: start over from a fresh link and a
    // reset, then clear the flags that were seen.
    if (!ConnectTarget(device, false)) return ConnectFailed;
    RequestSystemReset(device);
    if (WriteRegister(device, dfsr::kAddress, v) != dap::kTransferOk) result = WriteFailed;
  } else if (v == dfsr::kHalted) {
    if (WriteRegister(device, dfsr::kAddress, v) != dap::kTransferOk) result = WriteFailed;
  }
  ClearResetVectorCatch(device, result);
  RunCore(device);
  return result;
}

}  // namespace dravlopro
