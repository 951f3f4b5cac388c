// The flash memory controller: its registers and the erase and program work.
//
// An operation starts when FMC_CTRL is written with both start bits (0x14).
// Its effect on the flash is immediate; FMC_CTRL shows it busy for a
// configured number of reads and then finished ((FMC_CTRL & 0x0C) == 0x0C),
// with the outcome in FMC_STATUS. A main-flash page erase needs the erase
// enable (bit 1 of the register at 0x014) and consumes it when it starts; an
// erase start without it is ignored. The option page needs no enable.

#include <algorithm>

#include "sim/sim_chip.h"

namespace dravlopro::sim {

std::uint32_t SimChip::ReadFmc(std::uint32_t offset) {
  switch (offset) {
    case fmc::kAddr:
      return fmc.addr;
    case fmc::kData:
      return fmc.data;
    case fmc::kReg08:
      return fmc.reg08;
    case fmc::kCmd:
      return fmc.cmd;
    case fmc::kCtrl:
      if (fmc.busy && !fmc.stuck) {
        if (fmc.pollsLeft > 0) {
          --fmc.pollsLeft;
        } else {
          FinishFmcOperation();
        }
      }
      return fmc.ctrl;
    case fmc::kReg14:
      return fmc.reg14;
    case fmc::kStatus:
      return fmc.status;
    case fmc::kPageSize:
      return config_.PageSizeRegisterValue();
    default:
      break;
  }
  if (offset >= fmc::kReady0 && offset <= fmc::kReady3) {
    // The first word decides; the other three show what it showed.
    if (offset == fmc::kReady0) fmc.readyShown = Ready() ? 1 : 0;
    const bool ready = !faults.neverReady &&
                       (fmc.readyShown == 1 || (fmc.readyShown < 0 && faults.readyAfterReads == 0));
    if (!ready) return 0;
    switch (offset) {
      case fmc::kReady0:
        return 0x00000001;
      case fmc::kReady0 + 4:
        return config_.flashSize;
      case fmc::kReady0 + 8:
        return config_.sramSize;
      default:
        return config_.pageSize;
    }
  }
  return 0;  // reserved registers read as zero
}

void SimChip::WriteFmc(std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case fmc::kAddr:
      fmc.addr = value;
      break;
    case fmc::kData:
      fmc.data = value;
      break;
    case fmc::kReg08:
      fmc.reg08 = value;
      break;
    case fmc::kCmd:
      fmc.cmd = value;
      break;
    case fmc::kCtrl:
      if ((value & fmc::kCtrlStartBits) == fmc::kCtrlStartBits) {
        StartFmcOperation(value);
      } else {
        fmc.ctrl = (value & ~(fmc::kCtrlStart | fmc::kCtrlDone)) | (fmc.ctrl & fmc::kCtrlDone);
      }
      break;
    case fmc::kReg14:
      fmc.reg14 = value;
      break;
    case fmc::kStatus:  // write one to clear
      fmc.status &= ~(value & (fmc::kErrorMask | fmc::kStatusProgrammed));
      break;
    default:
      break;  // read-only or reserved
  }
}

void SimChip::StartFmcOperation(std::uint32_t ctrlValue) {
  const bool eraseOfMainPage = fmc.cmd == fmc::kCmdErase && !InOption(fmc.addr);
  if (eraseOfMainPage && (fmc.reg14 & fmc::kReg14EraseEnable) == 0) {
    fmc.ctrl = ctrlValue & ~(fmc::kCtrlStart | fmc::kCtrlDone);  // not started
    return;
  }
  if (fmc.cmd == fmc::kCmdErase) fmc.reg14 &= ~fmc::kReg14EraseEnable;

  fmc.ctrl = ctrlValue & ~fmc::kCtrlDone;
  fmc.status &= ~fmc::kStatusProgrammed;
  fmc.busy = true;
  fmc.pendingStatus = 0;
  if (faults.fmcNeverDone) {
    fmc.stuck = true;
    return;
  }
  fmc.stuck = false;
  std::uint32_t flags = 0;
  switch (fmc.cmd) {
    case fmc::kCmdErase:
      flags = InOption(fmc.addr) ? EraseOptionPage() : ErasePage(fmc.addr);
      fmc.pollsLeft = config_.erasePolls;
      break;
    case fmc::kCmdProgram:
      flags = ProgramWord(fmc.addr, fmc.data);
      fmc.pollsLeft = config_.programPolls;
      break;
    default:
      flags = fmc::kErrCommand;
      fmc.pollsLeft = 0;
      break;
  }
  fmc.pendingStatus =
      flags != 0 ? flags : (fmc.cmd == fmc::kCmdProgram ? fmc::kStatusProgrammed : 0);
  if (fmc.pollsLeft == 0) FinishFmcOperation();
}

