#pragma once

#include <cstdint>

// The Armv7-M debug registers the debugger server drives beyond those of
// probe/registers.h: halting debug, core register transfer, the flash patch
// and breakpoint unit (FPB) and the data watchpoint unit (DWT).
namespace dravlopro::debugreg {

namespace dhcsr {
constexpr std::uint32_t kAddress = 0xE000EDF0;
constexpr std::uint32_t kKey = 0xA05F0000;
constexpr std::uint32_t kDebugEnable = 1u << 0;  // C_DEBUGEN
constexpr std::uint32_t kHalt = 1u << 1;         // C_HALT
constexpr std::uint32_t kStep = 1u << 2;         // C_STEP
constexpr std::uint32_t kMaskInts = 1u << 3;     // C_MASKINTS
constexpr std::uint32_t kRegReady = 1u << 16;    // S_REGRDY
constexpr std::uint32_t kHalted = 1u << 17;      // S_HALT
constexpr std::uint32_t kSleeping = 1u << 18;    // S_SLEEP
constexpr std::uint32_t kLockup = 1u << 19;      // S_LOCKUP
constexpr std::uint32_t kRetired = 1u << 24;     // S_RETIRE_ST
constexpr std::uint32_t kResetSeen = 1u << 25;   // S_RESET_ST
}  // namespace dhcsr

namespace dcrsr {
constexpr std::uint32_t kAddress = 0xE000EDF4;
constexpr std::uint32_t kWrite = 1u << 16;  // REGWnR
}  // namespace dcrsr

namespace dcrdr {
constexpr std::uint32_t kAddress = 0xE000EDF8;
}

// DCRSR REGSEL values.
namespace regsel {
constexpr std::uint32_t kSp = 13;
constexpr std::uint32_t kLr = 14;
constexpr std::uint32_t kPc = 15;  // DebugReturnAddress
constexpr std::uint32_t kXpsr = 16;
constexpr std::uint32_t kMsp = 17;
constexpr std::uint32_t kPsp = 18;
// CONTROL[31:24] FAULTMASK[23:16] BASEPRI[15:8] PRIMASK[7:0]
constexpr std::uint32_t kSpecial = 20;
}  // namespace regsel

namespace demcr {
constexpr std::uint32_t kAddress = 0xE000EDFC;
constexpr std::uint32_t kVcCoreReset = 1u << 0;
constexpr std::uint32_t kTraceEnable = 1u << 24;  // TRCENA: the DWT works only with it
}  // namespace demcr

namespace aircr {
constexpr std::uint32_t kAddress = 0xE000ED0C;
constexpr std::uint32_t kVectKey = 0x05FA0000;
constexpr std::uint32_t kSysResetReq = 1u << 2;
}  // namespace aircr

namespace dfsr {
constexpr std::uint32_t kAddress = 0xE000ED30;
constexpr std::uint32_t kHalted = 1u << 0;
constexpr std::uint32_t kBkpt = 1u << 1;
constexpr std::uint32_t kDwtTrap = 1u << 2;
constexpr std::uint32_t kVcatch = 1u << 3;
constexpr std::uint32_t kExternal = 1u << 4;
constexpr std::uint32_t kAll = 0x1F;
}  // namespace dfsr

namespace fpb {
constexpr std::uint32_t kCtrl = 0xE0002000;
constexpr std::uint32_t kKey = 1u << 1;
constexpr std::uint32_t kEnable = 1u << 0;
constexpr std::uint32_t kComp0 = 0xE0002008;
// FP_CTRL: NUM_CODE[3:0] with NUM_CODE[6:4] in bits 14:12, REV in 31:28.
constexpr std::uint32_t CodeComparators(std::uint32_t ctrl) {
  return ((ctrl >> 4) & 0xF) | (((ctrl >> 12) & 0x7) << 4);
}
constexpr std::uint32_t Revision(std::uint32_t ctrl) { return ctrl >> 28; }
// Revision 1 compares only code addresses below this one.
constexpr std::uint32_t kV1CodeLimit = 0x20000000;
constexpr std::uint32_t kV1AddressMask = 0x1FFFFFFC;
constexpr std::uint32_t kV1ReplaceLower = 1u << 30;  // breakpoint on the lower halfword
constexpr std::uint32_t kV1ReplaceUpper = 2u << 30;  // breakpoint on the upper halfword
constexpr std::uint32_t kCompEnable = 1u << 0;
}  // namespace fpb

namespace dwt {
constexpr std::uint32_t kCtrl = 0xE0001000;
constexpr std::uint32_t Comparators(std::uint32_t ctrl) { return ctrl >> 28; }
constexpr std::uint32_t Comp(std::uint32_t n) { return 0xE0001020 + 16 * n; }
constexpr std::uint32_t Mask(std::uint32_t n) { return 0xE0001024 + 16 * n; }
constexpr std::uint32_t Function(std::uint32_t n) { return 0xE0001028 + 16 * n; }
constexpr std::uint32_t kFunctionRead = 5;
constexpr std::uint32_t kFunctionWrite = 6;
constexpr std::uint32_t kFunctionAccess = 7;
constexpr std::uint32_t kMatched = 1u << 24;
}  // namespace dwt

// The BKPT instruction with immediate 0, as a halfword.
constexpr std::uint16_t kBkptInstruction = 0xBE00;

}  // namespace dravlopro::debugreg
