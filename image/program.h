#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "adapter/hid_device.h"
#include "base/clock.h"
#include "base/progress.h"
#include "image/image_state.h"

namespace dravlopro {

// What an image file's name makes of it; a binary name that begins with
// the ELF magic still loads as ELF.
enum class ImageKind { Binary, Hex, Elf };
ImageKind ImageKindOfName(const std::wstring& upperCasedName);

// What loading an image file gave.
struct ImageLoad {
  int result = 0;                      // 0, 12 (too big) or 20 (refused)
  ImageKind kind = ImageKind::Binary;  // as loaded
  // A HEX file moved its address outside the flash and the option bytes,
  // which the user is told about in a message box.
  bool rejected = false;
  std::string problem;  // why the file was refused (20), for standard error
};

// Loads an image file into the buffer and the image state: a HEX file, an
// ELF file or a raw binary file, as the name and the first bytes say.
ImageLoad LoadImageFile(const std::filesystem::path& file, ImageKind named,
                        std::vector<std::uint8_t>& image, ImageState& state);

// Programs the loaded image through the adapter's programming engine. A
// binary image carries no option bytes, so the option page is erased after
// it; a HEX or ELF image (withOptions) leaves it to the engine. Returns 0, 2, 12 or 13. The
// progress counts the image bytes sent.
int ProgramImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                 std::span<const std::uint8_t> image, const ImageState& state, bool withOptions,
                 Progress& progress = NoProgress());

// Reads the flash back from address 0 and compares it with the loaded
// image. Returns 0, 2, 12 or 14. The progress counts the image bytes read
// back.
int VerifyImage(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize,
                std::span<const std::uint8_t> image, std::uint32_t imageSize,
                Progress& progress = NoProgress());

}  // namespace dravlopro
