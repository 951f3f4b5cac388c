// dravlopro-sim: the tool over a simulated bench instead of real adapters,
// for demonstrations and for testing build scripts without hardware. The
// bench persists in ./.dravlopro-sim, or in the folder $DRAVLOPRO_SIM_DIR,
// and is shared safely by runs that go on at the same time.
//
// dravlopro-sim --replay FILE [--run N] COMMANDS... runs the commands against
// a recorded field trace instead (see "Field traces" in the README).
//
// $DRAVLOPRO_SIM_ANSWER_MS, a whole number of milliseconds, makes every
// answer reach the tool that long after its request, as over a slow link:
// 1 is about what a full-speed USB adapter costs per report. The tool's
// read timeouts apply as they do on hardware.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/text.h"
#include "cli/driver.h"
#include "cli/results.h"
#include "platform/platform.h"
#include "platform/trace_file.h"
#include "settings/ini_settings.h"
#include "sim/bench_clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_file_locks.h"
#include "sim/sim_gdb.h"
#include "sim/sim_keeper.h"
#include "sim/sim_store.h"
#include "sim/slow_link.h"
#include "trace/replay.h"
#include "trace/session.h"

namespace {

using namespace dravlopro;
using sim::FileLocks;

// The result codes of a replay, outside the tool's own table.
constexpr int kReplayDiverged = 90;
constexpr int kReplayUnreadable = 91;
// A run that did its work but could not save the bench, which then does not
// hold that work.
constexpr int kBenchNotSaved = 92;

// A run with "-q" anywhere on its line is quiet, as the tool decides.
bool QuietRun(const std::vector<std::wstring>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (ToLower(arguments[i]) == L"-q") return true;
  }
  return false;
}

// The words of a command line as a shell takes them back.
std::string ShellLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    const bool plain =
        !word.empty() && word.find_first_of(" \t'\"\\$`*?;&|<>()") == std::string::npos;
    std::string quoted = plain ? word : "'";
    if (!plain) {
      for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      quoted += "'";
    }
    line += (line.empty() ? "" : " ") + quoted;
  }
  return line;
}

void ReportDivergence(const trace::Divergence& d, const trace::Replay& replay) {
  std::string where =
      d.command.empty() ? "before the first command" : "in command " + Narrow(d.command);
  if (!d.request.empty()) where += ", " + d.request + " request";
  std::fprintf(stderr, "dravlopro-sim: the run leaves the trace at exchange %lld (%s)\n",
               static_cast<long long>(d.exchange), where.c_str());
  std::fprintf(stderr, "dravlopro-sim:   trace: %s\n", d.expected.c_str());
  std::fprintf(stderr, "dravlopro-sim:   run:   %s\n", d.actual.c_str());
  if (d.firstDifference >= 0) {
    std::fprintf(stderr, "dravlopro-sim:   first difference at byte %ld\n", d.firstDifference);
  }
  // Off at once: most likely another command line than the recorded one.
  if (d.exchange == 0 && replay.recordedArgv().size() > 1) {
    const std::vector<std::string> words(replay.recordedArgv().begin() + 1,
                                         replay.recordedArgv().end());
    std::fprintf(stderr, "dravlopro-sim:   the trace was recorded with: %s\n",
                 ShellLine(words).c_str());
  }
}

