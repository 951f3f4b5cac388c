#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "debug/target.h"

namespace dravlopro {

// A flash load as the debugger sends it: erase these pages, these bytes go
// here, done. Exactly the pages asked for are erased; the bytes are
// programmed at Done and read back. A securely locked target is refused
// before anything is touched.
//
// Main flash is loaded by a small routine that runs on the core from the
// first 4 KB of SRAM (whose contents it overwrites): its code, parameters
// and up to a buffer of words go there in block writes, and the core erases,
// programs and reads back on its own. Where the core cannot run it (not in
// Thumb state), the host drives the flash controller itself, a word per
// request. The option page is always written from the host.
class FlashWriter {
 public:
  enum class Outcome {
    Ok,
    Locked,    // the security lock is on: nothing was changed
    BadRange,  // not whole pages of flash or the option page
    Failed,    // the flash controller failed, or the read-back differs
    LinkLost
  };

  explicit FlashWriter(DebugTarget& target) : target_(target) {}

  Outcome Erase(std::uint32_t address, std::uint32_t length);
  Outcome Write(std::uint32_t address, const std::uint8_t* bytes, std::uint32_t length);
  Outcome Done();

 private:
  using Words = std::map<std::uint32_t, std::uint32_t>;
  Outcome CheckLock();
  Outcome Program(std::uint32_t address, const std::uint32_t* words, std::uint32_t count);
  Outcome ProgramFromHost(const std::set<std::uint32_t>& pages, const Words& words);
  // `borrowed`: the registers besides the pc and xPSR to give back afterwards.
  Outcome ProgramOnCore(const std::set<std::uint32_t>& pages, const Words& words,
                        const std::vector<std::uint32_t>& borrowed);

  DebugTarget& target_;
  bool lockChecked_ = false;
  bool locked_ = false;
  Words words_;                    // by word address, bytes not given erased
  std::set<std::uint32_t> pages_;  // main-flash pages still to erase, by address
};

}  // namespace dravlopro
