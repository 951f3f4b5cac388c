#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/trace_file.h"

namespace dravlopro::platform {

namespace {

// How long a write waits for a FIFO or a pipe whose reader is slow.
constexpr int kReaderWaitMs = 1000;

}  // namespace

struct TraceFile::Handle {
  int fd = -1;
};

TraceFile::TraceFile() : handle_(std::make_unique<Handle>()) {}

TraceFile::~TraceFile() { Close(); }

bool TraceFile::Open(const std::filesystem::path& name, std::string& reason) {
  Close();
  // Never blocking: a FIFO without a reader is refused at once (ENXIO)
  // instead of holding the run until one comes.
  handle_->fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
  if (handle_->fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}

bool TraceFile::Write(std::string_view line) {
  if (handle_->fd < 0) return false;
  while (!line.empty()) {
    const ssize_t written = ::write(handle_->fd, line.data(), line.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A reader that takes nothing for a while is given up on.
      pollfd ready{handle_->fd, POLLOUT, 0};
      if (::poll(&ready, 1, kReaderWaitMs) > 0 && (ready.revents & POLLOUT) != 0) continue;
      return false;
    }
    if (written <= 0) return false;
    line.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void TraceFile::Close() {
  if (handle_->fd >= 0) ::close(handle_->fd);
  handle_->fd = -1;
}

bool TraceFile::is_open() const { return handle_->fd >= 0; }

std::filesystem::path TraceFileName() {
  const char* named = std::getenv("DRAVLOPRO_TRACE");
  return named != nullptr ? std::filesystem::path(named) : std::filesystem::path();
}

std::string NameText(const std::filesystem::path& name) { return name.string(); }

const char* TracePlatformName() {
#if defined(__APPLE__)
  return "macos";
#elif defined(__linux__)
  return "linux";
#else
  return "other";
#endif
}

}  // namespace dravlopro::platform
