#pragma once

#include <cstdint>
#include <vector>

#include "protocol/report.h"
#include "sim/sim_chip.h"

namespace dravlopro::sim {

// One register access on the wire, as the debug port saw it.
struct SwdAccess {
  bool accessPort = false;
  bool read = false;
  std::uint8_t address = 0;  // A[3:2] as 0x0, 0x4, 0x8 or 0xC
  std::uint32_t value = 0;   // written, or read back
  std::uint8_t ack = 0;
};

// The adapter's CMSIS-DAP engine for the serial-wire port together with the
// target's serial-wire debug port and its memory access port 0.
class SimDap {
 public:
  // Link state of the target's debug port.
  enum class Link {
    kDown,       // after power-up or DAP_Connect: no serial-wire protocol yet
    kSwitched,   // the JTAG-to-SWD sequence came after a line reset
    kLineReset,  // in serial-wire mode after a line reset: only a DPIDR read is accepted
    kActive,     // DPIDR has been read: every access is accepted
  };

  // True when this layer knows the command (else the caller answers DAP_Invalid).
  static bool Knows(std::uint8_t command);
  // Carries out one CMSIS-DAP command; false when the command is not answered.
  bool Handle(const Report& request, Report& answer, SimChip& chip);

  // Performs one register access as the adapter would (WAIT retries
  // included) and returns the ack. Reads fill value.
  std::uint8_t Access(bool accessPort, bool read, std::uint8_t address, std::uint32_t& value,
                      SimChip& chip);

  // --- Adapter side.
  bool portConnected = false;  // DAP_Connect selected the serial-wire port
  std::uint32_t clockHz = 1000000;
  std::uint8_t idleCycles = 0;
  std::uint16_t waitRetries = 100;
  std::uint16_t matchRetries = 0;
  std::uint32_t matchMask = 0xFFFFFFFF;
  std::uint8_t swdConfig = 0;
  std::uint8_t pinOutputs = 0xFF;        // last levels driven by DAP_SWJ_Pins
  bool nResetHigh = true;                // nRESET level (pin bit 7)
  std::vector<bool> nResetHistory;       // every level driven on nRESET, in order (true = high)
  std::vector<std::uint8_t> commandLog;  // command byte of every request handled here
  std::vector<SwdAccess> accessLog;      // every register access that reached the wire
  std::uint32_t waitsSeen = 0;           // WAIT acks the adapter retried or gave up on

  // --- Target debug port.
  Link link = Link::kDown;
  std::uint32_t ctrlStat = 0;  // written request bits
  std::uint32_t sticky = 0;    // sticky error flags
  std::uint32_t select = 0;
  std::uint32_t rdbuff = 0;

  // --- Memory access port 0.
  std::uint32_t csw = ap::kCswReset;
  std::uint32_t tar = 0;

 private:
  void Connect(const Report& request, Report& answer);
  void SwjSequence(const Report& request);
  void SwjPins(const Report& request, Report& answer, SimChip& chip);
  // DAP_Transfer: its reads (with value match) and writes, one transfer at
  // a time through the cursor; each gives its acknowledge.
  struct TransferCursor {
    const Report& request;
    Report& answer;
    std::size_t in = 4;   // next request byte
    std::size_t out = 4;  // next answer data byte
  };
  void Transfer(const Report& request, Report& answer, SimChip& chip);
  std::uint8_t TransferRead(std::uint8_t req, TransferCursor& cursor, SimChip& chip);
  std::uint8_t ReadMatching(bool accessPort, std::uint8_t address, std::uint32_t expected,
                            SimChip& chip);
  std::uint8_t TransferWrite(std::uint8_t req, TransferCursor& cursor, SimChip& chip);
  void TransferBlock(const Report& request, Report& answer, SimChip& chip);
  void WriteAbort(std::uint32_t value);
  void SequenceBit(bool one);

  std::uint8_t AccessOnce(bool accessPort, bool read, std::uint8_t address, std::uint32_t& value,
                          SimChip& chip);
  std::uint8_t DpAccess(bool read, std::uint8_t address, std::uint32_t& value, SimChip& chip);
  std::uint8_t ApAccess(bool read, std::uint32_t reg, std::uint32_t& value, SimChip& chip);
  std::uint8_t DataAccess(bool read, std::uint32_t address, std::uint32_t& value, SimChip& chip,
                          bool autoIncrement);
  std::uint8_t InjectedAck(std::uint32_t address, bool tarWrite, bool read, SimChip& chip);

  // Serial-wire sequence decoder.
  std::uint32_t onesRun_ = 0;
  bool collecting_ = false;
  std::uint32_t collected_ = 0;
  std::uint32_t collectedBits_ = 0;
  std::uint32_t timestamp_ = 0;
};

}  // namespace dravlopro::sim
