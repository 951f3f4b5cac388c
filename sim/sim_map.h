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
constexpr std::uint32_t kPpbBase = 0xE0000000;  // private peripheral bus, to 0xE00FFFFF
constexpr std::uint32_t kPpbEnd = 0xE0100000;
constexpr std::uint32_t kScsBase = 0xE000E000;
constexpr std::uint32_t kScsEnd = 0xE000F000;
constexpr std::uint32_t kRomTable = 0xE00FF000;
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
constexpr std::uint32_t kControlMask = 0x0000002F;
constexpr std::uint32_t kSRegRdy = 1u << 16;
constexpr std::uint32_t kSHalt = 1u << 17;
constexpr std::uint32_t kSResetSt = 1u << 25;
constexpr std::uint32_t kAircrKey = 0x05FA0000;
constexpr std::uint32_t kAircrReadKey = 0xFA050000;
constexpr std::uint32_t kVectReset = 1u << 0;
constexpr std::uint32_t kSysResetReq = 1u << 2;
constexpr std::uint32_t kVcCoreReset = 1u << 0;
constexpr std::uint32_t kDemcrMask = 0x010F07F1;
constexpr std::uint32_t kDfsrHalted = 1u << 0;
constexpr std::uint32_t kDfsrVcatch = 1u << 3;
constexpr std::uint32_t kDfsrMask = 0x1F;
}  // namespace scs

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
