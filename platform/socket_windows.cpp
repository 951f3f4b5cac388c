#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h before windows.h
#include <windows.h>

#include <atomic>

#include "platform/socket.h"

namespace dravlopro::platform {

namespace {

std::atomic<bool> stopFlag{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
  stopFlag = true;
  return TRUE;
}

// Winsock started once for the process, and kept.
bool StartWinsock(std::string& problem) {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) problem = "Winsock does not start (error " + std::to_string(started) + ")";
  return started == 0;
}

std::string SystemReason(int error) {
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = text != nullptr ? text : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

// One owned socket.
class OwnedSocket {
 public:
  explicit OwnedSocket(SOCKET s) : s_(s) {}
  ~OwnedSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;
  SOCKET get() const { return s_; }
  SOCKET release() {
    const SOCKET s = s_;
    s_ = INVALID_SOCKET;
    return s;
  }

 private:
  SOCKET s_;
};

std::string Endpoint(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

bool Readable(SOCKET s, std::uint32_t timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) > 0;
}

class TcpStream : public ByteStream {
 public:
  TcpStream(SOCKET s, std::string peer) : s_(s), peer_(std::move(peer)) {}

  Received Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& got,
                   std::uint32_t timeoutMs) override {
    got = 0;
    if (!Readable(s_.get(), timeoutMs)) return Received::TimedOut;
    const int n = recv(s_.get(), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (n == 0) return Received::Closed;
    if (n < 0) return Received::Failed;
    got = static_cast<std::size_t>(n);
    return Received::Data;
  }

  bool Send(const std::uint8_t* bytes, std::size_t size) override {
    while (size > 0) {
      const int n = send(s_.get(), reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0);
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  std::string peer() const override { return peer_; }

 private:
  OwnedSocket s_;
  std::string peer_;
};

class TcpListener : public StreamListener {
 public:
  TcpListener(SOCKET s, std::string where) : s_(s), where_(std::move(where)) {}

  std::unique_ptr<ByteStream> Accept(std::uint32_t timeoutMs) override {
    if (!Readable(s_.get(), timeoutMs)) return nullptr;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET s = accept(s_.get(), reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) return nullptr;
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return std::make_unique<TcpStream>(s, Endpoint(peer));
  }

  std::string where() const override { return where_; }

 private:
  OwnedSocket s_;
  std::string where_;
};

}  // namespace

std::unique_ptr<StreamListener> ListenTcp(const std::string& address, std::uint16_t port,
                                          std::string& problem) {
  if (!StartWinsock(problem)) return nullptr;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  const std::string numeric = address == "localhost" ? kLoopbackAddress : address;
  if (inet_pton(AF_INET, numeric.c_str(), &local.sin_addr) != 1) {
    problem = "\"" + address + "\" is not an IPv4 address";
    return nullptr;
  }
  OwnedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (s.get() == INVALID_SOCKET) {
    problem = SystemReason(WSAGetLastError());
    return nullptr;
  }
  // A port another program listens on must not be shared.
  const BOOL one = TRUE;
  setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
             sizeof one);
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(s.get(), 4) != 0) {
    problem = SystemReason(WSAGetLastError());
    return nullptr;
  }
  sockaddr_in bound{};
  int length = sizeof bound;
  getsockname(s.get(), reinterpret_cast<sockaddr*>(&bound), &length);
  return std::make_unique<TcpListener>(s.release(), Endpoint(bound));
}

std::unique_ptr<ByteStream> ConnectTcp(const std::string& address, std::uint16_t port,
                                       std::string& problem) {
  if (!StartWinsock(problem)) return nullptr;
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  const std::string numeric = address == "localhost" ? kLoopbackAddress : address;
  if (inet_pton(AF_INET, numeric.c_str(), &remote.sin_addr) != 1) {
    problem = "\"" + address + "\" is not an IPv4 address";
    return nullptr;
  }
  OwnedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (s.get() == INVALID_SOCKET ||
      connect(s.get(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    problem = SystemReason(WSAGetLastError());
    return nullptr;
  }
  return std::make_unique<TcpStream>(s.release(), Endpoint(remote));
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool StopRequested() { return stopFlag; }

}  // namespace dravlopro::platform
