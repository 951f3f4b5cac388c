#pragma once

#include <filesystem>
#include <string>

#include "protocol/report.h"
#include "sim/sim_chip.h"
#include "sim/sim_config.h"
#include "sim/sim_dap.h"
#include "sim/sim_engine.h"

namespace dravlopro::sim {

// The microcontroller behind a simulated adapter, together with the adapter's
// CMSIS-DAP engine and programming engine that drive it.
//
//   chip   - the microcontroller: memory, flash controller, core, fault knobs
//   dap    - the adapter's serial-wire engine and the target's debug port
//   engine - the adapter's programming engine (commands 0x80 and 0x81)
class SimTarget {
 public:
  SimTarget() = default;
  explicit SimTarget(const SimConfig& config) : chip(config) {}

  // Answers one request (any command but DAP_Info and DAP_HostStatus, which
  // the adapter answers itself). False when no answer is sent at all.
  bool HandleRequest(const Report& request, Report& answer);

  // A fresh chip of another kind (erased, link down). The fault knobs stay.
  bool Configure(const SimConfig& config);
  const SimConfig& config() const { return chip.config(); }
  SimFaults& faults() { return chip.faults; }

  // The lasting state of the bench: configuration, flash, option page, SRAM
  // and the fault knobs. False when the file cannot be written or read, or
  // does not hold a saved target; a failed Load leaves the target unchanged.
  bool Save(const std::filesystem::path& file) const;
  bool Load(const std::filesystem::path& file);
  // The same from the bytes of a saved file.
  bool LoadSaved(const std::string& bytes);
  // The bytes Save() writes.
  std::string Saved() const;

  SimChip chip;
  SimDap dap;
  SimEngine engine;
};

}  // namespace dravlopro::sim
