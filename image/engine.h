#pragma once

#include <cstdint>

#include "protocol/report.h"
#include "commands/downloader.h"
#include "image/image_state.h"

namespace dravlopro {

// Command bytes of the adapter's programming engine.
constexpr std::uint8_t kDownloadHeaderCommand = 0x80;
constexpr std::uint8_t kDownloadDataCommand = 0x81;
// Operations of a download header.
constexpr std::uint8_t kEngineProgram = 0x06;
constexpr std::uint8_t kEngineQuery = 0x0E;
// Image bytes carried by one data packet.
constexpr std::uint32_t kDownloadPacketBytes = 62;

// Option word 4 for the image's protection flags: all bits 1, bit 0 cleared
// for CP0, bit 1 cleared for CP1.
std::uint32_t CpWord(const ImageState& state);

// Fills all 65 bytes of a download header for the operation, carrying the
// image size, the option words PP0..PP3 and the protection word.
void BuildDownloadHeader(Report& report, std::uint8_t operation, std::uint32_t imageSize,
                         const ImageState& state);

// Announces the coming engine requests (operation 0x0E). True when the
// adapter echoed the header command.
bool QueryAdapter(CDownloader& downloader, const ImageState& state);

// Has the adapter erase the whole target: operation 0x06 with no image and
// every field from the size on zero. True when the adapter accepted it.
bool EraseByAdapter(CDownloader& downloader, const ImageState& state);

// Sends the header for the loaded image and then the image from address 0
// in packets of 62 bytes. True when every packet went out and was answered.
bool DownloadImage(CDownloader& downloader, const ImageState& state);

}  // namespace dravlopro