void SimChip::FinishFmcOperation() {
  fmc.busy = false;
  fmc.ctrl = (fmc.ctrl & ~fmc::kCtrlStart) | fmc::kCtrlFinished;
  fmc.status |= fmc.pendingStatus;
  fmc.pendingStatus = 0;
}

std::uint32_t SimChip::ErasePage(std::uint32_t address) {
  if (!InFlash(address)) return fmc::kErrAddress;
  if (faults.eraseError.flags != 0 && faults.eraseError.range.Contains(address)) {
    return faults.eraseError.flags & fmc::kErrorMask;
  }
  if (Locked()) return fmc::kErrWriteProtect;
  const std::uint32_t base = address - address % config_.pageSize;
  std::fill_n(flash_.begin() + base, config_.pageSize, 0xFF);
  Touch(base, config_.pageSize);
  eraseLog.push_back(base);
  return 0;
}

std::uint32_t SimChip::EraseOptionPage() {
  if (faults.eraseError.flags != 0 && faults.eraseError.range.Contains(map::kOptionBase)) {
    return faults.eraseError.flags & fmc::kErrorMask;
  }
  // Lifting the protection wipes the secured flash first.
  if (Locked()) {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    ++massEraseCount;
  }
  std::fill(option_.begin(), option_.end(), 0xFF);
  Touch(map::kFlashBase, config_.flashSize);
  Touch(map::kOptionBase, config_.pageSize);
  eraseLog.push_back(map::kOptionBase);
  return 0;
}

std::uint32_t SimChip::EraseAllPages() {
  if (faults.eraseError.flags != 0) {
    for (std::uint32_t page = 0; page < config_.flashSize; page += config_.pageSize) {
      if (faults.eraseError.range.Contains(map::kFlashBase + page)) {
        return faults.eraseError.flags & fmc::kErrorMask;
      }
    }
  }
  std::fill(flash_.begin(), flash_.end(), 0xFF);
  Touch(map::kFlashBase, config_.flashSize);
  ++massEraseCount;
  return 0;
}

std::uint32_t SimChip::ProgramWord(std::uint32_t address, std::uint32_t value) {
  if ((address & 3) != 0 || (!InFlash(address) && !InOption(address))) return fmc::kErrAddress;
  if (faults.programError.flags != 0 && faults.programError.range.Contains(address)) {
    return faults.programError.flags & fmc::kErrorMask;
  }
  if (InFlash(address)) {
    if (Locked()) return fmc::kErrWriteProtect;
    const std::uint32_t offset = address - map::kFlashBase;
    StoreWord(flash_, offset, LoadWord(flash_, offset) & value);  // programming clears bits only
  } else {
    const std::uint32_t offset = address - map::kOptionBase;
    StoreWord(option_, offset, LoadWord(option_, offset) & value);
  }
  Touch(address, 4);
  ++programmedWords;
  return 0;
}

bool SimChip::Ready() {
  if (faults.neverReady) return false;
  if (faults.readyAfterReads > 0) {
    --faults.readyAfterReads;
    return false;
  }
  return true;
}

}  // namespace dravlopro::sim
