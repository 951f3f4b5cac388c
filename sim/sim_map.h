#pragma once

#include <cstdint>

// Addresses, register offsets and bit fields of the simulated microcontroller
// and its debug port, named once for the model and its tests.
namespace dravlopro::sim {

// Answers of one serial-wire transfer, as DAP_Transfer reports them.
namespace ack {
constexpr std::uint8_t kOk = 0x01;
constexpr std::uint8_t kWait = 0x02;
constexpr std::uint8_t kFault = 0x04;
constexpr std::uint8_t kNone = 0x07;           // nobody drives the line: all ack bits high
constexpr std::uint8_t kProtocolError = 0x08;  // request the adapter could not carry out
constexpr std::uint8_t kMismatch = 0x10;       // value match never matched
}  // namespace ack

namespace map {
constexpr std::uint32_t kFlashBase = 0x00000000;
constexpr std::uint32_t kOptionBase = 0x1FF00000;
constexpr std::uint32_t kSramBase = 0x20000000;
constexpr std::uint32_t kFmcBase = 0x40080000;
constexpr std::uint32_t kFmcSize = 0x400;
// Peripherals, from 0x40000000 to 0x5FFFFFFF: the FMC, the example board's
// GPIO port (its registers keep what is written) and others the bench does
// not model (they read as zero; writes are recorded).
constexpr std::uint32_t kPeripheralBase = 0x40000000;
constexpr std::uint32_t kPeripheralEnd = 0x60000000;
constexpr std::uint32_t kGpioBase = 0x50004000;
constexpr std::uint32_t kGpioSize = 0x40;
constexpr std::uint32_t kPpbBase = 0xE0000000;  // private peripheral bus, to 0xE00FFFFF
constexpr std::uint32_t kPpbEnd = 0xE0100000;
constexpr std::uint32_t kScsBase = 0xE000E000;
constexpr std::uint32_t kScsEnd = 0xE000F000;
constexpr std::uint32_t kRomTable = 0xE00FF000;
constexpr std::uint32_t kDwtBase = 0xE0001000;
constexpr std::uint32_t kFpbBase = 0xE0002000;
constexpr std::uint32_t kUnitSize = 0x1000;
}  // namespace map

// Option page: words 0 to 3 page protection, word 4 the protection word,
// word 8 the checksum of words 0 to 4.
namespace option {
constexpr std::uint32_t kProtectionWord = 4;
constexpr std::uint32_t kChecksumWord = 8;
constexpr std::uint32_t kSecurityBit = 0x1;  // clear = securely locked
}  // namespace option

namespace fmc {
constexpr std::uint32_t kAddr = 0x000;
constexpr std::uint32_t kData = 0x004;
constexpr std::uint32_t kReg08 = 0x008;
constexpr std::uint32_t kCmd = 0x00C;
constexpr std::uint32_t kCtrl = 0x010;
constexpr std::uint32_t kReg14 = 0x014;
constexpr std::uint32_t kStatus = 0x018;
constexpr std::uint32_t kPageSize = 0x188;
constexpr std::uint32_t kReady0 = 0x310;
constexpr std::uint32_t kReady3 = 0x31C;

constexpr std::uint32_t kCmdProgram = 4;
constexpr std::uint32_t kCmdErase = 8;

constexpr std::uint32_t kCtrlEnable = 0x04;
constexpr std::uint32_t kCtrlDone = 0x08;
constexpr std::uint32_t kCtrlStart = 0x10;
constexpr std::uint32_t kCtrlStartBits = kCtrlStart | kCtrlEnable;
constexpr std::uint32_t kCtrlFinished = kCtrlDone | kCtrlEnable;

constexpr std::uint32_t kReg14EraseEnable = 0x02;  // consumed by each main-flash erase

constexpr std::uint32_t kErrAddress = 0x02;       // no flash at FMC_ADDR, or misaligned
constexpr std::uint32_t kErrWriteProtect = 0x04;  // flash secured
constexpr std::uint32_t kErrCommand = 0x08;       // unknown FMC_CMD
constexpr std::uint32_t kErrProgram = 0x10;
constexpr std::uint32_t kErrEcc = 0x20000;
constexpr std::uint32_t kErrorMask = 0x0002001E;
constexpr std::uint32_t kStatusProgrammed = 0x00010000;
}  // namespace fmc

// Cortex-M system control space registers used by the debugger.
namespace scs {
constexpr std::uint32_t kCpuid = 0xE000ED00;
constexpr std::uint32_t kAircr = 0xE000ED0C;
constexpr std::uint32_t kDfsr = 0xE000ED30;
constexpr std::uint32_t kDhcsr = 0xE000EDF0;
constexpr std::uint32_t kDcrsr = 0xE000EDF4;
constexpr std::uint32_t kDcrdr = 0xE000EDF8;
constexpr std::uint32_t kDemcr = 0xE000EDFC;

constexpr std::uint32_t kCpuidValue = 0x410FC241;
constexpr std::uint32_t kDhcsrKey = 0xA05F0000;
constexpr std::uint32_t kCDebugEn = 1u << 0;
constexpr std::uint32_t kCHalt = 1u << 1;
constexpr std::uint32_t kCStep = 1u << 2;
constexpr std::uint32_t kCMaskInts = 1u << 3;
constexpr std::uint32_t kControlMask = 0x0000002F;
constexpr std::uint32_t kSRegRdy = 1u << 16;
constexpr std::uint32_t kSHalt = 1u << 17;
constexpr std::uint32_t kSSleep = 1u << 18;
constexpr std::uint32_t kSLockup = 1u << 19;
constexpr std::uint32_t kSRetireSt = 1u << 24;
constexpr std::uint32_t kSResetSt = 1u << 25;
constexpr std::uint32_t kAircrKey = 0x05FA0000;
constexpr std::uint32_t kAircrReadKey = 0xFA050000;
constexpr std::uint32_t kVectReset = 1u << 0;
constexpr std::uint32_t kSysResetReq = 1u << 2;
constexpr std::uint32_t kVcCoreReset = 1u << 0;
constexpr std::uint32_t kVcHardErr = 1u << 10;
constexpr std::uint32_t kDemcrMask = 0x010F07F1;
constexpr std::uint32_t kDfsrHalted = 1u << 0;
constexpr std::uint32_t kDfsrBkpt = 1u << 1;
constexpr std::uint32_t kDfsrDwtTrap = 1u << 2;
constexpr std::uint32_t kDfsrVcatch = 1u << 3;
constexpr std::uint32_t kDfsrMask = 0x1F;
}  // namespace scs

// The core's registers as DCRSR.REGSEL numbers them.
namespace regsel {
constexpr std::uint32_t kSp = 13;  // the stack pointer in use: MSP or PSP
constexpr std::uint32_t kLr = 14;
constexpr std::uint32_t kPc = 15;  // DebugReturnAddress
constexpr std::uint32_t kXpsr = 16;
constexpr std::uint32_t kMsp = 17;
constexpr std::uint32_t kPsp = 18;
// CONTROL in bits 31:24, FAULTMASK 23:16, BASEPRI 15:8, PRIMASK 7:0.
constexpr std::uint32_t kSpecial = 20;
constexpr std::uint32_t kCount = 32;
constexpr std::uint32_t kWrite = 1u << 16;  // DCRSR.REGWnR
}  // namespace regsel

// The core's exception model, as far as the bench follows it.
namespace exc {
constexpr std::uint32_t kHardFault = 3;
constexpr std::uint32_t kSvCall = 11;
constexpr std::uint32_t kThumbBit = 1u << 24;  // EPSR.T
constexpr std::uint32_t kIpsrMask = 0x1FF;
constexpr std::uint32_t kStackAlignBit = 1u << 9;  // stacked xPSR: the frame was realigned
constexpr std::uint32_t kReturnHandler = 0xFFFFFFF1;
constexpr std::uint32_t kReturnThreadMsp = 0xFFFFFFF9;
constexpr std::uint32_t kReturnThreadPsp = 0xFFFFFFFD;
constexpr std::uint32_t kLockupAddress = 0xEFFFFFFE;
constexpr std::uint32_t kControlSpsel = 1u << 1;  // CONTROL.SPSEL: thread mode uses PSP
}  // namespace exc

// Flash Patch and Breakpoint unit: six code comparators and two literal
// ones, revision 1 (as on a Cortex-M4).
namespace fpb {
constexpr std::uint32_t kCtrl = 0x000;
constexpr std::uint32_t kRemap = 0x004;
constexpr std::uint32_t kComp0 = 0x008;
constexpr std::uint32_t kCodeComparators = 6;
constexpr std::uint32_t kLiteralComparators = 2;
constexpr std::uint32_t kComparators = kCodeComparators + kLiteralComparators;
constexpr std::uint32_t kCtrlEnable = 1u << 0;
constexpr std::uint32_t kCtrlKey = 1u << 1;
constexpr std::uint32_t kCtrlReadOnly = (kCodeComparators << 4) | (kLiteralComparators << 8);
constexpr std::uint32_t kCompEnable = 1u << 0;
constexpr std::uint32_t kCompAddressMask = 0x1FFFFFFC;
constexpr std::uint32_t kReplaceShift = 30;  // 1: lower halfword, 2: upper, 3: both
}  // namespace fpb

// Data Watchpoint and Trace unit: four comparators.
namespace dwt {
constexpr std::uint32_t kCtrl = 0x000;
constexpr std::uint32_t kCyccnt = 0x004;
constexpr std::uint32_t kComp0 = 0x020;
constexpr std::uint32_t kComparatorStride = 0x10;
constexpr std::uint32_t kMaskOffset = 0x4;
constexpr std::uint32_t kFunctionOffset = 0x8;
constexpr std::uint32_t kComparators = 4;
constexpr std::uint32_t kCtrlValue = kComparators << 28;
constexpr std::uint32_t kFunctionMask = 0xF;
constexpr std::uint32_t kWatchRead = 5;
constexpr std::uint32_t kWatchWrite = 6;
constexpr std::uint32_t kWatchAccess = 7;
constexpr std::uint32_t kMatched = 1u << 24;
constexpr std::uint32_t kMaskBits = 0x1F;
}  // namespace dwt

// Serial-wire debug port and memory access port.
namespace dp {
constexpr std::uint32_t kCsysPwrUpAck = 1u << 31;
constexpr std::uint32_t kCsysPwrUpReq = 1u << 30;
constexpr std::uint32_t kCdbgPwrUpAck = 1u << 29;
constexpr std::uint32_t kCdbgPwrUpReq = 1u << 28;
constexpr std::uint32_t kCdbgRstAck = 1u << 27;
constexpr std::uint32_t kCdbgRstReq = 1u << 26;
constexpr std::uint32_t kCtrlWritable = 0x54000F0D;  // requests, MASKLANE, TRNMODE, ORUNDETECT
constexpr std::uint32_t kStickyOrun = 1u << 1;
constexpr std::uint32_t kStickyCmp = 1u << 4;
constexpr std::uint32_t kStickyErr = 1u << 5;
constexpr std::uint32_t kWDataErr = 1u << 7;
constexpr std::uint32_t kAbortStkCmpClr = 1u << 1;
constexpr std::uint32_t kAbortStkErrClr = 1u << 2;
constexpr std::uint32_t kAbortWdErrClr = 1u << 3;
constexpr std::uint32_t kAbortOrunErrClr = 1u << 4;
}  // namespace dp

namespace ap {
constexpr std::uint32_t kCsw = 0x00;
constexpr std::uint32_t kTar = 0x04;
constexpr std::uint32_t kDrw = 0x0C;
constexpr std::uint32_t kBd0 = 0x10;
constexpr std::uint32_t kBd3 = 0x1C;
constexpr std::uint32_t kCfg = 0xF4;
constexpr std::uint32_t kBase = 0xF8;
constexpr std::uint32_t kIdr = 0xFC;

constexpr std::uint32_t kBaseValue = 0xE00FF003;
constexpr std::uint32_t kIdrValue = 0x24770011;
constexpr std::uint32_t kCswSizeMask = 0x7;
constexpr std::uint32_t kCswAddrIncShift = 4;
constexpr std::uint32_t kCswDeviceEn = 1u << 6;
constexpr std::uint32_t kCswReset = 0x03000042;
constexpr std::uint32_t kTarWrapMask = 0x3FF;  // auto-increment stays inside 1 KB
}  // namespace ap

}  // namespace dravlopro::sim
