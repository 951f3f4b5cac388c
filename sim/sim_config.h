#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_map.h"

namespace dravlopro::sim {

// What kind of microcontroller sits behind the simulated adapter.
struct SimConfig {
  std::uint32_t flashSize = 64 * 1024;  // a multiple of pageSize
  std::uint32_t pageSize = 1024;        // erase unit of the flash and size of the option page
  std::uint32_t pageSizeRegister = 0;   // raw FMC_PAGESIZE value; 0 reads as pageSize
  std::uint32_t sramSize = 16 * 1024;   // a multiple of 4
  std::uint32_t idcode = 0x0BC11477;    // DPIDR
  std::uint32_t erasePolls = 0;         // reads of FMC_CTRL that still show an erase busy
  std::uint32_t programPolls = 0;       // the same for programming one word
  bool lockBlocksFlashReads = true;     // a secured target faults debugger reads of its flash

  // The raw value the FMC_PAGESIZE register shows.
  std::uint32_t PageSizeRegisterValue() const {
    return pageSizeRegister != 0 ? pageSizeRegister : pageSize;
  }
};

// An inclusive range of target addresses.
struct AddressRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0xFFFFFFFF;
  bool Contains(std::uint32_t address) const { return address >= first && address <= last; }
};

// The memory access port answers WAIT or FAULT to data accesses inside a range.
struct AccessFault {
  AddressRange range;
  std::uint8_t ack = ack::kFault;  // ack::kWait or ack::kFault
  int times = -1;                  // how many accesses are hit; -1 = all of them
  bool onTarWrite = false;         // a TAR write of an address in the range is hit as well
  bool writesOnly = false;         // only data writes are hit; reads of the range go through
};

// The flash controller raises error flags instead of doing an operation whose
// FMC_ADDR lies in the range.
struct FmcFault {
  std::uint32_t flags = 0;  // error flags to raise (within fmc::kErrorMask); 0 = no fault
  AddressRange range;
};

// Trouble the simulation can be asked to show. Every knob defaults to "none".
struct SimFaults {
  bool noTarget = false;              // nothing answers on the wire: no acks, DPIDR reads 0
  bool neverReady = false;            // the readiness words stay 0
  std::uint32_t readyAfterReads = 0;  // reads of the first readiness word that still show 0
  std::vector<AccessFault> accessFaults;
  FmcFault eraseError;
  FmcFault programError;
  bool fmcNeverDone = false;                    // FMC_CTRL never shows an operation finished
  std::uint8_t engineRefuseStatus = 0;          // non-zero: every download header gets it
  std::optional<std::size_t> engineDropPacket;  // data packet (0-based) left unanswered
};

}  // namespace dravlopro::sim
