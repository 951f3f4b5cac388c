// Where "-dump" puts its bytes on POSIX systems: a file that a program is
// reading, permission bits and owners, links, files the user may not write,
// folders that cannot take a temporary file, FIFOs, devices and sockets.

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness.h"
#include "tests/platform/dump_destination.h"
#include "tests/probe/probe_bench.h"

namespace dravlopro::probetest {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

// A user and group without special rights, for the runs that check what a
// user may not write: as root those run in a child that has given up root.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// Runs a command line as a user without special rights: directly, or as root
// in a child process that gave root up first. The exit code of the run, or
// -1 when the child did not end normally.
int RunUnprivileged(TargetBench& bench, const std::vector<std::string>& words) {
  if (::geteuid() != 0) return bench.Run(words);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0) {
      ::_exit(125);
    }
    ::_exit(bench.Run(words));
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

struct stat Stat(const fs::path& path) {
  struct stat info = {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}

// The names in a folder, to show that nothing else was left there.
std::vector<std::string> Names(const fs::path& folder) { return testing::FolderNames(folder); }

// A folder with the given permission bits while it lives; afterwards open
// again, so that the scratch folder can be removed.
class Folder {
 public:
  Folder(const fs::path& path, mode_t mode) : path_(path) {
    fs::create_directories(path_);
    ::chmod(path_.c_str(), mode);
  }
  ~Folder() { ::chmod(path_.c_str(), 0755); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

fs::path WriteFile(const fs::path& path, const std::string& bytes, mode_t mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  ::chmod(path.c_str(), mode);
  return path;
}

// The null device or the always-full one, under a name a faulty run may
// replace without harm: as root, a node of its own in the given folder with
// the system's device number, because root could replace the system's node
// and break the machine; otherwise the system's node, which other users
// cannot replace. Empty when root cannot make a node.
fs::path Device(const fs::path& folder, const std::string& name) {
  const fs::path system = fs::path("/dev") / name;
  if (::geteuid() != 0) return system;
  struct stat info = {};
  if (::stat(system.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return {};
  const fs::path own = folder / name;
  if (::mknod(own.c_str(), S_IFCHR | 0666, info.st_rdev) != 0) return {};
  return own;
}

// Reads a FIFO on a thread of its own until its writer closes it, or, when
// it should leave at once, closes it as soon as a writer has opened it.
class FifoReader {
 public:
  enum class Leave { kAtEnd, kAtOnce };
  FifoReader(const fs::path& fifo, Leave leave) : shared_(std::make_shared<Shared>()) {
    shared_->fifo = fifo;
    thread_ = std::thread([shared = shared_, leave] {
      Read(*shared, leave);
      shared->done = true;
    });
  }
  ~FifoReader() { Finish(); }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  // Waits for the reader to end, letting go one still waiting for a writer,
  // and returns what it got.
  std::string Finish() {
    if (!thread_.joinable()) return shared_->bytes;
    // A writer that opens and closes at once lets a waiting reader go; the
    // reader may only reach its open after the first try. A FIFO replaced
    // by something else would hold its reader for good: that is a failure,
    // not a hang.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!shared_->done && std::chrono::steady_clock::now() < giveUp) {
      const int release = ::open(shared_->fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (release >= 0) ::close(release);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!shared_->done) {
      ADD_FAILURE() << "the reader of " << shared_->fifo << " never got a writer";
      thread_.detach();
      return {};
    }
    thread_.join();
    return shared_->bytes;
  }

 private:
  struct Shared {
    fs::path fifo;
    std::string bytes;
    std::atomic<bool> done{false};
  };

  static void Read(Shared& shared, Leave leave) {
    const int fd = ::open(shared.fifo.c_str(), O_RDONLY);
    if (fd < 0) return;
    char buffer[4096];
    while (leave == Leave::kAtEnd) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      shared.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
  }

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

TEST(DumpDestinations, AProgramReadingTheOldFileKeepsReadingTheOldBytes) {
  ScratchDir dir;
  TargetBench bench;
  const std::string first = FillSram(bench, 5);
  const fs::path file = dir.path() / "dump.bin";
  EXPECT_EQ(bench.Run(DumpTo(file, 5)), 0);

  // A program still reading the old file keeps reading the old bytes: the
  // new file took its place whole rather than being rewritten in it.
  std::ifstream earlier(file, std::ios::binary);
  const std::string second = FillSram(bench, 3, 0xA0B0C0D0);
  EXPECT_EQ(bench.Run(DumpTo(file, 3)), 0);
  EXPECT_EQ(ScratchDir::Read(file), second);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), first);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dump.bin"});
  EXPECT_EQ(bench.CommandOutput(), testing::kSuccess);
}

TEST(DumpDestinations, ExistingFilesKeepTheirPermissionBitsAndOwner) {
  ScratchDir dir;
  TargetBench bench;
  const std::string bytes = FillSram(bench, 4);
  const fs::path shared = WriteFile(dir.path() / "shared.bin", "old", 0664);
  const fs::path secret = WriteFile(dir.path() / "secret.bin", "old", 0600);
  const fs::path odd = WriteFile(dir.path() / "odd.bin", "old", 0751);
  // As root, the files belong to someone else, who keeps them.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(secret.c_str(), kNobody, kNoGroup), 0);
  }
  const struct stat before = Stat(secret);

  for (const fs::path& file : {shared, secret, odd}) {
    const mode_t mode = Stat(file).st_mode;
    EXPECT_EQ(bench.Run(DumpTo(file, 4)), 0) << file;
    EXPECT_EQ(ScratchDir::Read(file), bytes) << file;
    EXPECT_EQ(Stat(file).st_mode, mode) << file;
  }
  const struct stat after = Stat(secret);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (root) {
    EXPECT_EQ(after.st_uid, kNobody);
  }

  // A new file gets the bits a plain create gives it.
  const mode_t mask = ::umask(027);
  const fs::path fresh = dir.path() / "fresh.bin";
  const int result = bench.Run(DumpTo(fresh, 4));
  ::umask(mask);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Stat(fresh).st_mode & 07777, 0640u);
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"fresh.bin", "odd.bin", "secret.bin", "shared.bin"}));
}

