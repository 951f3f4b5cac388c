// scripts/gang driving real dravlopro-sim processes on a bench of several
// adapters, as a production line would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/result_lines.h"
#include "tests/shell_run.h"

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

const std::string kHex = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";

std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A bench folder with a settings folder of its own in `home`, and the
// programs run on it.
class GangBench {
 public:
  GangBench(fs::path home, const std::string& list) : home_(std::move(home)) {
    fs::create_directories(bench());
    std::ofstream(bench() / "bench.txt", std::ios::binary) << list;
  }
  fs::path bench() const { return home_ / "bench"; }
  fs::path logs() const { return home_ / "logs"; }

  // Runs a program with its words; standard output and error kept apart.
  Outcome Run(const std::vector<std::string>& words) const {
    std::string command = "env XDG_CONFIG_HOME=" + Quoted(home_.string()) +
                          " DRAVLOPRO_SIM_DIR=" + Quoted(bench().string());
    for (const std::string& w : words) command += " " + Quoted(w);
    const fs::path err = home_ / "stderr.txt";
    command += " </dev/null 2>" + Quoted(err.string());
    const ShellOutcome run = RunShell(command);
    return {run.status, run.out, ScratchDir::Read(err)};
  }

  Outcome Gang(const std::vector<std::string>& command) const {
    std::vector<std::string> words{"bash",   DRAVLOPRO_SOURCE_DIR "/scripts/gang",
                                   "--tool", DRAVLOPRO_SIM_BINARY,
                                   "--logs", logs().string(),
                                   "--"};
    words.insert(words.end(), command.begin(), command.end());
    return Run(words);
  }

  Outcome Sim(const std::vector<std::string>& command) const {
    std::vector<std::string> words{DRAVLOPRO_SIM_BINARY};
    words.insert(words.end(), command.begin(), command.end());
    return Run(words);
  }

  std::string Log(const std::string& serial) const {
    return ScratchDir::Read(logs() / (serial + ".log"));
  }

 private:
  fs::path home_;
};

std::string Selection(const std::string& serial) {
  return "This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n";
}

std::string Summary(const std::string& serial, const std::string& code,
                    const std::string& resultLine) {
  // The result line without its line end.
  return serial + ": " + code + " " + resultLine.substr(0, resultLine.size() - 1) + "\n";
}

TEST(GangScript, ProgramsAndVerifiesEveryAdapterOfTheBenchAtOnce) {
  const ScratchDir scratch;
  const GangBench gang(
      scratch.path(),
      "dravlopro-sim bench 1\n"
      "adapter GANG1 2.0.0\nadapter GANG2 2.0.0\nadapter GANG3 2.0.0\nadapter GANG4 2.0.0\n");
  const Outcome o = gang.Gang({"-a", kHex, "-v", kHex});
  EXPECT_EQ(o.status, 0) << o.err;
  std::string summary;
  for (const char* serial : {"GANG1", "GANG2", "GANG3", "GANG4"}) {
    summary += Summary(serial, "0", kSuccess);
    // Each run's output whole in its own log.
    EXPECT_EQ(gang.Log(serial), Selection(serial) + kSuccess) << serial;
  }
  EXPECT_EQ(o.out, summary);
  EXPECT_EQ(o.err, "");

  // Every target holds the image now.
  for (const char* serial : {"GANG1", "GANG2", "GANG3", "GANG4"}) {
    const Outcome check = gang.Sim({"-sn", serial, "-v", kHex});
    EXPECT_EQ(check.status, 0) << serial;
    EXPECT_EQ(check.out, Selection(serial) + kSuccess);
  }
}

TEST(GangScript, AFailingAdapterShowsItsCodeAndFailsTheGangWhileTheOthersLand) {
  // GANG3's target is locked, and one adapter has no serial number.
  const ScratchDir scratch;
  const GangBench gang(scratch.path(),
                       "dravlopro-sim bench 1\n"
                       "adapter GANG1 2.0.0\nadapter GANG2 2.0.0\nadapter - 2.0.0\n"
                       "adapter GANG3 2.0.0 locked\nadapter GANG4 2.0.0\n");
  const Outcome o = gang.Gang({"-rob", "-a", kHex, "-v", kHex});
  EXPECT_EQ(o.status, 1);
  const std::string options =
      "CP0=0, CP1=0, PP0=0x00000000, PP1=0x00000000, PP2=0x00000000, PP3=0x00000000\n";
  EXPECT_EQ(o.out, Summary("GANG1", "0", kSuccess) + Summary("GANG2", "0", kSuccess) +
                       Summary("GANG3", "14", kLocked) + Summary("GANG4", "0", kSuccess));
  EXPECT_EQ(gang.Log("GANG3"), Selection("GANG3") + "Process: -sn >> -rob (Fail)\n" + kLocked);
  EXPECT_EQ(gang.Log("GANG4"), Selection("GANG4") + options + kSuccess);
  EXPECT_NE(o.err.find("skipping adapter ID 2: it has no serial number"), std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("1 of 4 adapters failed"), std::string::npos) << o.err;

  for (const char* serial : {"GANG1", "GANG2", "GANG4"}) {
    EXPECT_EQ(gang.Sim({"-sn", serial, "-v", kHex}).status, 0) << serial;
  }
  EXPECT_EQ(gang.Sim({"-sn", "GANG3", "-v", kHex}).status, 14);
}

