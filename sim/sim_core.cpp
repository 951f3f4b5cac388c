// The Cortex-M core as the debugger sees it: the debug registers of the
// system control space, halting, stepping, resets and the core's time.
//
// A system reset leaves the debug registers alone (only a power-on reset
// clears them). When the core leaves reset with halting debug enabled
// (DHCSR.C_DEBUGEN) it halts if DEMCR.VC_CORERESET is set (DFSR.VCATCH) or if
// C_HALT is still set (DFSR.HALTED); otherwise it runs, from the reset
// vector, once the chip's start-up time after reset has passed.

#include <algorithm>

#include "sim/sim_chip.h"

namespace dravlopro::sim {

namespace {
constexpr std::uint32_t kVtor = 0xE000ED08;
constexpr std::uint32_t kVtorMask = 0xFFFFFF80;
constexpr std::uint32_t kRegselMask = 0x7F;

bool InThreadMode(std::uint32_t xpsr) { return (xpsr & exc::kIpsrMask) == 0; }
bool UsesPsp(const SimChip::Core& core) {
  const std::uint32_t control = core.registers[regsel::kSpecial] >> 24;
  return InThreadMode(core.registers[regsel::kXpsr]) && (control & exc::kControlSpsel) != 0;
}
}  // namespace

std::uint32_t SimChip::Dhcsr() const {
  std::uint32_t value = core.dhcsrControl | scs::kSRegRdy;
  if (core.halted) value |= scs::kSHalt;
  if (core.lockedUp) value |= scs::kSLockup;
  if (core.retiredSinceRead) value |= scs::kSRetireSt;
  if (core.resetSinceRead || core.inReset) value |= scs::kSResetSt;
  return value;
}

bool SimChip::Halting() const { return (core.dhcsrControl & scs::kCDebugEn) != 0; }

std::uint32_t SimChip::CoreRegister(std::uint32_t reg) const {
  if (reg == regsel::kSp) reg = UsesPsp(core) ? regsel::kPsp : regsel::kMsp;
  return reg < core.registers.size() ? core.registers[reg] : 0;
}

void SimChip::SetCoreRegister(std::uint32_t reg, std::uint32_t value) {
  if (reg == regsel::kSp) reg = UsesPsp(core) ? regsel::kPsp : regsel::kMsp;
  if (reg == regsel::kMsp || reg == regsel::kPsp) value &= ~3u;
  if (reg < core.registers.size()) core.registers[reg] = value;
}

bool SimChip::ReadScs(std::uint32_t address, std::uint32_t& value) {
  switch (address) {
    case scs::kCpuid:
      value = scs::kCpuidValue;
      break;
    case kVtor:
      value = core.vtor;
      break;
    case scs::kAircr:
      value = scs::kAircrReadKey | (core.aircrPriGroup << 8);
      break;
    case scs::kDfsr:
      value = core.dfsr;
      break;
    case scs::kDhcsr:
      value = Dhcsr();
      core.resetSinceRead = false;
      core.retiredSinceRead = false;
      break;
    case scs::kDcrsr:
      value = 0;
      break;  // write-only
    case scs::kDcrdr:
      value = core.dcrdr;
      break;
    case scs::kDemcr:
      value = core.demcr;
      break;
    default:
      value = 0;
      break;  // other system control registers read as zero here
  }
  return true;
}

void SimChip::WriteScs(std::uint32_t address, std::uint32_t value) {
  switch (address) {
    case kVtor:
      core.vtor = value & kVtorMask;
      return;
    case scs::kAircr:
      if ((value & 0xFFFF0000) != scs::kAircrKey) return;  // wrong key: ignored
      core.aircrPriGroup = (value >> 8) & 0x7;
      if ((value & (scs::kSysResetReq | scs::kVectReset)) == 0) return;
      if (coreRunning_) {
        corePendingReset_ = true;  // the engine stops and resets the chip
      } else {
        SystemReset();
      }
      return;
    case scs::kDfsr:
      core.dfsr &= ~(value & scs::kDfsrMask);
      return;
    case scs::kDhcsr: {
      if (coreRunning_) return;  // the debugger's register, not the firmware's
      if ((value & 0xFFFF0000) != scs::kDhcsrKey) return;  // wrong key: ignored
      core.dhcsrControl = value & scs::kControlMask;
      const bool debugEnabled = (core.dhcsrControl & scs::kCDebugEn) != 0;
      const bool haltRequested = (core.dhcsrControl & scs::kCHalt) != 0;
      const bool stepRequested = (core.dhcsrControl & scs::kCStep) != 0;
      if (core.inReset) return;  // takes effect when the core leaves reset
      if (debugEnabled && haltRequested) {
        Halt(core.halted ? 0
                         : scs::kDfsrHalted);  // halted before the first instruction in start-up
      } else {
        core.stepPending = debugEnabled && stepRequested && core.halted;
        core.halted = false;
      }
      return;
    }
    case scs::kDcrsr: {
      if (!core.halted || coreRunning_) return;
      const std::uint32_t reg = value & kRegselMask;
      if (reg >= core.registers.size()) return;
      if ((value & regsel::kWrite) != 0) {
        SetCoreRegister(reg, core.dcrdr);
      } else {
        core.dcrdr = CoreRegister(reg);
      }
      return;
    }
    case scs::kDcrdr:
      if (!coreRunning_) core.dcrdr = value;
      return;
    case scs::kDemcr:
      core.demcr = value & scs::kDemcrMask;
      return;
    default:
      return;
  }
}

void SimChip::SetResetLine(bool low) {
  if (low == core.inReset) return;
  if (low) {
    ++resetCount;
    core.inReset = true;
    core.halted = false;
    core.resetSinceRead = true;
    fmc = Fmc{};
  } else {
    core.inReset = false;
    LeaveReset();
  }
}

void SimChip::SystemReset() {
  ++resetCount;
  core.resetSinceRead = true;
  fmc = Fmc{};
  if (!core.inReset) LeaveReset();  // with nRESET held low the core stays in reset
}

void SimChip::PowerOn() {
  core = Core{};
  units = DebugUnits{};
  ResetCore();
}

void SimChip::ResetCore() {
  core.registers.fill(0);
  core.vtor = 0;
  std::uint32_t stack = 0;
  std::uint32_t entry = 0;
  CoreRead(0, stack);
  CoreRead(4, entry);
  core.registers[regsel::kMsp] = stack & ~3u;
  core.registers[regsel::kPc] = entry & ~1u;
  core.registers[regsel::kXpsr] = (entry & 1u) != 0 ? exc::kThumbBit : 0;
  core.registers[regsel::kLr] = 0xFFFFFFFF;
  core.lockedUp = false;
  core.stepPending = false;
  core.startupLeft = kStartupInstructions;
  gpio.fill(0);
}

void SimChip::LeaveReset() {
  ResetCore();
  core.halted = false;
  if ((core.dhcsrControl & scs::kCDebugEn) == 0) return;
  if ((core.demcr & scs::kVcCoreReset) != 0) {
    Halt(scs::kDfsrVcatch);
  } else if ((core.dhcsrControl & scs::kCHalt) != 0) {
    Halt(scs::kDfsrHalted);
  }
}

// A halt ends a lockup, as on the real core; the pc stays where the lockup
// left it, so the core locks up again when let go unless the debugger moves
// it.
void SimChip::Halt(std::uint32_t reason) {
  core.halted = true;
  core.lockedUp = false;
  core.startupLeft = 0;
  core.stepPending = false;
  core.dfsr |= reason;
}

void SimChip::Lockup() {
  core.lockedUp = true;
  core.registers[regsel::kPc] = exc::kLockupAddress;
}

void SimChip::Elapse(std::uint64_t instructions) {
  if (core.inReset) return;
  if (core.startupLeft > 0) {
    const std::uint64_t used = std::min(core.startupLeft, instructions);
    core.startupLeft -= used;
    instructions -= used;
  }
  if (core.startupLeft > 0 || core.halted || core.lockedUp || instructions == 0) return;
  const bool step = core.stepPending;
  const std::uint64_t ran = cpu_.Run(*this, step ? 1 : instructions);
  core.instructions += ran;
  if (ran > 0) core.retiredSinceRead = true;
  if (corePendingReset_) {
    corePendingReset_ = false;
    SystemReset();
    return;
  }
  if (step && !core.halted) Halt(scs::kDfsrHalted);
}

}  // namespace dravlopro::sim
