#pragma once

#include <cstdint>
#include <map>

#include "debug/target.h"

namespace dravlopro {

// A flash load as the debugger sends it: erase these pages, these bytes go
// here, done. Exactly the pages asked for are erased; the bytes are
// programmed at Done and read back. A securely locked target is refused
// before anything is touched.
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
  Outcome CheckLock();
  Outcome Program(std::uint32_t address, const std::uint32_t* words, std::uint32_t count);

  DebugTarget& target_;
  bool lockChecked_ = false;
  bool locked_ = false;
  std::map<std::uint32_t, std::uint32_t> words_;  // by word address, bytes not given erased
};

}  // namespace dravlopro
