// Runs the built programs as a user or a build script would.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/text.h"
#include "tests/harness.h"
#include "tests/result_lines.h"
#include "tests/support/process.h"

namespace dravlopro {
namespace {

using namespace testing;

// Runs a program with a private configuration folder (XDG_CONFIG_HOME on
// Linux and macOS, APPDATA on Windows) and bench folder.
ProcessOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::filesystem::path& home) {
  ProcessRun run;
  run.program = program;
  run.arguments = arguments;
  run.set = {{"XDG_CONFIG_HOME", home.string()},
             {"APPDATA", home.string()},
             {"DRAVLOPRO_SIM_DIR", (home / "bench").string()}};
  run.unset = {"DRAVLOPRO_TRACE"};
  return RunProcess(run);
}

std::string Golden(const char* name) {
  return ScratchDir::Read(std::string(DRAVLOPRO_SOURCE_DIR) + "/tests/golden/" + name);
}

TEST(EndToEnd, UsageTextAndExitStatusesOfTheTool) {
  ScratchDir home;
  ProcessOutcome o = RunProgram(DRAVLOPRO_BINARY, {}, home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, ConsoleBytes(Golden("usage.txt") + kSuccess));

  o = RunProgram(DRAVLOPRO_BINARY, {"-id", "1", "-sn", "123"}, home.path());
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, ConsoleBytes(kInvalid));

  o = RunProgram(DRAVLOPRO_BINARY, {"-me", "extra"}, home.path());
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, ConsoleBytes(kNotApplicable));
  EXPECT_EQ(o.err, "");
}

TEST(EndToEnd, HelpAndVersionAnswerWithoutAnAdapter) {
  ScratchDir home;
  for (const char* help : {"--help", "-h"}) {
    const ProcessOutcome o = RunProgram(DRAVLOPRO_BINARY, {help}, home.path());
    EXPECT_EQ(o.status, 0) << help;
    EXPECT_EQ(o.out, ConsoleBytes(Golden("usage.txt") + kSuccess)) << help;
  }
  ProcessOutcome o = RunProgram(DRAVLOPRO_BINARY, {"--version"}, home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, ConsoleBytes("dravlopro v1.0.1.0\n"));
  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"--version"}, home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, ConsoleBytes("dravlopro-sim v1.0.1.0\n"));
}

TEST(EndToEnd, WithoutAnAdapterListingEndsWithThirty) {
  ScratchDir home;
  ProcessOutcome o = RunProgram(DRAVLOPRO_BINARY, {"-q", "-list"}, home.path());
  if (o.status != 30) GTEST_SKIP() << "an adapter seems to be attached to this machine";
  EXPECT_EQ(o.out, "");
  o = RunProgram(DRAVLOPRO_BINARY, {"-list"}, home.path());
  EXPECT_EQ(o.status, 30);
  EXPECT_EQ(o.out, ConsoleBytes(kNoAdapter));
}

// Standard error of a run that found no adapter: nothing, or on Linux one
// line per adapter that is attached but cannot be opened.
TEST(EndToEnd, WithoutAnAdapterStandardErrorHoldsOnlyAccessHints) {
  ScratchDir home;
  ProcessOutcome o = RunProgram(DRAVLOPRO_BINARY, {"-r32", "0", "1"}, home.path());
  if (o.status != 30) GTEST_SKIP() << "an adapter seems to be attached to this machine";
  std::istringstream lines(o.err);
  const std::string tail =
      ": the adapter is attached but cannot be opened; see \"Linux permissions\" in the README";
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("dravlopro: /dev/hidraw", 0), 0u) << line;
    EXPECT_TRUE(line.size() > tail.size() && line.substr(line.size() - tail.size()) == tail)
        << line;
  }
  o = RunProgram(DRAVLOPRO_BINARY, {"-q", "-r32", "0", "1"}, home.path());
  EXPECT_EQ(o.status, 30);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
}

TEST(EndToEnd, SimulatedBenchKeepsTheTargetBetweenRuns) {
  ScratchDir home;
  const std::string hex = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";
  const std::string bin = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.bin";
  ProcessOutcome o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-a", hex}, home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, ConsoleBytes(kDefaultSelection + kSuccess));

  // A later run finds the programmed flash.
  const std::string expected = ScratchDir::Read(bin);
  const auto dump = home.path() / "dump.bin";
  o = RunProgram(DRAVLOPRO_SIM_BINARY,
                 {"-v", bin, "-dump", "0", std::to_string(expected.size() / 4), dump.string()},
                 home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(ScratchDir::Read(dump), expected.substr(0, expected.size() / 4 * 4));

  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-sdev", "sn=SIM00001"}, home.path());
  EXPECT_EQ(o.out, ConsoleBytes("SN: SIM00001 saves in the INI file.\n" + kSuccess));
  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-list"}, home.path());
  EXPECT_EQ(o.out, ConsoleBytes("ID:0, SN:SIM00001(*).\r\n" + kSuccess));
}

// The bench says where it made a new bench, and what in bench.txt it cannot
// use; the tool's own output stays as it is.
TEST(EndToEnd, TheSimulatedBenchSaysWhereItIsAndWhatIsWrong) {
  ScratchDir home;
  const std::string bench = (home.path() / "bench").string();
  ProcessOutcome o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-rst"}, home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, ConsoleBytes(kDefaultSelection + kSuccess));
  EXPECT_EQ(o.err, ConsoleBytes("dravlopro-sim: a new simulated bench in " + bench +
                                ": one adapter, SIM00001, with an erased target\n"));
  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-rst"}, home.path());
  EXPECT_EQ(o.err, "");
  ScratchDir quiet;
  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-rst", "-q"}, quiet.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");

  home.Write("bench/bench.txt",
             "dravlopro-sim bench 1\nadapter S1 2.0.0\nadapter S2 2.0.0 flsh=4096\n");
  o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-rst"}, home.path());
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            ConsoleBytes("dravlopro-sim: cannot read the simulated bench in " + bench +
                         ": bench.txt line 3: \"flsh=4096\" is no target word (flash=, page=, "
                         "sram=, locked, no-target, erase-fails)\n"));
}

// The words of a command line reach the program as they were given: blanks,
// quotes and characters outside ASCII in a file name.
TEST(EndToEnd, FileNamesWithBlanksQuotesAndNonAsciiCharacters) {
  ScratchDir home;
  const std::string bin = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.bin";
  const std::string expected = ScratchDir::Read(bin).substr(0, 64);
  ProcessOutcome o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-a", bin}, home.path());
  ASSERT_EQ(o.status, 0);
  for (const std::string name : {"with blank.bin", "it's here.bin", "\xC3\xA4\x62\x63\xC3\x9F.bin",
                                 "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80.bin"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path dump = home.path() / FilePath(Widen(name));
    const std::u8string utf8 = dump.u8string();
    const std::string typed(utf8.begin(), utf8.end());
    o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-dump", "0", "16", typed}, home.path());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(ScratchDir::Read(dump), expected);
    o = RunProgram(DRAVLOPRO_SIM_BINARY, {"-v", typed}, home.path());
    EXPECT_EQ(o.status, 0);
  }
}

}  // namespace
}  // namespace dravlopro
