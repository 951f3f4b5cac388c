// dravlopro-sim keeps what a run did, or says it could not, and survives
// bench files written to exhaust it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/harness.h"
#include "tests/shell_run.h"
#include "tests/support/sanitizer.h"

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string SimLine(const fs::path& bench, const std::string& words) {
  return "DRAVLOPRO_SIM_DIR='" + bench.string() + "' " DRAVLOPRO_SIM_BINARY " " + words +
         " </dev/null 2>/dev/null";
}

TEST(BenchKeepsWork, ARunWhoseBenchCannotBeSavedDoesNotEndZero) {
  const ScratchDir scratch;
  ASSERT_EQ(RunShell(SimLine(scratch.path(), "-list")).status, 0);
  // Files of at most 40 KB: the saved target, larger, cannot be written.
  const ShellOutcome run =
      RunShell("ulimit -f 40; trap '' XFSZ; " + SimLine(scratch.path(), "-w32 0x20000000 0x600D"));
  EXPECT_EQ(run.status, 92);
  EXPECT_EQ(RunShell(SimLine(scratch.path(), "-r32 0x20000000 1")).out.find("0000600D"),
            std::string::npos);
}

TEST(BenchKeepsWork, ARunKilledMidLineKeepsWhatItsEarlierCommandsDid) {
  const ScratchDir scratch;
  scratch.Write("bench.txt", "dravlopro-sim bench 1\nadapter K1 2.0.0 flash=0x40000\n");
  const fs::path fifo = scratch.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A reader that never reads: the dump of 256 KB fills the pipe and waits.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
  const std::string bench = "DRAVLOPRO_SIM_DIR=" + scratch.path().string();
  const pid_t child = ::fork();
  if (child == 0) {
    ::putenv(const_cast<char*>(bench.c_str()));
    ::execl(DRAVLOPRO_SIM_BINARY, DRAVLOPRO_SIM_BINARY, "-q", "-w32", "0x20000000", "0x600D",
            "-dump", "0x0", "0x10000", fifo.c_str(), nullptr);
    ::_exit(127);
  }
  int waiting = 0;
  for (int tries = 0; tries < 1000 && waiting < capacity; ++tries) {
    if (::waitpid(child, nullptr, WNOHANG) == child) break;
    ::usleep(10000);
    ::ioctl(reader, FIONREAD, &waiting);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(reader);
  ASSERT_EQ(waiting, capacity) << "the run did not reach -dump";
  const ShellOutcome after = RunShell(SimLine(scratch.path(), "-r32 0x20000000 1"));
  EXPECT_NE(after.out.find("0x20000000:  0000600D"), std::string::npos) << after.out;
}

// A bench list written to exhaust the memory of every run that reads it.
class HostileBenchList : public ::testing::Test {
 protected:
  ShellOutcome ListWithin1GB(const std::string& adapterLine, int lines) {
    std::ofstream list(scratch_.path() / "bench.txt", std::ios::binary);
    list << "dravlopro-sim bench 1\n";
    for (int i = 0; i < lines; ++i) list << "adapter L" << i << " 2.0.0" << adapterLine << "\n";
    list.close();
    return RunShell("ulimit -v 1048576; " + SimLine(scratch_.path(), "-list"));
  }
  void SetUp() override {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
  }
  ScratchDir scratch_;
};

TEST_F(HostileBenchList, TwoHundredLargestTargetsListTheEightARunCanUse) {
  const ShellOutcome run = ListWithin1GB(" flash=0x1000000 sram=0x1000000", 200);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("ID:7, SN:L7.\r\nResult: Operation success.\n"), std::string::npos)
      << run.out;
}

TEST_F(HostileBenchList, AHundredThousandAdapterLinesListTheEightARunCanUse) {
  const ShellOutcome run = ListWithin1GB("", 100000);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("ID:7, SN:L7.\r\nResult: Operation success.\n"), std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace dravlopro
