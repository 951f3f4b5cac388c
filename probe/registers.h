#pragma once

#include <cstdint>

// Target addresses and register values the tool drives over the serial-wire
// link: the debug port and memory access port set-up, the Cortex-M debug
// registers and the flash memory controller.
namespace dravlopro {

// Debug port and memory access port values written while connecting.
namespace swd {
constexpr std::uint32_t kSelectBank0 = 0x00000000;        // access port 0, bank 0
constexpr std::uint32_t kSelectBankF = 0x000000F0;        // access port 0, bank 0xF
constexpr std::uint32_t kPowerUpRequest = 0x50000000;     // CSYSPWRUPREQ | CDBGPWRUPREQ
constexpr std::uint32_t kDebugResetRequest = 0x54000000;  // the same plus CDBGRSTREQ
constexpr std::uint32_t kPowerUpMaskLanes = 0x50000F00;   // MASKLANE = 0xF, reset withdrawn
constexpr std::uint32_t kAbortClearAll = 0x0000001E;      // STKCMPCLR STKERRCLR WDERRCLR ORUNERRCLR
constexpr std::uint32_t kCswWordIncrement = 0x23000052;   // word accesses, single auto-increment
// The access port's address auto-increment stays inside one block of this
// size, so a new TAR is needed at each of its boundaries.
constexpr std::uint32_t kTarIncrementBlock = 0x400;
// The most words one TAR setting serves in the block operations.
constexpr std::uint32_t kPieceWords = 256;
}  // namespace swd

// Cortex-M debug registers.
namespace dhcsr {
constexpr std::uint32_t kAddress = 0xE000EDF0;
constexpr std::uint32_t kKey = 0xA05F0000;
constexpr std::uint32_t kDebugEnable = 1u << 0;  // C_DEBUGEN
constexpr std::uint32_t kHalt = 1u << 1;         // C_HALT
constexpr std::uint32_t kHaltValue = kKey | kHalt | kDebugEnable;
constexpr std::uint32_t kRunValue = kKey | kDebugEnable;
}  // namespace dhcsr

namespace demcr {
constexpr std::uint32_t kAddress = 0xE000EDFC;
constexpr std::uint32_t kVcCoreReset = 1u << 0;  // halt on the reset vector
}  // namespace demcr

namespace aircr {
constexpr std::uint32_t kAddress = 0xE000ED0C;
constexpr std::uint32_t kVectKey = 0x05FA0000;
constexpr std::uint32_t kSysResetReq = 1u << 2;
constexpr std::uint32_t kResetValue = kVectKey | kSysResetReq;
}  // namespace aircr

namespace dfsr {
constexpr std::uint32_t kAddress = 0xE000ED30;
constexpr std::uint32_t kHalted = 1u << 0;
}  // namespace dfsr

// The flash memory controller.
namespace fmc {
constexpr std::uint32_t kBase = 0x40080000;
constexpr std::uint32_t kCtrl = kBase + 0x010;
constexpr std::uint32_t kStatus = kBase + 0x018;
constexpr std::uint32_t kPageSize = kBase + 0x188;
constexpr std::uint32_t kReadyWords = kBase + 0x310;  // four words, any non-zero: ready
constexpr std::uint32_t kReadyWordCount = 4;

// The register block: the six words FMC_ADDR .. 0x014, read and written in
// one go from kBase; the indexes name its words.
constexpr std::uint32_t kRegisterBlockWords = 6;
constexpr std::uint32_t kBlockAddr = 0;
constexpr std::uint32_t kBlockData = 1;
constexpr std::uint32_t kBlockCmd = 3;
constexpr std::uint32_t kBlockCtrl = 4;
constexpr std::uint32_t kBlockReg14 = 5;
// The status block: FMC_CTRL, the word at 0x014 and FMC_STATUS, read in one
// go from kCtrl.
constexpr std::uint32_t kStatusBlockWords = 3;
constexpr std::uint32_t kStatusBlockCtrl = 0;
constexpr std::uint32_t kStatusBlockStatus = 2;

constexpr std::uint32_t kCmdProgramWord = 4;
constexpr std::uint32_t kCmdErasePage = 8;
constexpr std::uint32_t kCtrlStart = 0x14;
constexpr std::uint32_t kCtrlFinishedMask = 0x0C;  // both set: the operation has finished
constexpr std::uint32_t kReg14EraseEnable = 1u << 1;
constexpr std::uint32_t kStatusErrorMask = 0x0002001E;
constexpr std::uint32_t kStatusProgrammed = 0x00010000;
constexpr std::uint32_t kStatusClearErrors = 0x1E;

constexpr bool Finished(std::uint32_t ctrl) {
  return (ctrl & kCtrlFinishedMask) == kCtrlFinishedMask;
}
}  // namespace fmc

// The option-byte page: words 0 to 3 hold PP0..PP3 inverted, word 4 the
// protection word (cpWord).
namespace option {
constexpr std::uint32_t kPageAddress = 0x1FF00000;
constexpr std::uint32_t kProtectionWord = 0x1FF00010;
constexpr std::uint32_t kProtectionWordIndex = 4;
// A protection bit cleared means the protection is on: CP0 is the security
// lock, CP1 the option bytes' write protection.
constexpr std::uint32_t kCp0Bit = 1u << 0;
constexpr std::uint32_t kCp1Bit = 1u << 1;

// The protection word for these flags: all bits set but the enabled ones.
constexpr std::uint32_t CpWord(bool cp0Enabled, bool cp1Enabled) {
  std::uint32_t word = 0xFFFFFFFFu;
  if (cp0Enabled) word &= ~kCp0Bit;
  if (cp1Enabled) word &= ~kCp1Bit;
  return word;
}
constexpr bool Cp0Enabled(std::uint32_t cpWord) { return (cpWord & kCp0Bit) == 0; }
constexpr bool Cp1Enabled(std::uint32_t cpWord) { return (cpWord & kCp1Bit) == 0; }
}  // namespace option

// Where flash ends and RAM begins: "-w32" programs words below this address.
constexpr std::uint32_t kSramBase = 0x20000000;

// The flash page sizes the controller can report.
constexpr std::uint32_t kDefaultPageSize = 512;

}  // namespace dravlopro
