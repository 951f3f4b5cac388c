#include <algorithm>

#include "debug/debug_registers.h"
#include "debug/target.h"
#include "probe/connection.h"

namespace dravlopro {

namespace dr = debugreg;

AccessResult DebugTarget::Run(AccessBatch& batch) {
  if (linkLost_) return AccessResult::LinkLost;
  const AccessResult result = batch.Run(device_);
  if (result == AccessResult::LinkLost) linkLost_ = true;
  return result;
}

void DebugTarget::Forget() {
  registers_.clear();
  memory_.clear();
}

bool DebugTarget::Attach() {
  if (!ConnectAndWait(device_, clock_, flashPageSize_)) return false;
  if (GiveBack() != AccessResult::Ok) return false;
  std::uint32_t dhcsr = 0, fpCtrl = 0, dwtCtrl = 0, demcr = 0;
  AccessBatch batch;
  batch.Read(dr::dhcsr::kAddress, &dhcsr);
  batch.Read(dr::demcr::kAddress, &demcr);
  batch.Read(dr::fpb::kCtrl, &fpCtrl);
  batch.Read(dr::dwt::kCtrl, &dwtCtrl);
  if (Run(batch) != AccessResult::Ok) return false;
  halted_ = (dhcsr & dr::dhcsr::kHalted) != 0;
  lockedUp_ = (dhcsr & dr::dhcsr::kLockup) != 0;
  fpbRevision_ = dr::fpb::Revision(fpCtrl);
  fpb_.assign(dr::fpb::CodeComparators(fpCtrl), 0);
  dwt_.assign(dr::dwt::Comparators(dwtCtrl), Watch{});

  // Debug on, the core left as it was; the units cleared of what an earlier
  // session may have left in them.
  batch.Write(dr::dhcsr::kAddress,
              dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | (halted_ ? dr::dhcsr::kHalt : 0));
  batch.Write(dr::demcr::kAddress, (demcr | dr::demcr::kTraceEnable) & ~dr::demcr::kVcCoreReset);
  batch.Write(dr::fpb::kCtrl, dr::fpb::kKey | dr::fpb::kEnable);
  for (std::uint32_t n = 0; n < fpb_.size(); ++n) batch.Write(dr::fpb::kComp0 + 4 * n, 0);
  for (std::uint32_t n = 0; n < dwt_.size(); ++n) batch.Write(dr::dwt::Function(n), 0);
  return Run(batch) == AccessResult::Ok;
}

AccessResult DebugTarget::PollHalted(bool& halted) {
  std::uint32_t dhcsr = 0;
  AccessBatch batch;
  batch.Read(dr::dhcsr::kAddress, &dhcsr);
  const AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  const bool was = halted_;
  halted_ = (dhcsr & dr::dhcsr::kHalted) != 0;
  lockedUp_ = (dhcsr & dr::dhcsr::kLockup) != 0;
  if (!was && halted_) Forget();
  halted = halted_;
  return result;
}

AccessResult DebugTarget::WaitHalted() {
  const std::uint64_t start = clock_.NowMs();
  for (;;) {
    bool halted = false;
    const AccessResult result = PollHalted(halted);
    if (result != AccessResult::Ok || halted) return result;
    if (clock_.NowMs() - start >= kHaltWaitMs) return AccessResult::Fault;
    clock_.SleepMs(kPollMs);
  }
}

AccessResult DebugTarget::Halt() {
  interruptRequested_ = true;
  AccessBatch batch;
  batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kHalt);
  const AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  return WaitHalted();
}

AccessResult DebugTarget::Resume() {
  stepping_ = false;
  interruptRequested_ = false;
  if (const AccessResult given = GiveBack(); given != AccessResult::Ok) return given;
  Forget();
  AccessBatch batch;
  batch.Write(dr::dfsr::kAddress, dr::dfsr::kAll);
  batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable);
  const AccessResult result = Run(batch);
  if (result == AccessResult::Ok) halted_ = false;
  return result;
}

AccessResult DebugTarget::Step() {
  stepping_ = true;
  interruptRequested_ = false;
  if (const AccessResult given = GiveBack(); given != AccessResult::Ok) return given;
  Forget();
  std::uint32_t dhcsr = 0;
  AccessBatch batch;
  batch.Write(dr::dfsr::kAddress, dr::dfsr::kAll);
  batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kStep);
  batch.Read(dr::dhcsr::kAddress, &dhcsr);
  const AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  halted_ = (dhcsr & dr::dhcsr::kHalted) != 0;
  lockedUp_ = (dhcsr & dr::dhcsr::kLockup) != 0;
  if (halted_) return result;
  return WaitHalted();
}

