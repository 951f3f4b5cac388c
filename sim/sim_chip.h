#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_config.h"
#include "sim/sim_cpu.h"

namespace dravlopro::sim {

// The microcontroller as its system bus sees it: flash from address 0, the
// option page, SRAM, the peripherals (the flash memory controller (FMC) and
// the GPIO port among them), the Cortex-M debug registers, the breakpoint
// and watchpoint units and the ROM table. Everything else on the bus is a
// bus error. The core sees the same bus as the debug port, and executes the
// code in it where the bench was built with an execution engine (SimCpu).
//
// While nRESET is held low the core sits in reset, but the debug port and the
// bus stay usable (the debug domain is powered separately), so memory and the
// FMC can still be accessed then.
class SimChip {
 public:
  SimChip();
  explicit SimChip(const SimConfig& config);

  // Replaces the chip by a fresh one of the given kind: flash and option page
  // erased, SRAM zero, core running. False (nothing changed) for a kind that
  // cannot exist: page size not a multiple of 4, flash not whole pages.
  bool Configure(const SimConfig& config);
  // Whether Configure() takes these sizes; sets nothing aside.
  static bool Possible(const SimConfig& config);
  const SimConfig& config() const { return config_; }

  // --- The system bus, as the memory access port uses it. False = bus error.
  bool Read(std::uint32_t address, std::uint32_t& value);
  // mask selects the byte lanes written; only SRAM takes partial words.
  bool Write(std::uint32_t address, std::uint32_t value, std::uint32_t mask = 0xFFFFFFFF);

  // --- Reset.
  void SetResetLine(bool low);  // nRESET driven low (true) or released
  void SystemReset();           // what AIRCR.SYSRESETREQ does
  void PowerOn();               // a power-on reset: the debug registers too

  // --- Time. The core runs only while the link is busy: each report
  // exchanged with the adapter gives it kInstructionsPerExchange
  // instructions, and each millisecond the bench's clock moved on since the
  // exchange before (the tool waiting) kInstructionsPerMs more, up to
  // kMostWaitedMs of them. After a reset the chip starts up for
  // kStartupInstructions' worth of time before the core's first instruction.
  static constexpr std::uint64_t kInstructionsPerExchange = 10000;
  static constexpr std::uint64_t kInstructionsPerMs = 10000;
  static constexpr std::uint64_t kMostWaitedMs = 1000;
  static constexpr std::uint64_t kStartupInstructions = 3 * kInstructionsPerExchange;
  // Runs the core for this many instructions' worth of time (it stops sooner
  // when it halts, locks up or sleeps; held in reset it does nothing).
  void Elapse(std::uint64_t instructions);

  // --- Flash work without the register interface, as the adapter's own
  // programming engine does it. Each returns FMC error flags, 0 = done.
  std::uint32_t ErasePage(std::uint32_t address);
  std::uint32_t EraseOptionPage();
  std::uint32_t EraseAllPages();
  std::uint32_t ProgramWord(std::uint32_t address, std::uint32_t value);
  bool Ready();  // what the readiness words tell (counts as one read of them)

