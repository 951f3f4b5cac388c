#pragma once

#include <cstdint>
#include <span>

#include "adapter/hid_device.h"
#include "base/progress.h"
#include "image/image_state.h"
#include "protocol/report.h"

namespace dravlopro {

// The protection word that goes with the image: all bits 1, bit 0 cleared
// for CP0, bit 1 cleared for CP1.
std::uint32_t ProtectionWord(const ImageState& state);

// Fills all 65 bytes of a download header for the operation, carrying the
// image size, the option words PP0..PP3 and the protection word of the
// image state.
void BuildDownloadHeader(Report& report, std::uint8_t operation, std::uint32_t imageSize,
                         const ImageState& state);

// Announces the coming engine requests (operation 0x0E). True when the
// adapter echoed the header command.
bool QueryAdapter(CHidDevice& device, const ImageState& state);

// Has the adapter erase the whole target: operation 0x06 with no image and
// every field from the size on zero. True when the adapter accepted it. The
// adapter answers only when it is done, and tells nothing before: the
// progress hears that the wait goes on, never how far the erase is.
bool EraseByAdapter(CHidDevice& device, Progress& progress = NoProgress());

// Sends the header for the loaded image and then the image from address 0
// in packets of 62 bytes. True when every packet went out and was answered.
// An image larger than the bytes at hand is refused before anything is sent.
// The progress counts the image bytes sent and answered, and hears of the
// long waits for an answer.
bool DownloadImage(CHidDevice& device, std::span<const std::uint8_t> image, const ImageState& state,
                   Progress& progress = NoProgress());

}  // namespace dravlopro