AccessResult DebugTarget::ReadStopEvent(StopEvent& event) {
  std::uint32_t dfsr = 0, dhcsr = 0;
  AccessBatch batch;
  batch.Read(dr::dfsr::kAddress, &dfsr);
  batch.Read(dr::dhcsr::kAddress, &dhcsr);
  std::vector<std::uint32_t> functions(dwt_.size());
  for (std::uint32_t n = 0; n < dwt_.size(); ++n) {
    if (dwt_[n].used) batch.Read(dr::dwt::Function(n), &functions[n]);
  }
  AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  batch.Write(dr::dfsr::kAddress, dfsr & dr::dfsr::kAll);
  result = Run(batch);

  lockedUp_ = (dhcsr & dr::dhcsr::kLockup) != 0;
  event = StopEvent{};
  if ((dfsr & dr::dfsr::kDwtTrap) != 0) {
    event.kind = StopEvent::Kind::Watchpoint;
    for (std::uint32_t n = 0; n < dwt_.size(); ++n) {
      if (!dwt_[n].used || (functions[n] & dr::dwt::kMatched) == 0) continue;
      event.address = dwt_[n].address;
      event.access = dwt_[n].kind == WatchKind::Write  ? StopEvent::Access::Write
                     : dwt_[n].kind == WatchKind::Read ? StopEvent::Access::Read
                                                       : StopEvent::Access::Any;
      break;
    }
  } else if ((dfsr & dr::dfsr::kBkpt) != 0) {
    std::vector<std::uint32_t> pc;
    result = ReadRegisters({dr::regsel::kPc}, pc);
    if (result != AccessResult::Ok) return result;
    const bool placed = software_.count(pc[0]) != 0;
    const bool fpb = FpbSlotFor(pc[0]).has_value();
    event.kind = fpb && !placed ? StopEvent::Kind::Breakpoint : StopEvent::Kind::SoftwareBreak;
    event.address = pc[0];
  } else if ((dfsr & dr::dfsr::kVcatch) != 0) {
    event.kind = StopEvent::Kind::Reset;
  } else if ((dhcsr & dr::dhcsr::kLockup) != 0) {
    event.kind = StopEvent::Kind::Lockup;
  } else if (stepping_) {
    event.kind = StopEvent::Kind::Step;
  } else if (interruptRequested_) {
    event.kind = StopEvent::Kind::Interrupt;
  }
  stepping_ = false;
  interruptRequested_ = false;
  return result;
}

AccessResult DebugTarget::Reset(bool halt) {
  Forget();
  // A reset gives every register a new value: nothing is owed any more.
  owed_.clear();
  std::uint32_t demcr = 0;
  AccessBatch batch;
  // The interrupt masking goes off while the core is still halted.
  if (maskIntsOwed_)
    batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kHalt);
  maskIntsOwed_ = false;
  batch.Read(dr::demcr::kAddress, &demcr);
  AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  // The core always stops on its first instruction, so that the reset has
  // surely happened before it is told to run.
  batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable);
  batch.Write(dr::demcr::kAddress, demcr | dr::demcr::kTraceEnable | dr::demcr::kVcCoreReset);
  batch.Write(dr::aircr::kAddress, dr::aircr::kVectKey | dr::aircr::kSysResetReq);
  result = Run(batch);
  // The reset may cut the answer short: what counts is that the core halts.
  if (result == AccessResult::LinkLost) return result;
  halted_ = false;
  result = WaitHalted();
  if (result != AccessResult::Ok) return result;
  batch.Write(dr::demcr::kAddress, (demcr | dr::demcr::kTraceEnable) & ~dr::demcr::kVcCoreReset);
  batch.Write(dr::dfsr::kAddress, dr::dfsr::kAll);
  // A system reset clears the FPB's enable on some cores: set it again.
  batch.Write(dr::fpb::kCtrl, dr::fpb::kKey | dr::fpb::kEnable);
  result = Run(batch);
  if (result != AccessResult::Ok || halt) return result;
  return Resume();
}

