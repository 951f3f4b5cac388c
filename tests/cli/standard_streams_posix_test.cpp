// The built programs started with a closed standard output, or one whose
// reader is already gone, as shells and pipelines start them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace dravlopro::testing {
namespace {

class StandardStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::path(::testing::TempDir()) /
              ("streams-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Runs dravlopro-sim on this test's bench with standard output set up by
  // `prepare` in the child; returns the wait status.
  template <typename Prepare>
  int RunWithStdout(const std::vector<std::string>& words, Prepare prepare) {
    const std::string bench = (folder_ / "bench").string();
    const std::string trace = (folder_ / "trace.txt").string();
    const pid_t child = fork();
    if (child == 0) {
      prepare();
      setenv("DRAVLOPRO_SIM_DIR", bench.c_str(), 1);
      setenv("DRAVLOPRO_TRACE", trace.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(DRAVLOPRO_SIM_BINARY)};
      for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
      argv.push_back(nullptr);
      execv(DRAVLOPRO_SIM_BINARY, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  }
  std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string SramWord() {
    ProcessRun run;
    run.program = DRAVLOPRO_SIM_BINARY;
    run.arguments = {"-r32", "0x20000000", "1"};
    run.set = {{"DRAVLOPRO_SIM_DIR", (folder_ / "bench").string()}};
    run.unset = {"DRAVLOPRO_TRACE"};
    const ProcessOutcome read = RunProcess(run);
    return read.out;
  }

  std::filesystem::path folder_;
};

TEST_F(StandardStreams, ClosedOutputNeverLandsInAFileTheRunOpens) {
  const int status = RunWithStdout({"-r32", "0x0", "1"}, [] { close(STDOUT_FILENO); });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The console text shows in the trace only as a recorded event.
  const std::string trace = Read(folder_ / "trace.txt");
  const std::string recorded = "\"text\":\"Result: Operation success.";
  EXPECT_EQ(trace.find("Result: Operation success."), trace.find(recorded) + 8);
  EXPECT_EQ(trace.find("Result: Operation success.", trace.find(recorded) + 9), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "bench")) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(Read(entry.path()).find("Result: Operation success."), std::string::npos)
        << entry.path();
  }
}

TEST_F(StandardStreams, ReaderGoneLetsTheRemainingCommandsRun) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);  // nobody reads: every write to the pipe fails
  const int status = RunWithStdout({"-r32", "0x0", "1", "-w32", "0x20000000", "0x12345678"},
                                   [&] { dup2(ends[1], STDOUT_FILENO); });
  close(ends[1]);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(SramWord().find("12345678"), std::string::npos);
}

}  // namespace
}  // namespace dravlopro::testing