TEST(DumpDestinations, LinksStayLinksAndTheFileTheyNameGetsTheBytes) {
  ScratchDir dir;
  TargetBench bench;
  const std::string bytes = FillSram(bench, 6);
  Folder data(dir.path() / "data", 0777);
  const fs::path real = WriteFile(data / "real.bin", "old content", 0666);
  const fs::path links = dir.path() / "links";
  fs::create_directories(links);
  fs::create_symlink("../data/real.bin", links / "relative");
  fs::create_symlink("relative", links / "chain");
  fs::create_symlink(real, links / "absolute");

  for (const char* name : {"chain", "relative", "absolute"}) {
    WriteFile(real, "old content", 0666);
    EXPECT_EQ(bench.Run(DumpTo(links / name, 6)), 0) << name;
    EXPECT_TRUE(fs::is_symlink(links / name)) << name;
    EXPECT_EQ(ScratchDir::Read(real), bytes) << name;
  }
  EXPECT_TRUE(fs::is_symlink(links / "relative"));
  EXPECT_EQ(fs::read_symlink(links / "chain"), "relative");
  EXPECT_EQ(Names(data.path()), std::vector<std::string>{"real.bin"});
  EXPECT_EQ(Names(links), (std::vector<std::string>{"absolute", "chain", "relative"}));

  // The temporary file goes beside the file the link names, not beside the
  // link: a link in a folder the user may not write still works.
  {
    Folder locked(dir.path() / "locked", 0755);
    fs::create_symlink(real, locked / "link");
    ::chmod(locked.path().c_str(), 0555);
    WriteFile(real, "old content", 0666);
    EXPECT_EQ(RunUnprivileged(bench, DumpTo(locked / "link", 6)), 0);
    EXPECT_EQ(ScratchDir::Read(real), bytes);
    EXPECT_TRUE(fs::is_symlink(locked / "link"));
    EXPECT_EQ(Names(data.path()), std::vector<std::string>{"real.bin"});
  }

  // A link to a file that is not there yet: the file is made where the link
  // points.
  fs::create_symlink("../data/later.bin", links / "dangling");
  EXPECT_EQ(bench.Run(DumpTo(links / "dangling", 6)), 0);
  EXPECT_TRUE(fs::is_symlink(links / "dangling"));
  EXPECT_EQ(ScratchDir::Read(data / "later.bin"), bytes);
  EXPECT_EQ(Names(data.path()), (std::vector<std::string>{"later.bin", "real.bin"}));
}

TEST(DumpDestinations, WhatTheUserMayNotWriteGives20AndStaysUntouched) {
  ScratchDir dir;
  TargetBench bench;
  FillSram(bench, 4);

  // A read-only file in a folder the user may write: refused as opening it
  // for writing is refused, though a rename would have gone through.
  Folder open(dir.path() / "open", 0777);
  const fs::path readOnly = WriteFile(open / "readonly.bin", "precious", 0444);
  const struct stat before = Stat(readOnly);
  EXPECT_EQ(RunUnprivileged(bench, DumpTo(readOnly, 4)), 20);
  EXPECT_EQ(ScratchDir::Read(readOnly), "precious");
  const struct stat after = Stat(readOnly);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(Names(open.path()), std::vector<std::string>{"readonly.bin"});

  // A new name in a folder the user may not write.
  Folder closed(dir.path() / "closed", 0555);
  EXPECT_EQ(RunUnprivileged(bench, DumpTo(closed / "new.bin", 4)), 20);
  EXPECT_TRUE(Names(closed.path()).empty());

  // A link to a read-only file.
  fs::create_symlink(readOnly, dir.path() / "link");
  EXPECT_EQ(RunUnprivileged(bench, DumpTo(dir.path() / "link", 4)), 20);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(ScratchDir::Read(readOnly), "precious");
}

