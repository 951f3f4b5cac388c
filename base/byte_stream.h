#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dravlopro {

// One connected client: a byte stream both ways (a TCP connection in the
// program, a pipe of bytes in tests).
class ByteStream {
 public:
  enum class Received { Data, TimedOut, Closed, Failed };
  virtual ~ByteStream() = default;
  // Waits at most timeoutMs for bytes; Data with got > 0 when some came.
  virtual Received Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& got,
                           std::uint32_t timeoutMs) = 0;
  // All the bytes, or false when the stream broke.
  virtual bool Send(const std::uint8_t* bytes, std::size_t size) = 0;
  // Who is at the other end, for messages ("127.0.0.1:40312").
  virtual std::string peer() const = 0;
};

// Where clients come from.
class StreamListener {
 public:
  virtual ~StreamListener() = default;
  // The next client, waiting at most timeoutMs; null when none came.
  virtual std::unique_ptr<ByteStream> Accept(std::uint32_t timeoutMs) = 0;
  // What it listens on, for messages ("127.0.0.1:3333").
  virtual std::string where() const = 0;
};

}  // namespace dravlopro
