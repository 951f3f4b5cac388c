#include <memory>

#include "base/clock.h"
#include "cli/driver.h"
#include "platform/platform.h"

namespace {

int RunTool(int argc, char** argv) {
  using namespace dravlopro;
  std::unique_ptr<HidBackend> hid = platform::MakeHidBackend();
  std::unique_ptr<SettingsStore> settings = platform::MakeSettingsStore();
  SystemClock clock;
  Environment environment{*hid, clock, *settings, platform::StandardOutput()};
  environment.progress = platform::ProgressTerminal();
  return RunDriver(platform::CommandLineArguments(argc, argv), environment);
}

}  // namespace

int main(int argc, char** argv) { return RunTool(argc, argv); }
