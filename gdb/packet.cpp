#include "gdb/packet.h"

namespace dravlopro::gdb {

namespace {

constexpr char kDigits[] = "0123456789abcdef";
constexpr std::uint8_t kEscape = '}';
constexpr std::uint8_t kEscapeXor = 0x20;

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Reserved(char c) { return c == '$' || c == '#' || c == '}' || c == '*'; }

}  // namespace

void PacketReader::Feed(const std::uint8_t* data, std::size_t size,
                        std::vector<InputEvent>& events) {
  for (std::size_t i = 0; i < size; ++i) Byte(data[i], events);
}

void PacketReader::Byte(std::uint8_t byte, std::vector<InputEvent>& events) {
  // A "$" always starts a packet: one cut short before it is given up.
  if (byte == '$' && state_ != State::Checksum1 && state_ != State::Checksum2) {
    state_ = State::Payload;
    payload_.clear();
    sum_ = 0;
    tooLong_ = false;
    return;
  }
  switch (state_) {
    case State::Idle:
      if (byte == kInterruptByte) events.push_back({InputEvent::Kind::Interrupt, {}});
      if (byte == '+') events.push_back({InputEvent::Kind::Ack, {}});
      if (byte == '-') events.push_back({InputEvent::Kind::Nack, {}});
      return;
    case State::Payload:
    case State::Escape:
      if (byte == '#') {
        state_ = State::Checksum1;
        return;
      }
      sum_ = static_cast<std::uint8_t>(sum_ + byte);
      if (state_ == State::Payload && byte == kEscape) {
        state_ = State::Escape;
        return;
      }
      if (state_ == State::Escape) byte ^= kEscapeXor;
      state_ = State::Payload;
      if (payload_.size() < maxPayload_) {
        payload_.push_back(static_cast<char>(byte));
      } else {
        tooLong_ = true;
      }
      return;
    case State::Checksum1:
    case State::Checksum2: {
      const int digit = HexValue(byte);
      if (state_ == State::Checksum1) {
        checksumBad_ = digit < 0;
        checksum_ = static_cast<std::uint8_t>(digit < 0 ? 0 : digit << 4);
        state_ = State::Checksum2;
        return;
      }
      checksumBad_ = checksumBad_ || digit < 0;
      checksum_ = static_cast<std::uint8_t>(checksum_ | (digit < 0 ? 0 : digit));
      state_ = State::Idle;
      InputEvent event;
      if (checksumBad_ || checksum_ != sum_) {
        event.kind = InputEvent::Kind::BadChecksum;
      } else if (tooLong_) {
        event.kind = InputEvent::Kind::TooLong;
      } else {
        event.payload = std::move(payload_);
      }
      payload_.clear();
      events.push_back(std::move(event));
      return;
    }
  }
}

std::uint8_t Checksum(std::string_view bytes) {
  std::uint8_t sum = 0;
  for (const char c : bytes) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
  return sum;
}

std::string EncodePacket(std::string_view payload) {
  std::string body;
  body.reserve(payload.size() + 8);
  for (const char c : payload) {
    if (Reserved(c)) {
      body.push_back(static_cast<char>(kEscape));
      body.push_back(static_cast<char>(c ^ kEscapeXor));
    } else {
      body.push_back(c);
    }
  }
  const std::uint8_t sum = Checksum(body);
  std::string out = "$";
  out += body;
  out += '#';
  out += kDigits[sum >> 4];
  out += kDigits[sum & 0xF];
  return out;
}

std::string ToHex(const std::uint8_t* bytes, std::size_t size) {
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

std::string ToHex(std::string_view text) {
  return ToHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool FromHex(std::string_view hex, std::vector<std::uint8_t>& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(static_cast<std::uint8_t>(hex[i]));
    const int low = HexValue(static_cast<std::uint8_t>(hex[i + 1]));
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return true;
}

bool ParseHexNumber(std::string_view hex, std::uint64_t& value) {
  if (hex.empty() || hex.size() > 16) return false;
  value = 0;
  for (const char c : hex) {
    const int digit = HexValue(static_cast<std::uint8_t>(c));
    if (digit < 0) return false;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return true;
}

bool ParseHex32(std::string_view hex, std::uint32_t& value) {
  std::uint64_t wide = 0;
  while (hex.size() > 8 && hex.front() == '0') hex.remove_prefix(1);
  if (!ParseHexNumber(hex, wide) || wide > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(wide);
  return true;
}

std::string WordToHex(std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return ToHex(bytes, 4);
}

bool WordFromHex(std::string_view hex, std::uint32_t& value) {
  std::vector<std::uint8_t> bytes;
  if (hex.size() != 8 || !FromHex(hex, bytes)) return false;
  value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
          static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

}  // namespace dravlopro::gdb
