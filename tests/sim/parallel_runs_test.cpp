// Several dravlopro-sim processes on one bench folder at the same time, as
// gang-programming scripts run them.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness.h"
#include "tests/result_lines.h"
#include "tests/support/process.h"

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Starts every command line at once, each on a thread of its own, then
// waits for them all.
std::vector<ProcessOutcome> RunTogether(const fs::path& home,
                                        const std::vector<std::vector<std::string>>& commandLines) {
  std::vector<ProcessOutcome> finished(commandLines.size());
  std::vector<std::thread> running;
  for (std::size_t i = 0; i < commandLines.size(); ++i) {
    ProcessRun run;
    run.program = DRAVLOPRO_SIM_BINARY;
    run.arguments = commandLines[i];
    run.set = {{"XDG_CONFIG_HOME", home.string()},
               {"DRAVLOPRO_SIM_DIR", (home / "bench").string()}};
    running.emplace_back([run, &outcome = finished[i]] { outcome = RunProcess(run); });
  }
  for (std::thread& thread : running) thread.join();
  return finished;
}

ProcessOutcome RunAlone(const fs::path& home, const std::vector<std::string>& arguments) {
  return RunTogether(home, {arguments}).front();
}

std::string Word(std::uint32_t address, std::uint32_t value) {
  char line[40];
  std::snprintf(line, sizeof line, "0x%08X:  %08X \n", address, value);
  return line;
}

constexpr int kAdapters = 6;
constexpr int kRounds = 3;

TEST(ParallelRuns, EveryRunOfAGangOnItsOwnAdapterLands) {
  ScratchDir home;
  const std::string hex = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";
  const fs::path bench = home.path() / "bench";
  // The last flash word tells the adapters apart.
  const std::uint32_t mark = 0xFFFC;
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::remove_all(bench);
    std::string list = "dravlopro-sim bench 1\n";
    for (int i = 1; i <= kAdapters; ++i) list += "adapter GANG" + std::to_string(i) + " 2.0.0\n";
    fs::create_directories(bench);
    home.Write("bench/bench.txt", list);

    std::vector<std::vector<std::string>> gang;
    for (int i = 1; i <= kAdapters; ++i) {
      gang.push_back({"-sn", "GANG" + std::to_string(i), "-a", hex, "-w32", std::to_string(mark),
                      std::to_string(round * 16 + i)});
    }
    const std::vector<ProcessOutcome> runs = RunTogether(home.path(), gang);
    for (int i = 1; i <= kAdapters; ++i) {
      const std::string serial = "GANG" + std::to_string(i);
      EXPECT_EQ(runs[i - 1].status, 0) << serial;
      EXPECT_EQ(runs[i - 1].out,
                ConsoleBytes("This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n" + kSuccess));
    }
    for (int i = 1; i <= kAdapters; ++i) {
      const std::string serial = "GANG" + std::to_string(i);
      const ProcessOutcome check =
          RunAlone(home.path(), {"-sn", serial, "-v", hex, "-r32", std::to_string(mark), "1"});
      EXPECT_EQ(check.status, 0) << serial;
      EXPECT_EQ(check.out, ConsoleBytes("This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n" +
                                        Word(mark, round * 16 + i) + kSuccess));
    }
  }
}

TEST(ParallelRuns, RunsOnOneAdapterTakeTurnsOnABenchTheyCreateTogether) {
  ScratchDir home;
  // No bench yet: the first run creates it while the others start.
  constexpr std::uint32_t kRuns = 6;
  std::vector<std::vector<std::string>> gang;
  for (std::uint32_t i = 1; i <= kRuns; ++i) {
    gang.push_back({"-w32", std::to_string(0x1000 * i), std::to_string(0xA0000000 + i)});
  }
  const std::vector<ProcessOutcome> runs = RunTogether(home.path(), gang);
  for (const ProcessOutcome& run : runs) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ConsoleBytes(kDefaultSelection + kSuccess));
  }

  std::vector<std::string> readBack;
  std::string expected = kDefaultSelection;
  for (std::uint32_t i = 1; i <= kRuns; ++i) {
    readBack.insert(readBack.end(), {"-r32", std::to_string(0x1000 * i), "1"});
    expected += Word(0x1000 * i, 0xA0000000 + i);
  }
  const ProcessOutcome check = RunAlone(home.path(), readBack);
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, ConsoleBytes(expected + kSuccess));
}

}  // namespace
}  // namespace dravlopro
