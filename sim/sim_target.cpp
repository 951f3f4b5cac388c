#include "sim/sim_target.h"

namespace dravlopro::sim {

bool SimTarget::HandleRequest(const Report& request, Report& answer) {
  const std::uint8_t command = request[1];
  if (SimEngine::Knows(command)) return engine.Handle(request, answer, chip);
  if (SimDap::Knows(command)) return dap.Handle(request, answer, chip);
  answer.fill(0);
  answer[1] = 0xFF;  // DAP_Invalid
  return true;
}

bool SimTarget::Configure(const SimConfig& config) {
  if (!chip.Configure(config)) return false;
  dap = SimDap{};
  engine = SimEngine{};
  return true;
}

}  // namespace dravlopro::sim
