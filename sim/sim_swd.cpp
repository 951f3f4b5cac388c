// The target's serial-wire debug port and its memory access port 0, one
// register access at a time, as the adapter drives them.
//
// Link: after DAP_Connect nothing answers until a line reset, the JTAG-to-SWD
// switch and another line reset have gone by and DPIDR has been read; until
// then every access gets no ack (7). A memory access that fails on the bus,
// or a fault injected on its address, answers FAULT and sets STICKYERR; while
// a sticky flag is set every access but a DPIDR or CTRL/STAT read and an
// ABORT write answers FAULT, until ABORT clears the flag.

#include "sim/sim_dap.h"

namespace dravlopro::sim {

namespace {
constexpr std::uint8_t kDpIdrAbort = 0x0;
constexpr std::uint8_t kDpCtrlStat = 0x4;
constexpr std::uint8_t kDpSelectResend = 0x8;
constexpr std::uint8_t kDpRdbuff = 0xC;
constexpr std::uint32_t kStickyFlags =
    dp::kStickyOrun | dp::kStickyCmp | dp::kStickyErr | dp::kWDataErr;
}  // namespace

std::uint8_t SimDap::Access(bool accessPort, bool read, std::uint8_t address, std::uint32_t& value,
                            SimChip& chip) {
  std::uint8_t result = ack::kNone;
  if (chip.faults.noTarget) {
    if (read) value = 0;
  } else {
    result = AccessOnce(accessPort, read, address, value, chip);
    for (std::uint32_t retry = 0; result == ack::kWait && retry < waitRetries; ++retry) {
      ++waitsSeen;
      result = AccessOnce(accessPort, read, address, value, chip);
    }
    if (result == ack::kWait) ++waitsSeen;
  }
  accessLog.push_back(SwdAccess{accessPort, read, address, value, result});
  return result;
}

std::uint8_t SimDap::AccessOnce(bool accessPort, bool read, std::uint8_t address,
                                std::uint32_t& value, SimChip& chip) {
  const bool dpidrRead = !accessPort && read && address == kDpIdrAbort;
  if (read) value = 0;
  if (wire == Wire::kDown || wire == Wire::kSwitched) return ack::kNone;
  if (wire == Wire::kLineReset) {
    if (!dpidrRead) return ack::kNone;  // the first packet after a line reset must read DPIDR
    wire = Wire::kActive;
  }
  if ((sticky & kStickyFlags) != 0) {
    const bool allowed = dpidrRead || (!accessPort && read && address == kDpCtrlStat) ||
                         (!accessPort && !read && address == kDpIdrAbort);
    if (!allowed) return ack::kFault;
  }
  if (!accessPort) return DpAccess(read, address, value, chip);

  if ((ctrlStat & dp::kCdbgPwrUpReq) == 0) {  // debug domain switched off
    sticky |= dp::kStickyErr;
    return ack::kFault;
  }
  if ((select >> 24) != 0) return ack::kOk;  // no such access port: reads as zero
  const std::uint8_t result = ApAccess(read, (select & 0xF0) | address, value, chip);
  if (read && result == ack::kOk) rdbuff = value;
  return result;
}

std::uint8_t SimDap::DpAccess(bool read, std::uint8_t address, std::uint32_t& value,
                              SimChip& chip) {
  switch (address) {
    case kDpIdrAbort:
      if (read) {
        value = chip.config().idcode;
      } else {
        WriteAbort(value);
      }
      return ack::kOk;
    case kDpCtrlStat:
      if ((select & 0xF) != 0) return ack::kOk;  // other DP banks: read as zero, ignore writes
      if (read) {
        value = ctrlStat | sticky;
        if ((ctrlStat & dp::kCsysPwrUpReq) != 0) value |= dp::kCsysPwrUpAck;
        if ((ctrlStat & dp::kCdbgPwrUpReq) != 0) value |= dp::kCdbgPwrUpAck;
        if ((ctrlStat & dp::kCdbgRstReq) != 0) value |= dp::kCdbgRstAck;
      } else {
        ctrlStat = value & dp::kCtrlWritable;
      }
      return ack::kOk;
    case kDpSelectResend:
      if (read) {
        value = rdbuff;  // RESEND
      } else {
        select = value;
      }
      return ack::kOk;
    case kDpRdbuff:
    default:  // a write would be TARGETSEL, meaningless on a single target
      if (read) value = rdbuff;
      return ack::kOk;
  }
}

void SimDap::WriteAbort(std::uint32_t value) {
  if ((value & dp::kAbortStkCmpClr) != 0) sticky &= ~dp::kStickyCmp;
  if ((value & dp::kAbortStkErrClr) != 0) sticky &= ~dp::kStickyErr;
  if ((value & dp::kAbortWdErrClr) != 0) sticky &= ~dp::kWDataErr;
  if ((value & dp::kAbortOrunErrClr) != 0) sticky &= ~dp::kStickyOrun;
}

std::uint8_t SimDap::ApAccess(bool read, std::uint32_t reg, std::uint32_t& value, SimChip& chip) {
  switch (reg) {
    case ap::kCsw:
      if (read) {
        value = csw | ap::kCswDeviceEn;
      } else {
        csw = value;
      }
      return ack::kOk;
    case ap::kTar:
      if (read) {
        value = tar;
        return ack::kOk;
      } else {
        const std::uint8_t injected = InjectedAck(value, true, false, chip);
        if (injected != ack::kOk) return injected;
        tar = value;
        return ack::kOk;
      }
    case ap::kDrw:
      return DataAccess(read, tar, value, chip, true);
    case ap::kCfg:
      value = read ? 0 : value;
      return ack::kOk;
    case ap::kBase:
      value = read ? ap::kBaseValue : value;
      return ack::kOk;
    case ap::kIdr:
      value = read ? ap::kIdrValue : value;
      return ack::kOk;
    default:
      if (reg >= ap::kBd0 && reg <= ap::kBd3) {
        return DataAccess(read, (tar & ~0xFu) | (reg - ap::kBd0), value, chip, false);
      }
      if (read) value = 0;  // reserved
      return ack::kOk;
  }
}

std::uint8_t SimDap::DataAccess(bool read, std::uint32_t address, std::uint32_t& value,
                                SimChip& chip, bool autoIncrement) {
  const std::uint8_t injected = InjectedAck(address, false, read, chip);
  if (injected != ack::kOk) return injected;

  const std::uint32_t size = csw & ap::kCswSizeMask;  // 0 byte, 1 halfword, 2 word
  std::uint32_t mask = 0xFFFFFFFF;
  if (size == 0) mask = 0xFFu << (8 * (address & 3));
  if (size == 1) mask = 0xFFFFu << (8 * (address & 2));
  const bool ok = read ? chip.Read(address, value) : chip.Write(address, value, mask);
  if (!ok) {
    sticky |= dp::kStickyErr;
    return ack::kFault;
  }
  if (autoIncrement && ((csw >> ap::kCswAddrIncShift) & 3) != 0) {
    const std::uint32_t step = size <= 2 ? 1u << size : 4u;
    tar = (tar & ~ap::kTarWrapMask) | ((tar + step) & ap::kTarWrapMask);
  }
  return ack::kOk;
}

std::uint8_t SimDap::InjectedAck(std::uint32_t address, bool tarWrite, bool read, SimChip& chip) {
  for (AccessFault& fault : chip.faults.accessFaults) {
    if ((tarWrite && !fault.onTarWrite) || (read && fault.writesOnly) || fault.times == 0 ||
        !fault.range.Contains(address)) {
      continue;
    }
    if (fault.times > 0) --fault.times;
    if (fault.ack == ack::kFault) sticky |= dp::kStickyErr;
    return fault.ack;
  }
  return ack::kOk;
}

}  // namespace dravlopro::sim
