// dravlopro-sim: the tool over a simulated bench instead of real adapters,
// for demonstrations and for testing build scripts without hardware. The
// bench persists in ./.dravlopro-sim, or in the folder $DRAVLOPRO_SIM_DIR,
// and is shared safely by runs that go on at the same time.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/clock.h"
#include "settings/ini_settings.h"
#include "cli/driver.h"
#include "platform/file_lock.h"
#include "platform/platform.h"
#include "sim/sim_bench.h"
#include "sim/sim_store.h"

namespace {

using namespace dravlopro;

// The bench folder's locks as lock files that other processes see.
class FileLocks : public sim::FolderLocks {
 public:
  Attempt TryTake(const std::filesystem::path& file, std::unique_ptr<Held>& out) override {
    std::unique_ptr<platform::FileLock> lock;
    switch (platform::FileLock::TryTake(file, lock)) {
      case platform::FileLock::Attempt::Taken:
        out = std::make_unique<HeldFile>(std::move(lock));
        return Attempt::Taken;
      case platform::FileLock::Attempt::Busy:
        return Attempt::Busy;
      case platform::FileLock::Attempt::Failed:
        break;
    }
    return Attempt::Failed;
  }

 private:
  struct HeldFile : Held {
    explicit HeldFile(std::unique_ptr<platform::FileLock> taken) : lock(std::move(taken)) {}
    std::unique_ptr<platform::FileLock> lock;
  };
};

}  // namespace

int main(int argc, char** argv) {
  const char* configured = std::getenv("DRAVLOPRO_SIM_DIR");
  const std::filesystem::path folder =
      configured != nullptr && *configured != '\0' ? configured : ".dravlopro-sim";

  SystemClock clock;
  FileLocks locks;
  sim::BenchFolder store(folder, locks, clock);
  sim::SimBench bench;
  if (!store.Open(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
    return 1;
  }

  // The bench keeps its own settings file, apart from the real tool's.
  IniSettingsStore settings(folder);
  const Environment environment{bench, clock, settings, platform::StandardOutput(),
                                platform::StandardError()};
  const int result = RunDriver(platform::CommandLineArguments(argc, argv), environment);

  if (store.damaged()) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
  }
  if (!store.Save(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot save the simulated bench in %s\n",
                 folder.string().c_str());
  }
  return result;
}