  // --- Inspection and setup for tests (addresses are target addresses;
  // outside the region reads give 0 and writes are ignored).
  std::uint8_t FlashByte(std::uint32_t address) const;
  std::uint32_t FlashWord(std::uint32_t address) const;
  void SetFlashBytes(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  void SetFlashWord(std::uint32_t address, std::uint32_t value);
  std::uint32_t SramWord(std::uint32_t address) const;
  void SetSramWord(std::uint32_t address, std::uint32_t value);
  std::uint32_t OptionWord(std::uint32_t index) const;
  void SetOptionWord(std::uint32_t index, std::uint32_t value);
  bool Locked() const;          // option word 4 bit 0 clear
  void SetLocked(bool locked);  // clears or sets that bit
  std::uint32_t Dhcsr() const;  // DHCSR as a read would show it (without side effects)
  std::vector<std::uint8_t> flash() const { return Part(flash_, config_.flashSize); }
  std::vector<std::uint8_t> optionPage() const { return Part(option_, config_.pageSize); }
  std::vector<std::uint8_t> sram() const { return Part(sram_, config_.sramSize); }

  // --- The core's registers, numbered as DCRSR.REGSEL numbers them (13 is
  // the stack pointer in use, MSP or PSP).
  std::uint32_t CoreRegister(std::uint32_t regsel) const;
  void SetCoreRegister(std::uint32_t regsel, std::uint32_t value);

  // --- State of the core and its debug registers.
  struct Core {
    bool halted = false;
    bool inReset = false;            // nRESET held low
    bool resetSinceRead = false;     // DHCSR.S_RESET_ST, cleared by reading DHCSR
    std::uint32_t dhcsrControl = 0;  // C_DEBUGEN, C_HALT, C_STEP, C_MASKINTS, C_SNAPSTALL
    std::uint32_t demcr = 0;
    std::uint32_t dfsr = 0;
    std::uint32_t aircrPriGroup = 0;
    std::uint32_t dcrdr = 0;
    std::uint32_t vtor = 0;
    // By REGSEL number; 13 is not kept (it is MSP or PSP).
    std::array<std::uint32_t, regsel::kCount> registers{};
    bool lockedUp = false;           // DHCSR.S_LOCKUP: an unhandled fault stopped the core
    bool stepPending = false;        // C_STEP: one instruction, then halt
    bool retiredSinceRead = false;   // DHCSR.S_RETIRE_ST, cleared by reading DHCSR
    std::uint64_t startupLeft = 0;   // time after reset before the first instruction
    std::uint64_t instructions = 0;  // executed since power-on
  };

  // --- The breakpoint and watchpoint units.
  struct DebugUnits {
    std::uint32_t fpbCtrl = 0;
    std::array<std::uint32_t, fpb::kComparators> fpbComp{};
    std::array<std::uint32_t, dwt::kComparators> dwtComp{};
    std::array<std::uint32_t, dwt::kComparators> dwtMask{};
    std::array<std::uint32_t, dwt::kComparators> dwtFunction{};
    // The FPB code comparator addresses that halt the core, when enabled.
    std::vector<std::uint32_t> Breakpoints() const;
    // The DWT comparator that a data access of `size` bytes at `address`
    // matches (read or write), or -1.
    int Watchpoint(std::uint32_t address, std::uint32_t size, bool write) const;
    bool AnyWatchpoint() const;
  };

  // --- The flash memory controller registers.
  struct Fmc {
    std::uint32_t addr = 0;
    std::uint32_t data = 0;
    std::uint32_t reg08 = 0;
    std::uint32_t cmd = 0;
    std::uint32_t ctrl = 0;
    std::uint32_t reg14 = 0;
    std::uint32_t status = 0;
    bool busy = false;
    bool stuck = false;               // never finishes (fault)
    std::uint32_t pollsLeft = 0;      // busy reads of FMC_CTRL still to come
    std::uint32_t pendingStatus = 0;  // flags that appear when the operation finishes
    int readyShown = -1;              // what the last read of the first readiness word showed
  };

  SimFaults faults;
  Core core;
  DebugUnits units;
  Fmc fmc;
  // The GPIO port's registers, which keep what is written.
  std::array<std::uint32_t, map::kGpioSize / 4> gpio{};
  // Writes to peripherals, the address and the value, oldest first (the
  // last kPeripheralLogSize of them).
  static constexpr std::size_t kPeripheralLogSize = 256;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> peripheralWrites;
  int resetCount = 0;                   // system resets and nRESET pulses
  std::vector<std::uint32_t> eraseLog;  // base address of every page erased, in order
  int massEraseCount = 0;               // whole-flash erases
  std::size_t programmedWords = 0;      // words programmed, by the FMC or the engine

 private:
  friend class SimCpu;

  static std::vector<std::uint8_t> Part(const std::vector<std::uint8_t>& bytes,
                                        std::uint32_t size) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + size);
  }
  bool InFlash(std::uint32_t address) const;
  bool InOption(std::uint32_t address) const;
  bool InSram(std::uint32_t address) const;
  static std::uint32_t LoadWord(const std::vector<std::uint8_t>& bytes, std::uint32_t offset);
  static void StoreWord(std::vector<std::uint8_t>& bytes, std::uint32_t offset,
                        std::uint32_t value);

  std::uint32_t ReadFmc(std::uint32_t offset);
  void WriteFmc(std::uint32_t offset, std::uint32_t value);
  void StartFmcOperation(std::uint32_t ctrlValue);
  void FinishFmcOperation();

  bool ReadScs(std::uint32_t address, std::uint32_t& value);
  void WriteScs(std::uint32_t address, std::uint32_t value);
  bool ReadPeripheral(std::uint32_t address, std::uint32_t& value) const;
  void WritePeripheral(std::uint32_t address, std::uint32_t value);
  std::uint32_t ReadUnit(std::uint32_t address);
  void WriteUnit(std::uint32_t address, std::uint32_t value);
  void LeaveReset();
  void ResetCore();      // SP and PC from the vector table, the rest as at reset
  bool Halting() const;  // halting debug enabled

  // --- The exception model (sim_exceptions.cpp), used by the running core.
  // Reads and writes of the core itself, which flash security does not stop.
  bool CoreRead(std::uint32_t address, std::uint32_t& value);
  bool CoreWrite(std::uint32_t address, std::uint32_t value);
  bool EnterException(std::uint32_t number, std::uint32_t returnAddress);
  // A fault at this instruction: HardFault, or lockup where it cannot be taken.
  void Fault(std::uint32_t address);
  // The core branched to an EXC_RETURN value.
  void ReturnFromException(std::uint32_t excReturn);
  void Halt(std::uint32_t reason);  // enters debug state, DFSR gets the reason
  void Lockup();
  static std::uint32_t ReadRomTable(std::uint32_t offset);

  SimConfig config_;
  // Each kept in whole 4 KB pages, as the execution engine maps memory.
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> option_;
  std::vector<std::uint8_t> sram_;
  bool corePendingReset_ = false;  // the running core asked for a system reset
  bool coreRunning_ = false;
  // Where memory changed behind the core (through the debug port, the FMC,
  // the adapter's engine) since it last ran, in flash and the option page
  // and in SRAM: the engine drops the code it translated from there.
  struct Touched {
    std::uint32_t first = 0xFFFFFFFF;
    std::uint32_t end = 0;
    void Add(std::uint32_t from, std::uint32_t size) {
      first = std::min(first, from);
      end = std::max(end, from + size);
    }
  };
  void Touch(std::uint32_t address, std::uint32_t size) {
    (address >= map::kSramBase ? touchedSram_ : touchedCode_).Add(address, size);
  }
  Touched touchedCode_;
  Touched touchedSram_;
  SimCpu cpu_;
};

}  // namespace dravlopro::sim
