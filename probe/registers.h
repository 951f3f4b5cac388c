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
constexpr std::uint32_t kAddr = kBase + 0x000;
constexpr std::uint32_t kData = kBase + 0x004;
constexpr std::uint32_t kCmd = kBase + 0x00C;
constexpr std::uint32_t kCtrl = kBase + 0x010;
constexpr std::uint32_t kStatus = kBase + 0x018;
constexpr std::uint32_t kPageSize = kBase + 0x188;
constexpr std::uint32_t kReadyWords = kBase + 0x310;  // four words, any non-zero: ready
constexpr std::uint32_t kReadyWordCount = 4;

// The register image: the six words FMC_ADDR .. 0x014, read and written as
// one block from kBase.
constexpr std::uint32_t kImageWords = 6;
constexpr std::uint32_t kImageAddr = 0;
constexpr std::uint32_t kImageData = 1;
constexpr std::uint32_t kImageCmd = 3;
constexpr std::uint32_t kImageCtrl = 4;
constexpr std::uint32_t kImageReg14 = 5;
// The status image: FMC_CTRL, the word at 0x014 and FMC_STATUS, read as one
// block from kCtrl.
constexpr std::uint32_t kStatusImageWords = 3;
constexpr std::uint32_t kStatusImageCtrl = 0;
constexpr std::uint32_t kStatusImageStatus = 2;

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

// The option-byte page.
namespace option {
constexpr std::uint32_t kPageAddress = 0x1FF00000;
constexpr std::uint32_t kProtectionWord = 0x1FF00010;  // cpWord
constexpr std::uint32_t kSecurityOff = 1u << 0;        // clear: securely locked
}  // namespace option

// Where flash ends and RAM begins: "-w32" programs words below this address.
constexpr std::uint32_t kSramBase = 0x20000000;

// The flash page sizes the controller can report.
constexpr std::uint32_t kDefaultPageSize = 512;

}  // namespace dravlopro
