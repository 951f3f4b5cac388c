// dravlopro-sim: the tool over a simulated bench instead of real adapters,
// for demonstrations and for testing build scripts without hardware. The
// bench persists in ./.dravlopro-sim, or in the folder $DRAVLOPRO_SIM_DIR.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "adapter/clock.h"
#include "adapter/ini_settings.h"
#include "cli/driver.h"
#include "platform/platform.h"
#include "sim/sim_bench.h"
#include "sim/sim_store.h"

int main(int argc, char** argv) {
  using namespace dravlopro;
  const char* configured = std::getenv("DRAVLOPRO_SIM_DIR");
  const std::filesystem::path folder =
      configured != nullptr && *configured != '\0' ? configured : ".dravlopro-sim";

  sim::SimBench bench;
  if (!std::filesystem::exists(folder / "bench.txt")) {
    sim::MakeDefaultBench(bench);
  } else if (!sim::LoadBench(folder, bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
    return 1;
  }

  // The bench keeps its own settings file, apart from the real tool's.
  IniSettingsStore settings(folder);
  SystemClock clock;
  const Environment environment{bench, clock, settings, platform::StandardOutput()};
  const int result = RunDriver(platform::CommandLineArguments(argc, argv), environment);

  if (!sim::SaveBench(folder, bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot save the simulated bench in %s\n",
                 folder.string().c_str());
  }
  return result;
}
