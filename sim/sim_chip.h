#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_config.h"

namespace dravlopro::sim {

// The microcontroller as its system bus sees it: flash from address 0, the
// option page, SRAM, the flash memory controller (FMC), the Cortex-M debug
// registers and the ROM table. Everything else on the bus is a bus error.
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
  const SimConfig& config() const { return config_; }

  // --- The system bus, as the memory access port uses it. False = bus error.
  bool Read(std::uint32_t address, std::uint32_t& value);
  // mask selects the byte lanes written; only SRAM takes partial words.
  bool Write(std::uint32_t address, std::uint32_t value, std::uint32_t mask = 0xFFFFFFFF);

  // --- Reset.
  void SetResetLine(bool low);  // nRESET driven low (true) or released
  void SystemReset();           // what AIRCR.SYSRESETREQ does

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
  const std::vector<std::uint8_t>& flash() const { return flash_; }
  const std::vector<std::uint8_t>& optionPage() const { return option_; }
  const std::vector<std::uint8_t>& sram() const { return sram_; }

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
    std::array<std::uint32_t, 32> registers{};  // reached through DCRSR/DCRDR while halted
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
  Fmc fmc;
  int resetCount = 0;                   // system resets and nRESET pulses
  std::vector<std::uint32_t> eraseLog;  // base address of every page erased, in order
  int massEraseCount = 0;               // whole-flash erases
  std::size_t programmedWords = 0;      // words programmed, by the FMC or the engine

 private:
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
  void LeaveReset();
  static std::uint32_t ReadRomTable(std::uint32_t offset);

  SimConfig config_;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> option_;
  std::vector<std::uint8_t> sram_;
};

}  // namespace dravlopro::sim
