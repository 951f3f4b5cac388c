// The simulated core where the bench was built without an execution engine:
// it keeps its debug registers, halts and resets, but executes nothing.

#include "sim/sim_chip.h"

namespace dravlopro::sim {

struct SimCpu::Engine {};

SimCpu::SimCpu() = default;
SimCpu::~SimCpu() = default;
SimCpu::SimCpu(const SimCpu&) {}
SimCpu& SimCpu::operator=(const SimCpu&) { return *this; }

bool SimCpu::Executes() { return false; }
const char* SimCpu::WhyNot() {
  return "this build of the simulated bench has no execution engine (Unicorn)";
}

std::uint64_t SimCpu::Run(SimChip&, std::uint64_t) { return 0; }

}  // namespace dravlopro::sim
