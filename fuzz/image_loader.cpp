// The input as a HEX file, as a binary file and as an ELF file.
//
// A HEX load ends in one of its outcomes, never reads past the image buffer,
// and does not depend on which line ends the text uses: the same lines
// joined by "\n", "\r\n" or a bare "\r" load into the same image and state.
// A binary load gives back exactly the bytes it was handed.
// An ELF load reads no byte outside the input, and either fills the image
// below the HEX image end only (everything from imageSize up stays 0xFF,
// option texts of eight digits) or refuses with a reason and imageSize 0.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "image/elf_image.h"
#include "image/loader.h"

namespace {

using dravlopro::HexLoad;
using dravlopro::ImageState;

// The text's lines (split at "\n", "\r\n" or a bare "\r") joined by eol; a
// line end after the last line stays when there was one.
std::string Rejoin(std::string_view text, std::string_view eol) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += eol;
    } else {
      out += c;
    }
  }
  return out;
}

bool SameState(const ImageState& a, const ImageState& b) {
  return a.imageSize == b.imageSize && a.ppTexts == b.ppTexts && a.cp0Enabled == b.cp0Enabled &&
         a.cp1Enabled == b.cp1Enabled;
}

HexLoad LoadHex(const std::string& text, std::vector<std::uint8_t>& image, ImageState& state) {
  std::istringstream in(text);
  return dravlopro::ReadHexImage(in, image, state);
}

void CheckHex(const std::string& text) {
  static std::vector<std::uint8_t> image;
  static std::vector<std::uint8_t> again;
  ImageState state;
  state.imageSize = 12345;
  const HexLoad outcome = LoadHex(text, image, state);

  FUZZ_CHECK(image.size() == dravlopro::kImageBufferSize);
  FUZZ_CHECK(outcome != HexLoad::CannotOpen && outcome != HexLoad::ReadFailed);
  if (outcome == HexLoad::Loaded) {
    FUZZ_CHECK(state.imageSize <= dravlopro::kHexImageEnd);
  } else {
    FUZZ_CHECK(state.imageSize == 0);
  }
  FUZZ_CHECK(state.cp0Enabled <= 1 && state.cp1Enabled <= 1);
  for (const std::wstring& pp : state.ppTexts) FUZZ_CHECK(pp.empty() || pp.size() == 8);

  for (std::string_view eol : {"\n", "\r\n", "\r"}) {
    ImageState other;
    other.imageSize = 12345;
    FUZZ_CHECK(LoadHex(Rejoin(text, eol), again, other) == outcome);
    FUZZ_CHECK(SameState(state, other));
    FUZZ_CHECK(again == image);
  }
}

void CheckBinary(const std::string& bytes) {
  static std::vector<std::uint8_t> image(dravlopro::kImageBufferSize, 0x5A);
  ImageState state;
  std::istringstream in(bytes);
  const int result = dravlopro::ReadBinaryImage(in, image, state);
  if (bytes.size() > dravlopro::kImageBufferSize) {
    FUZZ_CHECK(result == 12 && state.imageSize == dravlopro::kImageBufferSize + 1);
    return;
  }
  FUZZ_CHECK(result == 0 && state.imageSize == bytes.size());
  FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), image.begin(),
                        [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }));
}

void CheckElf(const std::string& bytes) {
  static std::vector<std::uint8_t> image;
  ImageState state;
  state.imageSize = 12345;
  std::istringstream in(bytes);
  std::string why;
  if (!dravlopro::ReadElfImage(in, bytes.size(), image, state, why)) {
    FUZZ_CHECK(state.imageSize == 0 && !why.empty());
    return;
  }
  FUZZ_CHECK(why.empty());
  FUZZ_CHECK(image.size() == dravlopro::kImageBufferSize);
  FUZZ_CHECK(state.imageSize <= dravlopro::kHexImageEnd);
  FUZZ_CHECK(std::all_of(image.begin() + state.imageSize, image.end(),
                         [](std::uint8_t b) { return b == 0xFF; }));
  FUZZ_CHECK(state.cp0Enabled <= 1 && state.cp1Enabled <= 1);
  for (const std::wstring& pp : state.ppTexts) FUZZ_CHECK(pp.empty() || pp.size() == 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckHex(input);
  CheckBinary(input);
  CheckElf(input);
  return 0;
}
