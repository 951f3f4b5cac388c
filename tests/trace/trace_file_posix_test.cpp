// A trace file that is a FIFO: the run never waits for its reader.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/shell_run.h"

namespace dravlopro::testing {
namespace {

class TraceFifo : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::path(::testing::TempDir()) / ("trace-fifo-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ASSERT_EQ(mkfifo(fifo().c_str(), 0600), 0);
    // The bench is made first, so that its first-run note stays out.
    ASSERT_EQ(RunShell(Environment() + DRAVLOPRO_SIM_BINARY " -list >/dev/null 2>&1").status, 0);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path fifo() const { return folder_ / "trace.fifo"; }

  // Runs the simulated tool with the FIFO as its trace, bounded in time so
  // that a run that waits fails instead of hanging; `before` is shell text
  // run first in the same shell. Standard error is what is collected.
  ShellOutcome Run(const std::string& before, const std::string& commands) const {
    return RunShell(before + Environment() + "DRAVLOPRO_TRACE='" + fifo().string() +
                    "' timeout 20 " DRAVLOPRO_SIM_BINARY " " + commands + " 2>&1 >/dev/null");
  }

  std::string Environment() const {
    const std::string f = folder_.string();
    return "XDG_CONFIG_HOME='" + f + "' DRAVLOPRO_SIM_DIR='" + f + "/bench' ";
  }

  std::filesystem::path folder_;
};

TEST_F(TraceFifo, WithoutAReaderTheRunGoesOnWithoutATrace) {
  const ShellOutcome o = Run("", "-rob");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("dravlopro-sim: cannot write the trace file " + fifo().string(), 0), 0u)
      << o.out;
  EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << "one line: " << o.out;
}

TEST_F(TraceFifo, AReaderThatTakesNothingEndsTheTraceNotTheRun) {
  // The shell holds the FIFO open for reading and never reads; the trace of
  // a long read is more than the pipe holds.
  const ShellOutcome o = Run("exec 3<>'" + fifo().string() + "'; ", "-r32 0x0 8000");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "dravlopro-sim: the trace file could not be written to its end\n");
}

}  // namespace
}  // namespace dravlopro::testing