AccessResult DebugTarget::GiveBack() {
  if (owed_.empty() && !maskIntsOwed_) return AccessResult::Ok;
  AccessBatch batch;
  if (maskIntsOwed_) {
    batch.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kHalt);
  }
  std::vector<std::uint32_t> dhcsr(owed_.size());
  std::size_t i = 0;
  for (const auto& [regsel, value] : owed_) {
    batch.Write(dr::dcrdr::kAddress, value);
    batch.Write(dr::dcrsr::kAddress, dr::dcrsr::kWrite | regsel);
    batch.Read(dr::dhcsr::kAddress, &dhcsr[i++]);
  }
  AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  maskIntsOwed_ = false;
  const std::map<std::uint32_t, std::uint32_t> owed = std::move(owed_);
  owed_.clear();
  i = 0;
  for (const auto& [regsel, value] : owed) {
    // Not taken in time: this one again, the slow way.
    if ((dhcsr[i++] & dr::dhcsr::kRegReady) == 0 &&
        (result = WriteRegister(regsel, value)) != AccessResult::Ok) {
      return result;
    }
    registers_[regsel] = value;
  }
  return AccessResult::Ok;
}

AccessResult DebugTarget::WaitRegisterReady() {
  const std::uint64_t start = clock_.NowMs();
  for (;;) {
    std::uint32_t dhcsr = 0;
    AccessBatch batch;
    batch.Read(dr::dhcsr::kAddress, &dhcsr);
    const AccessResult result = Run(batch);
    if (result != AccessResult::Ok) return result;
    if ((dhcsr & dr::dhcsr::kRegReady) != 0) return result;
    if (clock_.NowMs() - start >= kRegisterWaitMs) return AccessResult::Fault;
    clock_.SleepMs(kPollMs);
  }
}

AccessResult DebugTarget::ReadRegisters(const std::vector<std::uint32_t>& regsels,
                                        std::vector<std::uint32_t>& values) {
  values.assign(regsels.size(), 0);
  std::vector<std::uint32_t> missing;
  for (const auto& [regsel, value] : owed_) registers_[regsel] = value;
  for (std::size_t i = 0; i < regsels.size(); ++i) {
    const auto kept = registers_.find(regsels[i]);
    if (kept != registers_.end()) {
      values[i] = kept->second;
    } else if (std::find(missing.begin(), missing.end(), regsels[i]) == missing.end()) {
      missing.push_back(regsels[i]);
    }
  }
  if (!missing.empty() && !halted_) return AccessResult::Fault;
  // Each register: select it, then DHCSR, DCRSR (a word to step over) and
  // DCRDR read in a row, the access port's increment walking from one to
  // the next. S_REGRDY in that DHCSR tells whether the DCRDR word is good.
  std::vector<std::uint32_t> dhcsr(missing.size()), scratch(missing.size()), data(missing.size());
  AccessBatch batch;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    batch.Write(dr::dcrsr::kAddress, missing[i]);
    batch.Read(dr::dhcsr::kAddress, &dhcsr[i]);
    batch.Read(dr::dcrsr::kAddress, &scratch[i]);
    batch.Read(dr::dcrdr::kAddress, &data[i]);
  }
  AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if ((dhcsr[i] & dr::dhcsr::kRegReady) == 0) {
      // Not ready in time: this one again, the slow way.
      batch.Write(dr::dcrsr::kAddress, missing[i]);
      if ((result = Run(batch)) != AccessResult::Ok) return result;
      if ((result = WaitRegisterReady()) != AccessResult::Ok) return result;
      batch.Read(dr::dcrdr::kAddress, &data[i]);
      if ((result = Run(batch)) != AccessResult::Ok) return result;
    }
    registers_[missing[i]] = data[i];
  }
  for (std::size_t i = 0; i < regsels.size(); ++i) values[i] = registers_[regsels[i]];
  return AccessResult::Ok;
}

AccessResult DebugTarget::WriteRegister(std::uint32_t regsel, std::uint32_t value) {
  if (!halted_) return AccessResult::Fault;
  registers_.erase(regsel);
  owed_.erase(regsel);
  std::uint32_t dhcsr = 0;
  AccessBatch batch;
  batch.Write(dr::dcrdr::kAddress, value);
  batch.Write(dr::dcrsr::kAddress, dr::dcrsr::kWrite | regsel);
  batch.Read(dr::dhcsr::kAddress, &dhcsr);
  AccessResult result = Run(batch);
  if (result != AccessResult::Ok) return result;
  if ((dhcsr & dr::dhcsr::kRegReady) == 0 && (result = WaitRegisterReady()) != AccessResult::Ok) {
    return result;
  }
  registers_[regsel] = value;
  return result;
}

}  // namespace dravlopro
