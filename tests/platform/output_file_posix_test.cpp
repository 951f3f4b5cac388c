// An output file whose bytes are not in place yet, when the run is stopped
// or finished: real signals sent to real child processes.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "tests/harness.h"
#include "tests/platform/output_file_writes.h"

namespace dravlopro {
namespace {

namespace fs = std::filesystem;
using platform::OutputFile;
using testing::ScratchDir;

using testing::Names;
using testing::WriteText;

// A child process that starts writing `destination`, tells the parent when
// part of the bytes are written, and then waits to be stopped.
class StoppedWriter {
 public:
  explicit StoppedWriter(const fs::path& destination) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      const rlimit noCore = {0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      OutputFile out(destination);
      if (!out.is_open() || !WriteText(out, "half of the new")) ::_exit(3);
      const char signal = 'w';
      if (::write(ready[1], &signal, 1) != 1) ::_exit(4);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char signal = 0;
    writing_ = pid_ > 0 && ::read(ready[0], &signal, 1) == 1;
    ::close(ready[0]);
  }
  ~StoppedWriter() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool writing() const { return writing_; }

  // Sends the signal and returns the child's wait status.
  int Stop(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    return status;
  }

 private:
  pid_t pid_ = -1;
  bool writing_ = false;
  bool ended_ = false;
};

// Runs `body` in a child process and returns its exit code, or -1 when it
// did not end normally.
template <typename Body>
int InChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(OutputFileStop, StopSignalLeavesTheDestinationAsItWasAndNoTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(::strsignal(signal));
    ScratchDir dir;
    const fs::path file = dir.Write("dump.bin", "old bytes");
    StoppedWriter writer(file);
    ASSERT_TRUE(writer.writing());
    // The new bytes sit in a temporary file beside the destination.
    ASSERT_EQ(Names(dir.path()).size(), 2u);
    EXPECT_EQ(ScratchDir::Read(file), "old bytes");

    const int status = writer.Stop(signal);
    // The run still ends by the signal, as it would have without the file.
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dump.bin"});
    EXPECT_EQ(ScratchDir::Read(file), "old bytes");
  }
}

TEST(OutputFileStop, StopSignalLeavesNoNewFileBehind) {
  ScratchDir dir;
  const fs::path folder = dir.path() / "out";
  fs::create_directories(folder);
  fs::create_symlink("target.bin", folder / "link");
  for (const fs::path& destination : {folder / "new.bin", folder / "link"}) {
    StoppedWriter writer(destination);
    ASSERT_TRUE(writer.writing());
    EXPECT_EQ(Names(folder).size(), 2u);
    const int status = writer.Stop(SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"link"});
  }
}

// The program's own way of taking a signal before and after a file was
// written, committed or given up, and an ignored signal while one is written.
volatile sig_atomic_t handled = 0;
void CountSignal(int) { handled = handled + 1; }

TEST(OutputFileStop, SignalsAreTakenAsBeforeOnceTheFileIsDone) {
  ScratchDir dir;
  const fs::path kept = dir.path() / "kept.bin";
  const fs::path dropped = dir.path() / "dropped.bin";
  const int result = InChild([&] {
    struct sigaction count = {};
    count.sa_handler = CountSignal;
    sigemptyset(&count.sa_mask);
    ::sigaction(SIGINT, &count, nullptr);
    ::sigaction(SIGTERM, &count, nullptr);
    {
      OutputFile out(kept);
      if (!WriteText(out, "kept") || !out.Commit()) return 10;
    }
    ::raise(SIGINT);
    {
      OutputFile out(dropped);
      if (!WriteText(out, "dropped")) return 11;
    }
    ::raise(SIGTERM);
    return handled == 2 ? 0 : 12;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"kept.bin"});
  EXPECT_EQ(ScratchDir::Read(kept), "kept");

  // A signal the program ignores stays ignored while a file is written.
  const int ignoring = InChild([&] {
    ::signal(SIGINT, SIG_IGN);
    OutputFile out(kept);
    if (!WriteText(out, "new")) return 10;
    ::raise(SIGINT);
    return out.Commit() ? 0 : 11;
  });
  EXPECT_EQ(ignoring, 0);
  EXPECT_EQ(ScratchDir::Read(kept), "new");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"kept.bin"});
}

}  // namespace
}  // namespace dravlopro
