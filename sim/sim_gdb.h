#pragma once

#include <string>
#include <vector>

namespace dravlopro::sim {

// dravlopro-sim --gdb [dravlopro-gdb's options]: the debugger server on the
// simulated bench in ./.dravlopro-sim or $DRAVLOPRO_SIM_DIR. The bench is
// saved when the server stops (Ctrl-C, SIGTERM, or --once after its
// session), so that later runs see what the session did to the target.
int RunSimGdb(const std::vector<std::wstring>& arguments);

}  // namespace dravlopro::sim
