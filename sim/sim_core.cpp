// The Cortex-M core as the debugger sees it: the debug registers of the
// system control space, halting and resets.
//
// A system reset leaves the debug registers alone (only a power-on reset
// clears them). When the core leaves reset with halting debug enabled
// (DHCSR.C_DEBUGEN) it halts if DEMCR.VC_CORERESET is set (DFSR.VCATCH) or if
// C_HALT is still set (DFSR.HALTED); otherwise it runs.

#include "sim/sim_chip.h"

namespace dravlopro::sim {

std::uint32_t SimChip::Dhcsr() const {
  std::uint32_t value = core.dhcsrControl | scs::kSRegRdy;
  if (core.halted) value |= scs::kSHalt;
  if (core.resetSinceRead || core.inReset) value |= scs::kSResetSt;
  return value;
}

bool SimChip::ReadScs(std::uint32_t address, std::uint32_t& value) {
  switch (address) {
    case scs::kCpuid:
      value = scs::kCpuidValue;
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
    case scs::kAircr:
      if ((value & 0xFFFF0000) != scs::kAircrKey) return;  // wrong key: ignored
      core.aircrPriGroup = (value >> 8) & 0x7;
      if ((value & (scs::kSysResetReq | scs::kVectReset)) != 0) SystemReset();
      return;
    case scs::kDfsr:
      core.dfsr &= ~(value & scs::kDfsrMask);
      return;
    case scs::kDhcsr: {
      if ((value & 0xFFFF0000) != scs::kDhcsrKey) return;  // wrong key: ignored
      core.dhcsrControl = value & scs::kControlMask;
      const bool debugEnabled = (core.dhcsrControl & scs::kCDebugEn) != 0;
      const bool haltRequested = (core.dhcsrControl & scs::kCHalt) != 0;
      if (core.inReset) return;  // takes effect when the core leaves reset
      if (debugEnabled && haltRequested) {
        if (!core.halted) core.dfsr |= scs::kDfsrHalted;
        core.halted = true;
      } else {
        core.halted = false;
      }
      return;
    }
    case scs::kDcrsr: {
      if (!core.halted) return;
      const std::uint32_t reg = value & 0x7F;
      if (reg >= core.registers.size()) return;
      if ((value & (1u << 16)) != 0) {
        core.registers[reg] = core.dcrdr;
      } else {
        core.dcrdr = core.registers[reg];
      }
      return;
    }
    case scs::kDcrdr:
      core.dcrdr = value;
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

void SimChip::LeaveReset() {
  core.halted = false;
  if ((core.dhcsrControl & scs::kCDebugEn) == 0) return;
  if ((core.demcr & scs::kVcCoreReset) != 0) {
    core.halted = true;
    core.dfsr |= scs::kDfsrVcatch;
  } else if ((core.dhcsrControl & scs::kCHalt) != 0) {
    core.halted = true;
    core.dfsr |= scs::kDfsrHalted;
  }
}

}  // namespace dravlopro::sim
