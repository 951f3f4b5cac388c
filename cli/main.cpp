#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/clock.h"
#include "cli/driver.h"
#include "cli/trace_session.h"
#include "platform/platform.h"

namespace {

// The file that DRAVLOPRO_TRACE names: the run's field trace goes there.
std::filesystem::path TraceFile() {
#ifdef _WIN32
  const wchar_t* named = _wgetenv(L"DRAVLOPRO_TRACE");
#else
  const char* named = std::getenv("DRAVLOPRO_TRACE");
#endif
  return named != nullptr ? std::filesystem::path(named) : std::filesystem::path();
}

int RunTool(int argc, char** argv) {
  using namespace dravlopro;
  std::unique_ptr<HidBackend> hid = platform::MakeHidBackend();
  std::unique_ptr<SettingsStore> settings = platform::MakeSettingsStore();
  SystemClock clock;
  const std::vector<std::wstring> arguments = platform::CommandLineArguments(argc, argv);
  TraceSession trace(TraceFile(), arguments);
  if (!trace.openProblem().empty())
    std::fprintf(stderr, "dravlopro: %s\n", trace.openProblem().c_str());
  Environment environment{trace.Wrap(*hid), clock, trace.Wrap(*settings),
                          trace.Wrap(platform::StandardOutput()), platform::StandardError()};
  environment.progress = platform::ProgressTerminal();
  const int result = RunDriver(arguments, environment, trace.observer());
  trace.End(result);
  if (trace.failedLater())
    std::fprintf(stderr, "dravlopro: the trace file could not be written to its end\n");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  dravlopro::platform::PrepareStandardStreams();
  return RunTool(argc, argv);
}