TEST(GangScript, TakesTurnsWhenToldToAndEndsTwoWhenThereIsNothingToRun) {
  const ScratchDir scratch;
  const GangBench gang(scratch.path() / "two",
                       "dravlopro-sim bench 1\nadapter GANG1 2.0.0\nadapter GANG2 2.0.0\n");
  // One run at a time; the summary keeps the order of the list.
  Outcome o = gang.Run({"bash", DRAVLOPRO_SOURCE_DIR "/scripts/gang", "--jobs", "1", "--tool",
                        DRAVLOPRO_SIM_BINARY, "--logs", gang.logs().string(), "--", "-w32",
                        "0x1000", "0x600D"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, Summary("GANG1", "0", kSuccess) + Summary("GANG2", "0", kSuccess));
  EXPECT_EQ(gang.Sim({"-sn", "GANG2", "-r32", "0x1000", "1"}).out,
            Selection("GANG2") + "0x00001000:  0000600D \n" + kSuccess);

  // No adapter that -sn can choose.
  const GangBench anonymous(scratch.path() / "anonymous",
                            "dravlopro-sim bench 1\nadapter - 2.0.0\n");
  o = anonymous.Gang({"-rob"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("no adapter with a serial number"), std::string::npos) << o.err;

  // -list itself fails: a bench that cannot be read.
  const GangBench broken(scratch.path() / "broken", "not a bench\n");
  o = broken.Gang({"-rob"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("-list' ended with 1"), std::string::npos) << o.err;

  // No command to run.
  o = gang.Gang({});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
}

TEST(GangScript, SerialNumbersOfEveryKindGetLogsOfTheirOwn) {
  // Without care "A*B", second in the list, would be logged as "1-A_B".
  const ScratchDir scratch;
  const GangBench gang(
      scratch.path(),
      "dravlopro-sim bench 1\nadapter X0 2.0.0\nadapter A*B 2.0.0\nadapter 1-A_B 2.0.0\n");
  const Outcome o = gang.Gang({"-w32", "0x20000000", "0x600D"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(gang.Log("1-A_B"), Selection("1-A_B") + kSuccess);
  EXPECT_EQ(gang.Log("1@A_B"), Selection("A*B") + kSuccess);
}

TEST(GangScript, SerialNumbersThatSnCannotChooseAreChosenByIdWithAWarning) {
  const ScratchDir scratch;
  const GangBench gang(scratch.path(),
                       "dravlopro-sim bench 1\nadapter low1 2.0.0\nadapter -X 2.0.0\n");
  const Outcome o = gang.Gang({"-w32", "0x20000000", "0x600D"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, Summary("low1", "0", kSuccess) + Summary("-X", "0", kSuccess));
  EXPECT_EQ(gang.Log("0@low1"), "This Dravlo Pro/Lite Ver:2.0.0, ID=0\n" + std::string(kSuccess));
  EXPECT_EQ(gang.Log("-X"), "This Dravlo Pro/Lite Ver:2.0.0, ID=1\n" + std::string(kSuccess));
  EXPECT_NE(o.err.find("IDs move when adapters are plugged in or out"), std::string::npos) << o.err;
}

TEST(GangScript, ASignalStopsEveryRunWaitsForThemAndNamesThoseCutShort) {
  const ScratchDir scratch;
  const GangBench gang(scratch.path(),
                       "dravlopro-sim bench 1\nadapter GANG1 2.0.0\nadapter GANG2 2.0.0\n");
  // Each run holds its adapter and waits for a reader of the FIFO that never
  // comes.
  const fs::path fifo = scratch.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path out = scratch.path() / "out.txt";
  const fs::path err = scratch.path() / "err.txt";
  const pid_t script = ::fork();
  if (script == 0) {
    ::setenv("DRAVLOPRO_SIM_DIR", gang.bench().c_str(), 1);
    ::freopen(out.c_str(), "w", stdout);
    ::freopen(err.c_str(), "w", stderr);
    ::execlp("bash", "bash", DRAVLOPRO_SOURCE_DIR "/scripts/gang", "--tool", DRAVLOPRO_SIM_BINARY,
             "--logs", gang.logs().c_str(), "--", "-dump", "0x0", "1", fifo.c_str(), nullptr);
    ::_exit(127);
  }
  for (int tries = 0; tries < 1000; ++tries) {
    if (fs::exists(gang.logs() / "GANG1.log") && fs::exists(gang.logs() / "GANG2.log")) break;
    ::usleep(10000);
  }
  ::kill(script, SIGTERM);
  int status = 0;
  ::waitpid(script, &status, 0);
  // Nothing holds the adapters any longer.
  int free = 0;
  for (const char* serial : {"GANG1", "GANG2"}) {
    const Outcome after =
        gang.Run({"timeout", "5", DRAVLOPRO_SIM_BINARY, "-q", "-sn", serial, "-r32", "0x0", "1"});
    if (after.status == 0) ++free;
  }
  // Whatever is left of the runs goes now (a reader lets them fail).
  ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));

  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_EQ(free, 2);
  EXPECT_NE(ScratchDir::Read(err).find("2 runs cut short: GANG1 GANG2"), std::string::npos)
      << ScratchDir::Read(err);
}

}  // namespace
}  // namespace dravlopro
