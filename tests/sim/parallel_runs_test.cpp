// Several dravlopro-sim processes on one bench folder at the same time, as
// gang-programming scripts run them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/result_lines.h"

extern char** environ;

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// One dravlopro-sim process, started on the bench folder and left running.
class SimProcess {
 public:
  SimProcess(const fs::path& home, const std::vector<std::string>& arguments,
             const fs::path& output) {
    std::vector<std::string> words{DRAVLOPRO_SIM_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> variables{"XDG_CONFIG_HOME=" + home.string(),
                                       "DRAVLOPRO_SIM_DIR=" + (home / "bench").string()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable(*entry);
      if (variable.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
          variable.rfind("DRAVLOPRO_SIM_DIR=", 0) != 0) {
        variables.push_back(variable);
      }
    }
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  // The exit status; -1 when the process did not start or did not exit.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~SimProcess() { Wait(); }

 private:
  pid_t pid_ = -1;
};

struct Finished {
  int status = -1;
  std::string out;
};

// Starts every command line at once, then waits for them all.
std::vector<Finished> RunTogether(const fs::path& home,
                                  const std::vector<std::vector<std::string>>& commandLines) {
  std::vector<fs::path> outputs;
  std::vector<std::unique_ptr<SimProcess>> running;
  for (std::size_t i = 0; i < commandLines.size(); ++i) {
    outputs.push_back(home / ("out-" + std::to_string(i) + ".txt"));
    running.push_back(std::make_unique<SimProcess>(home, commandLines[i], outputs.back()));
  }
  std::vector<Finished> finished(commandLines.size());
  for (std::size_t i = 0; i < commandLines.size(); ++i) {
    finished[i].status = running[i]->Wait();
    finished[i].out = ScratchDir::Read(outputs[i]);
  }
  return finished;
}

Finished RunAlone(const fs::path& home, const std::vector<std::string>& arguments) {
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
    const std::vector<Finished> runs = RunTogether(home.path(), gang);
    for (int i = 1; i <= kAdapters; ++i) {
      const std::string serial = "GANG" + std::to_string(i);
      EXPECT_EQ(runs[i - 1].status, 0) << serial;
      EXPECT_EQ(runs[i - 1].out, "This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n" + kSuccess);
    }
    for (int i = 1; i <= kAdapters; ++i) {
      const std::string serial = "GANG" + std::to_string(i);
      const Finished check =
          RunAlone(home.path(), {"-sn", serial, "-v", hex, "-r32", std::to_string(mark), "1"});
      EXPECT_EQ(check.status, 0) << serial;
      EXPECT_EQ(check.out, "This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n" +
                               Word(mark, round * 16 + i) + kSuccess);
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
  const std::vector<Finished> runs = RunTogether(home.path(), gang);
  for (const Finished& run : runs) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kDefaultSelection + kSuccess);
  }

  std::vector<std::string> readBack;
  std::string expected = kDefaultSelection;
  for (std::uint32_t i = 1; i <= kRuns; ++i) {
    readBack.insert(readBack.end(), {"-r32", std::to_string(0x1000 * i), "1"});
    expected += Word(0x1000 * i, 0xA0000000 + i);
  }
  const Finished check = RunAlone(home.path(), readBack);
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, expected + kSuccess);
}

}  // namespace
}  // namespace dravlopro
