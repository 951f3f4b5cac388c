// The core's exception model, as far as the bench follows it: a fault enters
// HardFault (pushing the eight-word frame and taking the handler from the
// vector table), SVC enters SVCall, a branch to an EXC_RETURN value returns,
// and a fault that cannot be taken (in HardFault itself, or while pushing
// the frame or fetching the vector) locks the core up. The bench has no
// interrupts and no fault status registers; every fault is a HardFault.

#include <array>

#include "sim/sim_chip.h"

namespace dravlopro::sim {

namespace {
constexpr std::uint32_t kNmi = 2;
constexpr std::uint32_t kFrameWords = 8;
constexpr std::uint32_t kFrameBytes = 4 * kFrameWords;
constexpr std::uint32_t kItBits = 0x0600FC00;  // EPSR.IT/ICI
constexpr std::uint32_t kFrameRegisters[] = {0, 1, 2, 3, 12, regsel::kLr};
}  // namespace

bool SimChip::CoreRead(std::uint32_t address, std::uint32_t& value) {
  const std::uint32_t word = address & ~3u;
  if (InFlash(word)) {
    value = LoadWord(flash_, word - map::kFlashBase);
    return true;
  }
  if (InOption(word)) {
    value = LoadWord(option_, word - map::kOptionBase);
    return true;
  }
  return Read(word, value);
}

bool SimChip::CoreWrite(std::uint32_t address, std::uint32_t value) {
  return Write(address & ~3u, value);
}

bool SimChip::EnterException(std::uint32_t number, std::uint32_t returnAddress) {
  std::array<std::uint32_t, kFrameWords> frame{};
  for (std::size_t i = 0; i < 6; ++i) frame[i] = CoreRegister(kFrameRegisters[i]);
  frame[6] = returnAddress;
  const std::uint32_t xpsr = core.registers[regsel::kXpsr];
  const std::uint32_t sp = CoreRegister(regsel::kSp);
  const bool realign = (sp & 4) != 0;
  frame[7] = realign ? xpsr | exc::kStackAlignBit : xpsr & ~exc::kStackAlignBit;
  const std::uint32_t framePointer = (sp - kFrameBytes) & ~7u;
  for (std::uint32_t i = 0; i < kFrameWords; ++i) {
    if (!CoreWrite(framePointer + 4 * i, frame[i])) return false;
  }
  std::uint32_t handler = 0;
  if (!CoreRead(core.vtor + 4 * number, handler)) return false;

  const bool fromHandler = (xpsr & exc::kIpsrMask) != 0;
  const bool fromPsp =
      !fromHandler && ((core.registers[regsel::kSpecial] >> 24) & exc::kControlSpsel) != 0;
  SetCoreRegister(regsel::kSp, framePointer);
  core.registers[regsel::kLr] = fromHandler ? exc::kReturnHandler
                                : fromPsp   ? exc::kReturnThreadPsp
                                            : exc::kReturnThreadMsp;
  std::uint32_t newXpsr = (xpsr & ~(exc::kIpsrMask | exc::kThumbBit | kItBits)) | number;
  if ((handler & 1) != 0) newXpsr |= exc::kThumbBit;
  core.registers[regsel::kXpsr] = newXpsr;
  core.registers[regsel::kPc] = handler & ~1u;
  return true;
}

void SimChip::Fault(std::uint32_t address) {
  const std::uint32_t active = core.registers[regsel::kXpsr] & exc::kIpsrMask;
  if (active == exc::kHardFault || active == kNmi || !EnterException(exc::kHardFault, address)) {
    Lockup();
    return;
  }
  if (Halting() && (core.demcr & scs::kVcHardErr) != 0) Halt(scs::kDfsrVcatch);
}

void SimChip::ReturnFromException(std::uint32_t excReturn) {
  const bool toPsp = excReturn == exc::kReturnThreadPsp;
  const bool valid =
      (core.registers[regsel::kXpsr] & exc::kIpsrMask) != 0 &&
      (excReturn == exc::kReturnHandler || excReturn == exc::kReturnThreadMsp || toPsp);
  if (!valid) {
    Fault(excReturn & ~1u);
    return;
  }
  const std::uint32_t framePointer = core.registers[toPsp ? regsel::kPsp : regsel::kMsp];
  std::array<std::uint32_t, kFrameWords> frame{};
  for (std::uint32_t i = 0; i < kFrameWords; ++i) {
    if (!CoreRead(framePointer + 4 * i, frame[i])) {
      Fault(excReturn & ~1u);
      return;
    }
  }
  const std::uint32_t next =
      framePointer + kFrameBytes + ((frame[7] & exc::kStackAlignBit) ? 4 : 0);
  core.registers[toPsp ? regsel::kPsp : regsel::kMsp] = next;
  std::uint32_t control = core.registers[regsel::kSpecial] >> 24;
  if (excReturn != exc::kReturnHandler) {
    control = toPsp ? control | exc::kControlSpsel : control & ~exc::kControlSpsel;
  }
  core.registers[regsel::kSpecial] =
      (core.registers[regsel::kSpecial] & 0x00FFFFFF) | (control << 24);
  core.registers[regsel::kXpsr] = frame[7] & ~exc::kStackAlignBit;
  for (std::size_t i = 0; i < 6; ++i) core.registers[kFrameRegisters[i]] = frame[i];
  core.registers[regsel::kPc] = frame[6] & ~1u;
}

}  // namespace dravlopro::sim
