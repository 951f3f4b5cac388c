// The image loader on what only POSIX systems have: FIFOs, pipes opened by
// name, and devices that never end or fail to read.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "image/loader.h"
#include "tests/image/loader_test_support.h"

namespace dravlopro::loadertest {
namespace {

TEST_F(LoaderTest, EndlessDeviceStopsSoonAfterTheLongestLine) {
  EXPECT_EQ(LoadHexImage("/dev/zero", image_, state_), HexLoad::LongLine);
}

TEST_F(LoaderTest, RealInputOutputErrorsFailTheLoad) {
  // This process's memory at address 0.
  state_.imageSize = 9;
  EXPECT_EQ(LoadHexImage("/proc/self/mem", image_, state_), HexLoad::ReadFailed);
  EXPECT_EQ(state_.imageSize, 0u);
  EXPECT_EQ(LoadBinaryImage("/proc/self/mem", image_, state_), 20);
}

TEST_F(LoaderTest, DevicesAreReadToTheirEndUpToOneBytePastTheBuffer) {
  state_.imageSize = 0;
  EXPECT_EQ(LoadBinaryImage("/dev/zero", image_, state_), 12);
  EXPECT_EQ(state_.imageSize, kImageBufferSize + 1);
  EXPECT_EQ(LoadBinaryImage("/dev/null", image_, state_), 0);
  EXPECT_EQ(state_.imageSize, 0u);
}

// Feeds bytes into a new FIFO from a thread of its own, as a program writing
// into a named pipe would.
class FifoFeeder {
 public:
  FifoFeeder(fs::path path, std::string bytes) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
    thread_ = std::thread([this, bytes = std::move(bytes)] {
      // A reader that stops early makes the write fail instead of ending the process.
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
      const int fd = ::open(path_.c_str(), O_WRONLY);
      if (fd < 0) return;
      std::size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~FifoFeeder() {
    // Whatever the reader did, let the writer finish: open the FIFO and
    // drain it to its end.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      char sink[4096];
      while (::read(fd, sink, sizeof sink) > 0) {
      }
    }
    thread_.join();
    if (fd >= 0) ::close(fd);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::thread thread_;
};

// A pipe holding bytes, its write end closed, opened by name.
class FilledPipe {
 public:
  explicit FilledPipe(const std::string& bytes) {
    if (::pipe(fds_) != 0) throw std::runtime_error("pipe");
    if (::write(fds_[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("write");
    }
    ::close(fds_[1]);
  }
  ~FilledPipe() { ::close(fds_[0]); }
  fs::path path() const { return "/proc/self/fd/" + std::to_string(fds_[0]); }

 private:
  int fds_[2];
};

TEST_F(LoaderTest, FifosAndPipesLoadWhatTheyHold) {
  const std::vector<std::uint8_t> bytes = Pattern(200000);
  {
    FifoFeeder fifo(dir_ / "image.fifo", std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(LoadBinaryImage(fifo.path(), image_, state_), 0);
    EXPECT_EQ(state_.imageSize, bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image_.begin()));
  }
  {
    std::vector<std::string> lines = RecordsOf(Pattern(3000));
    lines.push_back(kEnd);
    FifoFeeder fifo(dir_ / "image.hex.fifo", Join(lines, "\r"));
    ASSERT_EQ(LoadHexImage(fifo.path(), image_, state_), HexLoad::Loaded);
    EXPECT_EQ(state_.imageSize, 3000u);
  }
  FilledPipe pipe("\x01\x02\x03");
  ASSERT_EQ(LoadBinaryImage(pipe.path(), image_, state_), 0);
  EXPECT_EQ(state_.imageSize, 3u);
  EXPECT_EQ(image_[2], 0x03);
}

TEST_F(ImageFileCommandTest, UnreadableImageFilesSendNothing) {
  fs::create_symlink("/proc/self/mem", dir_.path() / "MEM.HEX");
  fs::create_symlink("/dev/zero", dir_.path() / "ZERO.HEX");
  struct Case {
    std::string file;
    int code;
  };
  const Case cases[] = {
      {"/proc/self/mem", 20},                     // input/output error
      {(dir_.path() / "MEM.HEX").string(), 20},   // the same, as HEX
      {(dir_.path() / "ZERO.HEX").string(), 20},  // one endless line
      {"/dev/zero", 12},                          // endless binary
  };
  for (const char* command : {"-a", "-v"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(command) + " " + c.file);
      EXPECT_EQ(bench_.Run({command, c.file}), c.code);
      EXPECT_EQ(bench_.output(),
                testing::kDefaultSelection + "Process: " + command + " (Fail)\n" +
                    (c.code == 20 ? kFileFailure : "Result: Programing or Verification fail.\n"));
      EXPECT_TRUE(bench_.console.alerts.empty());
      ExpectNothingSent();
    }
  }
}

TEST_F(ImageFileCommandTest, BinaryFromAFifoOrAPipeIsProgrammedAndVerified) {
  const std::vector<std::uint8_t> bytes = Pattern(100000, 7);
  const std::string text(bytes.begin(), bytes.end());
  {
    FifoFeeder fifo(dir_.path() / "app.fifo", text);
    ASSERT_EQ(bench_.Run({"-a", fifo.path().string()}), 0);
  }
  EXPECT_EQ(DownloadedSize(), bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(chip().FlashByte(i), bytes[i]) << i;
  {
    FilledPipe pipe(text.substr(0, 30000));
    EXPECT_EQ(bench_.Run({"-v", pipe.path().string()}), 0);
  }
  {
    FilledPipe pipe(text.substr(0, 29999) + static_cast<char>(~bytes[29999]));
    EXPECT_EQ(bench_.Run({"-v", pipe.path().string()}), 12);
  }
}

}  // namespace
}  // namespace dravlopro::loadertest
