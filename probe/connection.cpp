#include "probe/connection.h"

#include <algorithm>
#include <array>

#include "base/result_code.h"
#include "probe/flash.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/dap.h"
#include "protocol/exchange.h"

namespace dravlopro {

namespace {

constexpr std::uint32_t kSwdClockHz = 1000000;
constexpr std::uint16_t kWaitRetries = 100;
constexpr std::uint8_t kNresetPin = 0x80;
constexpr std::uint8_t kNresetHigh = 0x80;
constexpr std::uint8_t kNresetLow = 0x00;
// The pauses before each readiness try.
constexpr std::array<std::uint32_t, 5> kReadyPausesMs = {110, 120, 130, 140, 150};

// The line reset: 51 bits of one.
constexpr std::array<std::uint8_t, 7> kLineResetBits = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// The JTAG-to-SWD switch sequence 0xE79E, 16 bits, sent low byte first.
constexpr std::array<std::uint8_t, 2> kJtagToSwdBits = {0x9E, 0xE7};
constexpr std::array<std::uint8_t, 1> kIdleBits = {0x00};

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
  Link link(device);
  Report& request = link.request();

  dap::EncodeConnect(request, dap::kConnectSwd);
  link.Send();
  dap::EncodeSwjClock(request, kSwdClockHz);
  link.Send();
  dap::EncodeTransferConfigure(request, 0, kWaitRetries, 0);
  link.Send();
  dap::EncodeSwdConfigure(request, 0);
  link.Send();
  dap::EncodeHostStatus(request, dap::kIndicatorConnect, true);
  link.Send();
  if (underReset) {
    dap::EncodeSwjPins(request, kNresetLow, kNresetPin, 0);
    link.Send();
  }
  dap::EncodeSwjSequence(request, 51, kLineResetBits);
  link.Send();
  dap::EncodeSwjSequence(request, 16, kJtagToSwdBits);
  link.Send();
  dap::EncodeSwjSequence(request, 51, kLineResetBits);
  link.Send();
  dap::EncodeSwjSequence(request, 8, kIdleBits);
  link.Send();

  dap::EncodeRegisterRead(request, dap::kReadDpIdr);
  link.Send();
  if (dap::DecodeTransfer(link.answer()).value == 0) return false;

  dap::EncodeRegisterWrite(request, dap::kWriteDpSelect, swd::kSelectBank0);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteDpCtrlStat, swd::kPowerUpRequest);
  link.Send();
  // A transfer request with no transfer in it.
  dap::BeginTransfer(request, 0).Byte(dap::kReadDpCtrlStat);
  link.Send();
  dap::EncodeWriteAbort(request, swd::kAbortClearAll);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteDpCtrlStat, swd::kDebugResetRequest);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteDpCtrlStat, swd::kPowerUpMaskLanes);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteApCsw, swd::kCswWordIncrement);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteDpSelect, swd::kSelectBankF);
  link.Send();
  dap::EncodeRegisterRead(request, dap::kReadApBank8);  // BASE; the value is not needed
  link.Send();
  dap::EncodeSwjPins(request, kNresetHigh, kNresetPin, 0);
  link.Send();
  dap::EncodeRegisterWrite(request, dap::kWriteDpSelect, swd::kSelectBank0);
  link.Send();
  return true;
}

int WaitTargetReady(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize) {
  Link link(device);
  Report& request = link.request();
  for (const std::uint32_t pause : kReadyPausesMs) {
    clock.SleepMs(pause);
    dap::EncodeTarWrite(request, fmc::kReadyWords);
    link.Send();
    dap::BeginTransferBlock(request, fmc::kReadyWordCount, dap::kReadApDrw);
    link.Send();
    std::array<std::uint32_t, fmc::kReadyWordCount> words{};
    dap::DecodeTransferBlock(link.answer(), words);
    const bool ready =
        std::any_of(words.begin(), words.end(), [](std::uint32_t w) { return w != 0; });
    if (ready) {
      dap::EncodeStatusRead(request);
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

bool ConnectAndWait(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize) {
  return ConnectTarget(device, false) && WaitTargetReady(device, clock, flashPageSize) == 1;
}

void HaltCore(CHidDevice& device) {
  Link link(device);
  dap::EncodeWordWrite(link.request(), dhcsr::kAddress, dhcsr::kHaltValue);
  link.Send();
}

void RunCore(CHidDevice& device) {
  Link link(device);
  dap::EncodeWordWrite(link.request(), dhcsr::kAddress, dhcsr::kRunValue);
  link.Send();
}

void RequestSystemReset(CHidDevice& device) {
  Link link(device);
  dap::EncodeWordWrite(link.request(), demcr::kAddress, demcr::kVcCoreReset);
  link.Send();
  dap::EncodeWordRead(link.cleared(), dhcsr::kAddress);
  link.Send();
  dap::EncodeWordWrite(link.cleared(), aircr::kAddress, aircr::kResetValue);
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
  if (!ConnectAndWait(device, clock, flashPageSize)) return ConnectFailed;
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
