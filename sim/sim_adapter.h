#pragma once

#include <string>
#include <vector>

#include "protocol/report.h"
#include "sim/sim_target.h"

namespace dravlopro::sim {

// The firmware of one simulated adapter: answers every output report the way
// the real adapter does, and keeps what a test wants to look at afterwards.
class SimAdapter {
 public:
  explicit SimAdapter(std::string versionText = "2.0.0");

  // One output report in, at most one input report out. False when the
  // firmware sends no answer.
  bool Exchange(const Report& request, Report& answer);

  std::string versionText;
  bool ledOn = false;
  std::vector<bool> ledHistory;  // every DAP_HostStatus setting, in order
  SimTarget target;
};

}  // namespace dravlopro::sim