TEST(DumpDestinations, FilesThatCannotBeReplacedAreWrittenInPlace) {
  ScratchDir dir;
  TargetBench bench;
  const std::string bytes = FillSram(bench, 2);

  // A writable file in a folder that cannot take a temporary file; the old
  // content is longer than the new one and must not show past its end.
  Folder closed(dir.path() / "closed", 0755);
  const fs::path file = WriteFile(closed / "file.bin", "a much longer old content", 0646);
  ::chmod(closed.path().c_str(), 0555);
  const struct stat before = Stat(file);
  EXPECT_EQ(RunUnprivileged(bench, DumpTo(file, 2)), 0);
  EXPECT_EQ(ScratchDir::Read(file), bytes);
  EXPECT_EQ(Stat(file).st_ino, before.st_ino);
  EXPECT_EQ(Stat(file).st_mode, before.st_mode);
  EXPECT_EQ(Names(closed.path()), std::vector<std::string>{"file.bin"});
}

TEST(DumpDestinations, FileOfAnotherUserInAStickyFolderIsWrittenInPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
  ScratchDir dir;
  TargetBench bench;
  const std::string bytes = FillSram(bench, 3);
  // Anyone may write the file and add to the folder, but only its owner may
  // rename over it: the temporary file is made, the rename is refused.
  Folder sticky(dir.path() / "sticky", 01777);
  const fs::path file = WriteFile(sticky / "shared.bin", "old", 0666);
  const struct stat before = Stat(file);
  EXPECT_EQ(RunUnprivileged(bench, DumpTo(file, 3)), 0);
  EXPECT_EQ(ScratchDir::Read(file), bytes);
  EXPECT_EQ(Stat(file).st_ino, before.st_ino);
  EXPECT_EQ(Stat(file).st_uid, 0u);
  EXPECT_EQ(Names(sticky.path()), std::vector<std::string>{"shared.bin"});
}

TEST(DumpDestinations, FifoIsWrittenAndStaysAFifo) {
  ScratchDir dir;
  TargetBench bench;
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  const std::string bytes = FillSram(bench, 7);
  {
    FifoReader reader(fifo, FifoReader::Leave::kAtEnd);
    EXPECT_EQ(bench.Run(DumpTo(fifo, 7)), 0);
    EXPECT_EQ(reader.Finish(), bytes);
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"fifo"});

  // A reader that goes away: a failed write, not the end of the run. The dump
  // is larger than the pipe holds, so it cannot all be written before.
  sim::SimConfig big;
  big.sramSize = 256 * 1024;
  ASSERT_TRUE(bench.target().Configure(big));
  {
    FifoReader reader(fifo, FifoReader::Leave::kAtOnce);
    EXPECT_EQ(bench.Run(DumpTo(fifo, big.sramSize / 4)), 20);
    reader.Finish();
  }
  EXPECT_EQ(bench.CommandOutput(),
            "Process: -dump (Fail)\n"
            "Result: There was an error in file access. Please confirm that the file path is "
            "correct and that the file exists.\n");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(DumpDestinations, DevicesAndSocketsAreOpenedNotReplaced) {
  ScratchDir dir;
  TargetBench bench;
  FillSram(bench, 16);
  const fs::path null = Device(dir.path(), "null");
  const fs::path full = Device(dir.path(), "full");
  if (null.empty() || full.empty()) GTEST_SKIP() << "no device nodes of its own";
  EXPECT_EQ(bench.Run(DumpTo(null, 16)), 0);
  EXPECT_TRUE(fs::is_character_file(null));

  // A device that refuses the bytes.
  EXPECT_EQ(bench.Run(DumpTo(full, 16)), 20);
  EXPECT_TRUE(fs::is_character_file(full));

  // A socket cannot be opened as a file: refused, and left where it is.
  const fs::path socketName = dir.path() / "socket";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketName.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(bench.Run(DumpTo(socketName, 16)), 20);
  EXPECT_TRUE(fs::is_socket(socketName));
  ::close(fd);
}

TEST(DumpDestinations, FailedReadLeavesLinksFifosAndDevicesUntouched) {
  ScratchDir dir;
  TargetBench bench;
  FillSram(bench, 20);
  bench.faults().accessFaults.push_back({{kSram + 0x40, kSram + 0x40}, sim::ack::kFault});

  const fs::path file = WriteFile(dir.path() / "file.bin", "precious", 0640);
  const struct stat before = Stat(file);
  fs::create_symlink("file.bin", dir.path() / "link");
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Without a reader, opening the FIFO for writing would never return.
  FifoReader reader(fifo, FifoReader::Leave::kAtEnd);
  Folder devices(dir.path() / "devices", 0755);
  const fs::path full = Device(devices.path(), "full");

  for (const fs::path& destination : {file, dir.path() / "link", fifo, full}) {
    if (destination.empty()) continue;
    EXPECT_EQ(bench.Run(DumpTo(destination, 20)), 5) << destination;
  }
  EXPECT_EQ(reader.Finish(), "");
  EXPECT_EQ(ScratchDir::Read(file), "precious");
  EXPECT_EQ(Stat(file).st_ino, before.st_ino);
  EXPECT_EQ(Stat(file).st_mode, before.st_mode);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  if (!full.empty()) {
    EXPECT_TRUE(fs::is_character_file(full));
  }
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"devices", "fifo", "file.bin", "link"}));
}

}  // namespace
}  // namespace dravlopro::probetest
