#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "image/image_state.h"

namespace dravlopro {

// Shown when a HEX file moves its upper address outside the flash image or
// the option bytes; the command then ends without sending anything.
inline constexpr wchar_t kHexRejectedMessage[] = L"File too big or Start address incorrect.";

// Only records ending at or below this address count toward the image size
// of a HEX file.
constexpr std::uint32_t kHexImageEnd = 0x40000;
// The longest HEX line read, without its line end. A record is at most 521
// characters long; a longer line ends the load instead of filling memory.
constexpr std::size_t kMaxHexLineLength = 1024;

// True when the (already upper-cased) name is longer than 5 characters and
// ends in ".HEX". Everything else loads as ELF (see IsElfFileName and
// kElfMagic) or as a raw binary file.
bool IsHexFileName(const std::wstring& upperCasedName);

// The byte spelled by the two characters at index and index + 1. A position
// past the end of the text, and any character that is no hexadecimal digit,
// reads as digit 0.
std::uint8_t HexPairToByte(const std::wstring& text, std::size_t index);

// The hexadecimal text as a number; only the last 8 digits survive, stray
// characters count as 0, an empty text gives 0.
std::uint32_t HexTextToUInt(const std::wstring& text);

enum class HexLoad {
  Loaded,       // image, imageSize and maybe the option values were updated
  CannotOpen,   // the file cannot be opened; imageSize unchanged
  BadLine,      // a line does not begin with ':'; imageSize 0
  ShortRecord,  // a record line holds fewer characters than its data needs; imageSize 0
  Rejected,     // an upper address outside the image and the option bytes; imageSize 0
  LongLine,     // a line longer than kMaxHexLineLength; imageSize 0
  ReadFailed,   // reading failed (an I/O error, or memory refused); imageSize 0
};

// The loaders below take an optional why: when given, a load that fails
// puts there one line that says what is wrong with the file, for the user
// ("No such file or directory", "line 17 does not begin with ':'").

// Loads an Intel HEX file into image (refilled with 0xFF, resized to
// kImageBufferSize) and state. Lines end at "\n", "\r\n" or a bare "\r".
// Prints nothing: on Rejected the caller shows kHexRejectedMessage.
HexLoad LoadHexImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                     ImageState& state, std::string* why = nullptr);
// The same from a stream that is already open.
HexLoad ReadHexImage(std::istream& in, std::vector<std::uint8_t>& image, ImageState& state,
                     std::string* why = nullptr);

// Loads a raw binary file at address 0, reading it to its end whatever it is
// (a regular file, a device, a FIFO, a pipe). Returns 0 (loaded), 20 (cannot
// open or read) or 12 (longer than kImageBufferSize: imageSize is set to the
// length of a regular file, or to kImageBufferSize + 1 for anything else;
// image is left unchanged). A file that begins with the ELF magic is loaded
// as ELF (see ReadElfImage): 0 or 20.
int LoadBinaryImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                    ImageState& state, std::string* why = nullptr);
// The same, and an ELF file whatever its first bytes when namedElf is set
// (its name says ELF); elf tells whether it was loaded as ELF.
int LoadBinaryOrElfImage(const std::filesystem::path& file, bool namedElf,
                         std::vector<std::uint8_t>& image, ImageState& state, bool& elf,
                         std::string* why = nullptr);
// A raw binary image from a stream that is already open; never reads more
// than kImageBufferSize + 1 bytes of it.
int ReadBinaryImage(std::istream& in, std::vector<std::uint8_t>& image, ImageState& state,
                    std::string* why = nullptr);

}  // namespace dravlopro
