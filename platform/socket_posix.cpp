#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/socket.h"

namespace dravlopro::platform {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void OnStopSignal(int) { stopFlag = 1; }

// One owned socket descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string Endpoint(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

// Waits for the descriptor to be readable; false on timeout.
bool Readable(int fd, std::uint32_t timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, static_cast<int>(timeoutMs));
    if (ready < 0 && errno == EINTR) {
      if (stopFlag != 0) return false;
      continue;
    }
    return ready > 0;
  }
}

class TcpStream : public ByteStream {
 public:
  TcpStream(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {}

  Received Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& got,
                   std::uint32_t timeoutMs) override {
    got = 0;
    if (!Readable(fd_.get(), timeoutMs)) return Received::TimedOut;
    const ssize_t n = ::recv(fd_.get(), buffer, capacity, 0);
    if (n == 0) return Received::Closed;
    if (n < 0) return errno == EINTR || errno == EAGAIN ? Received::TimedOut : Received::Failed;
    got = static_cast<std::size_t>(n);
    return Received::Data;
  }

  bool Send(const std::uint8_t* bytes, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = ::send(fd_.get(), bytes, size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  std::string peer() const override { return peer_; }

 private:
  Descriptor fd_;
  std::string peer_;
};

class TcpListener : public StreamListener {
 public:
  TcpListener(int fd, std::string where) : fd_(fd), where_(std::move(where)) {}

  std::unique_ptr<ByteStream> Accept(std::uint32_t timeoutMs) override {
    if (!Readable(fd_.get(), timeoutMs)) return nullptr;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept(fd_.get(), reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd < 0) return nullptr;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<TcpStream>(fd, Endpoint(peer));
  }

  std::string where() const override { return where_; }

 private:
  Descriptor fd_;
  std::string where_;
};

}  // namespace

std::unique_ptr<StreamListener> ListenTcp(const std::string& address, std::uint16_t port,
                                          std::string& problem) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  const std::string numeric = address == "localhost" ? kLoopbackAddress : address;
  if (::inet_pton(AF_INET, numeric.c_str(), &local.sin_addr) != 1) {
    problem = "\"" + address + "\" is not an IPv4 address";
    return nullptr;
  }
  auto fd = std::make_unique<Descriptor>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd->get() < 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  const int one = 1;
  ::setsockopt(fd->get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd->get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(fd->get(), 4) != 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ::getsockname(fd->get(), reinterpret_cast<sockaddr*>(&bound), &length);
  return std::make_unique<TcpListener>(fd->release(), Endpoint(bound));
}

std::unique_ptr<ByteStream> ConnectTcp(const std::string& address, std::uint16_t port,
                                       std::string& problem) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  const std::string numeric = address == "localhost" ? kLoopbackAddress : address;
  if (::inet_pton(AF_INET, numeric.c_str(), &remote.sin_addr) != 1) {
    problem = "\"" + address + "\" is not an IPv4 address";
    return nullptr;
  }
  Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0 ||
      ::connect(fd.get(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TcpStream>(fd.release(), Endpoint(remote));
}

void CatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

bool StopRequested() { return stopFlag != 0; }

}  // namespace dravlopro::platform
