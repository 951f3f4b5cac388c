#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The framing of the GDB remote serial protocol: "$payload#cs" packets with
// a modulo-256 checksum in two hex digits, "}" escapes (the next byte XOR
// 0x20), the acknowledgements "+" and "-", and the interrupt byte 0x03 that
// may come at any time outside a packet.
namespace dravlopro::gdb {

// The longest payload the server takes in, as qSupported's PacketSize
// tells the client (in hex).
constexpr std::size_t kMaxPacketPayload = 0x4000;
constexpr std::uint8_t kInterruptByte = 0x03;

// What the byte stream from the client brought.
struct InputEvent {
  enum class Kind {
    Packet,       // a whole packet with a good checksum; payload unescaped
    BadChecksum,  // a whole packet whose checksum is wrong or not hex: answer "-"
    TooLong,      // a packet longer than the limit; its bytes were dropped
    Interrupt,    // the 0x03 byte
    Ack,          // "+"
    Nack          // "-": the last reply should go again
  };
  Kind kind = Kind::Packet;
  std::string payload;
};

// Takes the client's bytes in whatever pieces they come and gives the
// events they complete. Bytes outside a packet that mean nothing are passed
// over, as is a packet cut short by a new "$".
class PacketReader {
 public:
  explicit PacketReader(std::size_t maxPayload = kMaxPacketPayload) : maxPayload_(maxPayload) {}

  void Feed(const std::uint8_t* data, std::size_t size, std::vector<InputEvent>& events);

 private:
  enum class State { Idle, Payload, Escape, Checksum1, Checksum2 };
  void Byte(std::uint8_t byte, std::vector<InputEvent>& events);

  std::size_t maxPayload_;
  State state_ = State::Idle;
  std::string payload_;
  std::uint8_t sum_ = 0;
  std::uint8_t checksum_ = 0;
  bool checksumBad_ = false;
  bool tooLong_ = false;
};

// "$payload#cs", with the bytes the framing reserves ("$", "#", "}" and
// "*") escaped.
std::string EncodePacket(std::string_view payload);
std::uint8_t Checksum(std::string_view bytes);

// Lower-case hex of bytes, two digits each.
std::string ToHex(const std::uint8_t* bytes, std::size_t size);
std::string ToHex(std::string_view text);
// Pairs of hex digits into bytes; false for an odd count or a non-hex digit.
bool FromHex(std::string_view hex, std::vector<std::uint8_t>& bytes);
// A hex number of at most 16 digits (no prefix); false when empty, not hex
// or too long.
bool ParseHexNumber(std::string_view hex, std::uint64_t& value);
// The same, at most 32 bits.
bool ParseHex32(std::string_view hex, std::uint32_t& value);
// A 32-bit word as eight hex digits in target (little-endian) byte order.
std::string WordToHex(std::uint32_t value);
// Eight hex digits in target byte order into a word.
bool WordFromHex(std::string_view hex, std::uint32_t& value);

}  // namespace dravlopro::gdb
