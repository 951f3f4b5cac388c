#pragma once

#include <cstdint>
#include <memory>

namespace dravlopro::sim {

class SimChip;

// The engine that executes the simulated core's Thumb code: Unicorn where the
// bench was built with it, nothing elsewhere (the core then keeps its debug
// registers but never executes an instruction).
//
// The chip's registers and memory stay the one true state: the engine takes
// the registers before each run and gives them back after it, and reads and
// writes the chip's memory in place. A copy of a SimCpu starts without an
// engine; one is made again at the next run.
class SimCpu {
 public:
  SimCpu();
  ~SimCpu();
  SimCpu(const SimCpu&);
  SimCpu& operator=(const SimCpu&);

  // True where the bench executes code; otherwise why not.
  static bool Executes();
  static const char* WhyNot();

  // Runs the chip's core for at most `instructions` instructions (one when
  // stepping), stopping sooner at a debug event, a reset request, a sleep or
  // lockup. Returns the instructions executed.
  std::uint64_t Run(SimChip& chip, std::uint64_t instructions);

 private:
  struct Engine;
  std::unique_ptr<Engine> engine_;
};

}  // namespace dravlopro::sim
