#include <cstdio>
#include <memory>

#include "base/clock.h"
#include "cli/driver.h"
#include "cli/results.h"
#include "platform/platform.h"
#include "platform/trace_file.h"
#include "trace/session.h"

namespace {

int RunTool(int argc, char** argv) {
  using namespace dravlopro;
  std::unique_ptr<HidBackend> hid = platform::MakeHidBackend();
  std::unique_ptr<SettingsStore> settings = platform::MakeSettingsStore();
  SystemClock clock;
  const std::vector<std::wstring> arguments = platform::CommandLineArguments(argc, argv);
  trace::Session recording(platform::TraceFileName(), arguments, kVersionText);
  if (!recording.openProblem().empty())
    std::fprintf(stderr, "dravlopro: %s\n", recording.openProblem().c_str());
  Environment environment{recording.Wrap(*hid), clock, recording.Wrap(*settings),
                          recording.Wrap(platform::StandardOutput()), platform::StandardError()};
  environment.progress = platform::ProgressTerminal();
  const int result = RunDriver(arguments, environment, recording.observer());
  recording.End(result);
  if (recording.failedLater())
    std::fprintf(stderr, "dravlopro: the trace file could not be written to its end\n");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  dravlopro::platform::PrepareStandardStreams();
  return RunTool(argc, argv);
}
