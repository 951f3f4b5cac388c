#pragma once

#include <filesystem>

#include "sim/sim_bench.h"

namespace dravlopro::sim {

// Keeps a simulated bench (its adapters and their targets) in a folder
// between runs: bench.txt lists the adapters, target-N.bin holds the lasting
// state of adapter N's target.
bool LoadBench(const std::filesystem::path& folder, SimBench& bench);
bool SaveBench(const std::filesystem::path& folder, SimBench& bench);

// A bench as a first run finds it: one adapter with an erased target.
void MakeDefaultBench(SimBench& bench);

}  // namespace dravlopro::sim
