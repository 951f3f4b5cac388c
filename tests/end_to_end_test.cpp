// Runs the built programs as a user or a build script would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/harness.h"
#include "tests/result_lines.h"
#include "tests/shell_run.h"

namespace dravlopro {
namespace {

using namespace testing;

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a command line through the shell with a private configuration folder;
// the outcome holds standard output, or with these redirections standard
// error.
constexpr const char* kStandardOutput = " 2>/dev/null";
constexpr const char* kStandardError = " 2>&1 >/dev/null";
Outcome RunProgram(const std::string& program, const std::string& arguments,
                   const std::filesystem::path& home, const char* streams = kStandardOutput) {
  const std::string command = "env XDG_CONFIG_HOME='" + home.string() + "' DRAVLOPRO_SIM_DIR='" +
                              (home / "bench").string() + "' '" + program + "' " + arguments +
                              streams;
  const ShellOutcome run = RunShell(command);
  return {run.status, run.out};
}

std::string Golden(const char* name) {
  return ScratchDir::Read(std::string(DRAVLOPRO_SOURCE_DIR) + "/tests/golden/" + name);
}

TEST(EndToEnd, UsageTextAndExitStatusesOfTheTool) {
  ScratchDir home;
  Outcome o = RunProgram(DRAVLOPRO_BINARY, "", home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, Golden("usage.txt") + kSuccess);

  o = RunProgram(DRAVLOPRO_BINARY, "-id 1 -sn 123", home.path());
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, kInvalid);

  o = RunProgram(DRAVLOPRO_BINARY, "-me extra", home.path());
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, kNotApplicable);
}

TEST(EndToEnd, HelpAndVersionAnswerWithoutAnAdapter) {
  ScratchDir home;
  for (const char* help : {"--help", "-h"}) {
    const Outcome o = RunProgram(DRAVLOPRO_BINARY, help, home.path());
    EXPECT_EQ(o.status, 0) << help;
    EXPECT_EQ(o.out, Golden("usage.txt") + kSuccess) << help;
  }
  Outcome o = RunProgram(DRAVLOPRO_BINARY, "--version", home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "dravlopro v1.0.1.0\n");
  o = RunProgram(DRAVLOPRO_SIM_BINARY, "--version", home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "dravlopro-sim v1.0.1.0\n");
}

TEST(EndToEnd, WithoutAnAdapterListingEndsWithThirty) {
  ScratchDir home;
  Outcome o = RunProgram(DRAVLOPRO_BINARY, "-q -list", home.path());
  if (o.status != 30) GTEST_SKIP() << "an adapter seems to be attached to this machine";
  EXPECT_EQ(o.out, "");
  o = RunProgram(DRAVLOPRO_BINARY, "-list", home.path());
  EXPECT_EQ(o.status, 30);
  EXPECT_EQ(o.out, kNoAdapter);
}

// Standard error of a run that found no adapter: nothing, or one line per
// adapter that is attached but cannot be opened.
TEST(EndToEnd, WithoutAnAdapterStandardErrorHoldsOnlyAccessHints) {
  ScratchDir home;
  Outcome o = RunProgram(DRAVLOPRO_BINARY, "-r32 0 1", home.path(), kStandardError);
  if (o.status != 30) GTEST_SKIP() << "an adapter seems to be attached to this machine";
  std::istringstream lines(o.out);
  const std::string tail =
      ": the adapter is attached but cannot be opened; see \"Linux permissions\" in the README";
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("dravlopro: /dev/hidraw", 0), 0u) << line;
    EXPECT_TRUE(line.size() > tail.size() && line.substr(line.size() - tail.size()) == tail)
        << line;
  }
  o = RunProgram(DRAVLOPRO_BINARY, "-q -r32 0 1", home.path(), kStandardError);
  EXPECT_EQ(o.status, 30);
  EXPECT_EQ(o.out, "");
}

TEST(EndToEnd, SimulatedBenchKeepsTheTargetBetweenRuns) {
  ScratchDir home;
  const std::string hex = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";
  const std::string bin = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.bin";
  Outcome o = RunProgram(DRAVLOPRO_SIM_BINARY, "-a '" + hex + "'", home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, kDefaultSelection + kSuccess);

  // A later run finds the programmed flash.
  const std::string expected = ScratchDir::Read(bin);
  const auto dump = home.path() / "dump.bin";
  o = RunProgram(DRAVLOPRO_SIM_BINARY,
                 "-v '" + bin + "' -dump 0 " + std::to_string(expected.size() / 4) + " '" +
                     dump.string() + "'",
                 home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(ScratchDir::Read(dump), expected.substr(0, expected.size() / 4 * 4));

  o = RunProgram(DRAVLOPRO_SIM_BINARY, "-sdev sn=SIM00001", home.path());
  EXPECT_EQ(o.out, "SN: SIM00001 saves in the INI file.\n" + kSuccess);
  o = RunProgram(DRAVLOPRO_SIM_BINARY, "-list", home.path());
  EXPECT_EQ(o.out, "ID:0, SN:SIM00001(*).\r\n" + kSuccess);
}

}  // namespace
}  // namespace dravlopro
