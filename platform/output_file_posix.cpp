#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>

#include "base/stop_removal.h"
#include "platform/output_file.h"

namespace dravlopro::platform {

namespace {

// A file descriptor owned by one object.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes it; false when the close reported a failure (an interrupted close
  // has still closed it).
  bool Close() {
    if (fd_ < 0) return true;
    return ::close(std::exchange(fd_, -1)) == 0 || errno == EINTR;
  }
  void Reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

// Writes all the bytes, however many calls that takes.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Writes to a FIFO or a device whose reader may have gone: that is a failed
// write like any other, not the end of the run.
bool WriteUnlessBroken(int fd, std::span<const std::uint8_t> bytes) {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction previous = {};
  ::sigaction(SIGPIPE, &ignore, &previous);
  const bool written = WriteAll(fd, bytes.data(), bytes.size());
  ::sigaction(SIGPIPE, &previous, nullptr);
  return written;
}

// Copies everything in `from` into `to` from its start, replacing what it held.
bool CopyInto(int from, int to) {
  if (::ftruncate(to, 0) != 0 || ::lseek(to, 0, SEEK_SET) != 0) return false;
  std::uint8_t buffer[64 * 1024];
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(from, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(to, buffer, static_cast<std::size_t>(got))) return false;
    offset += got;
  }
}

// How many links a name may go through before it ends at a file.
constexpr int kMaxLinkHops = 40;

// The name of the file the links of the last part of a name end at (that
// file need not exist). Relative links are joined to the link's folder as
// they are, without tidying "..", which the system then resolves as it would.
std::filesystem::path FollowLinks(std::filesystem::path name) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::string target(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096, '\0');
    const ssize_t length = ::readlink(name.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) break;
    target.resize(static_cast<std::size_t>(length));
    name = name.parent_path() / target;
  }
  return name;
}

