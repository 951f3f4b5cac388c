#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "adapter/hid_device.h"
#include "base/clock.h"
#include "base/progress.h"
#include "image/image_state.h"

namespace dravlopro {

// Loads an image file into the buffer and the image state: a HEX file when
// hex is set, a raw binary file otherwise. Returns 0, 12 (too big) or 20
// (cannot be read, or not a HEX file it can take); rejected is set when a
// HEX file moved its address outside the flash and the option bytes, which
// the user is told about.
int LoadImageFile(const std::filesystem::path& file, bool hex, std::vector<std::uint8_t>& image,
                  ImageState& state, bool& rejected);

// Programs the loaded image through the adapter's programming engine. A
// binary image carries no option bytes, so the option page is erased after
// it. Returns 0, 2, 12 or 13. The progress counts the image bytes sent.
int ProgramImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                 std::span<const std::uint8_t> image, const ImageState& state, bool hex,
                 Progress& progress = NoProgress());

// Reads the flash back from address 0 and compares it with the loaded
// image. Returns 0, 2, 12 or 14. The progress counts the image bytes read
// back.
int VerifyImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                std::span<const std::uint8_t> image, std::uint32_t imageSize,
                Progress& progress = NoProgress());

}  // namespace dravlopro
