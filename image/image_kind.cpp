#include "image/image_kind.h"

#include <cstddef>

namespace dravlopro {

namespace {

bool IsHexDigit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The number of hexadecimal digits from `from` to the line end; -1 when
// anything else comes before it.
long DigitsToLineEnd(std::span<const std::uint8_t> bytes, std::size_t from) {
  std::size_t i = from;
  while (i < bytes.size() && IsHexDigit(bytes[i])) ++i;
  if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') return -1;
  return static_cast<long>(i - from);
}

}  // namespace

TextImageKind GuessTextImageKind(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return TextImageKind::None;
  // The shortest records: ":00000001FF" (10 digits), "S9030000FC" (8).
  if (bytes[0] == ':' && DigitsToLineEnd(bytes, 1) >= 10) return TextImageKind::IntelHex;
  if (bytes[0] == 'S' && bytes[1] >= '0' && bytes[1] <= '9' && DigitsToLineEnd(bytes, 2) >= 8) {
    return TextImageKind::SRecord;
  }
  return TextImageKind::None;
}

}  // namespace dravlopro
