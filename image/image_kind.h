#pragma once

#include <cstdint>
#include <span>

namespace dravlopro {

// What a file loaded as a raw binary image seems to be by its first line.
enum class TextImageKind {
  None,      // nothing that reads as an image text
  IntelHex,  // ":" and a record in hexadecimal digits
  SRecord,   // "S0" to "S9" and a record in hexadecimal digits
};

// Looks at the start of the bytes: a first line that is a whole record of
// Intel HEX or of Motorola S-records, digits only up to its line end (or the
// end of the bytes).
TextImageKind GuessTextImageKind(std::span<const std::uint8_t> bytes);

}  // namespace dravlopro
