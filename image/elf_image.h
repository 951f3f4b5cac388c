#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_state.h"

namespace dravlopro {

// The first four bytes of every ELF file. A raw image can never begin with
// them: its first word is the initial stack pointer, and 0x464C457F is no
// SRAM address, so a file that does is taken for ELF whatever its name.
inline constexpr char kElfMagic[4] = {'\x7F', 'E', 'L', 'F'};

// True when the bytes begin with kElfMagic.
bool HasElfMagic(std::string_view bytes);

// True when the (already upper-cased) name ends in ".ELF" or ".AXF".
bool IsElfFileName(const std::wstring& upperCasedName);

// Loads a little-endian 32-bit Arm executable the way its Intel HEX copy
// (`objcopy -O ihex`) loads: the file bytes of every PT_LOAD segment go to
// its physical address (the virtual one when every program header's
// physical address is 0), never its memory size; image is refilled with
// 0xFF and imageSize is the end of the last flash segment. A segment at
// option word 0 (0x1FF00000) or 4 (0x1FF00010) sets the option texts and
// flags as a HEX option record at that address does.
//
// Only the ELF header and the program headers are read, and every offset
// and size is checked against size, the file's length. Returns false, with
// why set to one line that says what is wrong with the file, for anything
// else: another class, byte order, machine or type, a truncated file, a
// segment past the end of the file, outside flash and the option words, or
// overlapping another. The image state is then left alone but for
// imageSize, which becomes 0, as after a refused HEX file.
bool ReadElfImage(std::istream& in, std::uint64_t size, std::vector<std::uint8_t>& image,
                  ImageState& state, std::string& why);

}  // namespace dravlopro