// Runs the command line against a recorded trace: the recorded result when
// every request matches, 90 at the first that does not, 91 when the trace
// cannot be read.
int Replay(std::vector<std::wstring> arguments) {
  const std::filesystem::path file(arguments.at(2));
  int run = 1;
  std::size_t used = 2;
  if (arguments.size() >= 4 && arguments[3] == L"--run") {
    // Digits only, as a whole number that fits: "1x", an overflow or no
    // number at all is no run.
    const std::string text = arguments.size() >= 5 ? Narrow(arguments[4]) : std::string();
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), run);
    if (text.empty() || error != std::errc() || stop != text.data() + text.size()) run = 0;
    used = std::min<std::size_t>(4, arguments.size() - 1);
  }
  arguments.erase(arguments.begin() + 1, arguments.begin() + 1 + static_cast<long>(used));

  trace::Replay replay;
  std::string problem;
  if (run < 1 || !replay.Load(file, run, problem)) {
    if (problem.empty()) problem = "--run takes a run number from 1";
    std::fprintf(stderr, "dravlopro-sim: %s\n", problem.c_str());
    return kReplayUnreadable;
  }
  replay.onDivergence = [&replay](const trace::Divergence& d) {
    std::fflush(stdout);
    ReportDivergence(d, replay);
    std::exit(kReplayDiverged);
  };

  SystemClock clock;
  trace::Session recording(platform::TraceFileName(), arguments, kVersionText);
  if (!recording.openProblem().empty()) {
    std::fprintf(stderr, "dravlopro-sim: %s\n", recording.openProblem().c_str());
  }
  const Environment environment{
      recording.Wrap(replay.hid()), clock, recording.Wrap(replay.settings()),
      recording.Wrap(platform::StandardOutput()), platform::StandardError()};
  const int result = RunDriver(arguments, environment, &replay);
  recording.End(result);
  trace::Divergence divergence;
  if (!replay.Finished(divergence)) {
    ReportDivergence(divergence, replay);
    return kReplayDiverged;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  platform::PrepareStandardStreams();
  std::vector<std::wstring> arguments = platform::CommandLineArguments(argc, argv);
  if (arguments.size() >= 3 && arguments[1] == L"--replay") return Replay(arguments);
  if (arguments.size() >= 2 && arguments[1] == L"--gdb") return sim::RunSimGdb(arguments);

  const char* configured = std::getenv("DRAVLOPRO_SIM_DIR");
  const std::filesystem::path folder =
      configured != nullptr && *configured != '\0' ? configured : ".dravlopro-sim";

  const std::optional<std::uint32_t> answerMs = sim::AnswerDelayMs();
  if (!answerMs) {
    std::fprintf(stderr,
                 "dravlopro-sim: DRAVLOPRO_SIM_ANSWER_MS must be a whole number of "
                 "milliseconds, at most 60000\n");
    return 1;
  }

  SystemClock clock;
  FileLocks locks;
  sim::BenchFolder store(folder, locks, clock);
  sim::SimBench bench;
  if (!store.Open(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s: %s\n",
                 folder.string().c_str(), store.problem().c_str());
    return 1;
  }
  if (store.created() && !QuietRun(arguments)) {
    std::error_code ignored;
    std::fprintf(stderr,
                 "dravlopro-sim: a new simulated bench in %s: one adapter, SIM00001, with an "
                 "erased target\n",
                 std::filesystem::absolute(folder, ignored).string().c_str());
  }

  // The bench keeps its own settings file, apart from the real tool's.
  IniSettingsStore settings(folder);
  sim::BenchClock benchClock(bench);
  sim::SlowLink slowLink(bench, benchClock, *answerMs);
  HidBackend& hid = *answerMs == 0 ? static_cast<HidBackend&>(bench) : slowLink;
  trace::Session recording(platform::TraceFileName(), arguments, kVersionText);
  if (!recording.openProblem().empty()) {
    std::fprintf(stderr, "dravlopro-sim: %s\n", recording.openProblem().c_str());
  }
  Environment environment{recording.Wrap(hid), benchClock, recording.Wrap(settings),
                          recording.Wrap(platform::StandardOutput()), platform::StandardError()};
  environment.progress = platform::ProgressTerminal();
  sim::BenchKeeper keeper(store, bench, recording.observer());
  int result = RunDriver(arguments, environment, &keeper);
  recording.End(result);
  if (recording.failedLater()) {
    std::fprintf(stderr, "dravlopro-sim: the trace file could not be written to its end\n");
  }

  if (store.damaged()) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
  }
  if (!store.Save(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot save the simulated bench in %s\n",
                 folder.string().c_str());
    if (result == 0) result = kBenchNotSaved;
  }
  return result;
}
