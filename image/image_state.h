#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dravlopro {

// The flash image buffer covers target addresses 0 to 0xFFFFF.
constexpr std::uint32_t kImageBufferSize = 0x100000;

// What the last image load (or the reset that "-a" makes before it) left.
// The image bytes themselves live in the adapter object (`CDownloader::image`).
struct ImageState {
  std::uint32_t imageSize = 0;
  // Option words PP0..PP3 as hexadecimal text, most significant digit first.
  std::array<std::wstring, 4> ppTexts;
  std::uint32_t cp0Enabled = 0;
  std::uint32_t cp1Enabled = 0;
};

}  // namespace dravlopro