// Eight letters that make a temporary name unlikely to be taken already.
std::string UniqueLetters() {
  static std::atomic<unsigned> counter{0};
  timespec now = {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
                      (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter.fetch_add(1);
  mix ^= mix >> 33;
  mix *= 0xFF51AFD7ED558CCDull;
  mix ^= mix >> 33;
  char letters[9];
  std::snprintf(letters, sizeof letters, "%08X", static_cast<unsigned>(mix));
  return letters;
}

// The longest part of the destination's name that goes into a temporary name.
constexpr std::size_t kMaxNameInTemporary = 128;
// Names tried before giving up on a temporary file.
constexpr int kTemporaryAttempts = 64;

}  // namespace

struct OutputFile::State {
  enum class Mode { kClosed, kReplace, kInPlace, kDirect };

  Mode mode = Mode::kClosed;
  bool failed = false;
  int error = 0;  // errno of the first failure
  // The destination as opened: written in place and direct, and what a
  // replacement falls back to where the rename is refused.
  Descriptor destination;
  Descriptor temporary;
  std::filesystem::path finalName;      // the file the temporary replaces
  std::filesystem::path temporaryName;  // its name, kept for the stop handler
  RemovedOnStop guard;                  // removes the temporary file on a stop signal

  // Keeps errno as the reason, unless an earlier failure gave one.
  void Note() {
    if (error == 0) error = errno;
  }

  // A temporary file beside finalName, with the permission bits, owner and
  // group of the existing file, or as a new file would get them.
  bool CreateTemporary(const struct stat* existing) {
    const std::string base = finalName.filename().string().substr(0, kMaxNameInTemporary);
    if (base.empty()) return false;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
      temporaryName = finalName.parent_path() / ("." + base + "." + UniqueLetters() + ".tmp");
      StopsHeld held;
      temporary =
          Descriptor(::open(temporaryName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                            existing != nullptr ? 0600 : 0666));
      if (!temporary.valid()) {
        if (errno == EEXIST) continue;
        return false;
      }
      guard.Arm(temporaryName);
      break;
    }
    if (!temporary.valid()) return false;
    if (existing != nullptr) {
      // The owner first: changing it may clear the set-ID bits.
      if (::fchown(temporary.get(), existing->st_uid, existing->st_gid) != 0 &&
          ::fchown(temporary.get(), static_cast<uid_t>(-1), existing->st_gid) != 0) {
        // Neither may be set here: the new file is the process's own, as any
        // file it creates.
      }
      if (::fchmod(temporary.get(), existing->st_mode & 07777) != 0) {
        DropTemporary();
        return false;
      }
    }
    return true;
  }

  void DropTemporary() {
    StopsHeld held;
    ::unlink(temporaryName.c_str());
    guard.Disarm();
    temporary.Reset();
  }

  // Writes the opened regular file itself, emptied first as a plain open
  // would empty it.
  bool UseInPlace() {
    if (::ftruncate(destination.get(), 0) != 0) return false;
    mode = Mode::kInPlace;
    return true;
  }

  void Open(const std::filesystem::path& name) {
    destination = Descriptor(::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!destination.valid()) {
      if (errno == ENOENT) {
        OpenNew(name);
      } else {
        Note();
      }
      return;
    }
    struct stat opened;
    if (::fstat(destination.get(), &opened) != 0) return Note();
    if (!S_ISREG(opened.st_mode)) {
      mode = Mode::kDirect;
      return;
    }
    // A file with other names keeps them all.
    if (opened.st_nlink > 1) {
      UseInPlace();
      return;
    }
    // The temporary file goes beside the file itself; a name that reaches
    // it some other way than by links is written where it is.
    finalName = FollowLinks(name);
    struct stat named;
    const bool same = ::stat(finalName.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
                      named.st_ino == opened.st_ino;
    if (same && CreateTemporary(&opened)) {
      mode = Mode::kReplace;
      return;
    }
    UseInPlace();
  }

  // A name where there is no file yet (or a link to one).
  void OpenNew(const std::filesystem::path& name) {
    finalName = FollowLinks(name);
    if (CreateTemporary(nullptr)) {
      mode = Mode::kReplace;
      return;
    }
    // Where no temporary file can be made, the plain open decides.
    destination =
        Descriptor(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666));
    if (!destination.valid()) return Note();
    struct stat opened;
    if (::fstat(destination.get(), &opened) != 0) return Note();
    mode = S_ISREG(opened.st_mode) ? Mode::kInPlace : Mode::kDirect;
  }

  bool Replace() {
    if (::fsync(temporary.get()) != 0) {
      Note();
      DropTemporary();
      return false;
    }
    {
      StopsHeld held;
      if (::rename(temporaryName.c_str(), finalName.c_str()) == 0) {
        guard.Disarm();
        temporary.Reset();
        destination.Reset();
        return true;
      }
    }
    // The folder took the temporary file but refuses the rename (a sticky
    // folder, a file mounted on its own): the file is written in place.
    const bool copied =
        destination.valid() && CopyInto(temporary.get(), destination.get()) && destination.Close();
    if (!copied) Note();
    DropTemporary();
    return copied;
  }
};

OutputFile::OutputFile(const std::filesystem::path& name) : state_(std::make_unique<State>()) {
  state_->Open(name);
  if (state_->mode == State::Mode::kClosed) state_->destination.Reset();
}

OutputFile::~OutputFile() {
  if (state_->mode == State::Mode::kReplace) state_->DropTemporary();
}

bool OutputFile::is_open() const { return state_->mode != State::Mode::kClosed; }

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  State& s = *state_;
  if (s.failed) return false;
  switch (s.mode) {
    case State::Mode::kClosed:
      s.failed = true;
      break;
    case State::Mode::kReplace:
      s.failed = !WriteAll(s.temporary.get(), bytes.data(), bytes.size());
      break;
    case State::Mode::kInPlace:
      s.failed = !WriteAll(s.destination.get(), bytes.data(), bytes.size());
      break;
    case State::Mode::kDirect:
      s.failed = !WriteUnlessBroken(s.destination.get(), bytes);
      break;
  }
  if (s.failed) s.Note();
  return !s.failed;
}

bool OutputFile::Commit() {
  State& s = *state_;
  const State::Mode mode = std::exchange(s.mode, State::Mode::kClosed);
  if (mode == State::Mode::kClosed) return false;
  if (mode == State::Mode::kReplace) {
    if (s.failed) {
      s.DropTemporary();
      return false;
    }
    return s.Replace();
  }
  const bool closed = s.destination.Close();
  if (!closed) s.Note();
  return closed && !s.failed;
}

std::error_code OutputFile::error() const {
  return state_->error != 0 ? std::error_code(state_->error, std::generic_category())
                            : std::error_code();
}

}  // namespace dravlopro::platform
