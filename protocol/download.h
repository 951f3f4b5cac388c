#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "protocol/report.h"

// The requests of the adapter's programming engine, one encoder and one
// answer decoder each. Unlike the CMSIS-DAP requests, each fills its whole
// report.
namespace dravlopro::download {

// Command bytes, as byte 1 of a request and of its answer.
constexpr std::uint8_t kHeaderCommand = 0x80;
constexpr std::uint8_t kDataCommand = 0x81;
// Operations of a download header.
constexpr std::uint8_t kProgram = 0x06;
constexpr std::uint8_t kQuery = 0x0E;
// Image bytes carried by one data packet.
constexpr std::uint32_t kPacketBytes = 62;

// What a download header carries after its operation.
struct HeaderFields {
  std::uint32_t imageSize = 0;
  std::array<std::uint32_t, 4> optionWords{};  // PP0..PP3 as the image gives them
  std::uint32_t cpWord = 0xFFFFFFFFu;
};

// A download header: the signature, the operation, the image size, the
// option words and the protection word; every other byte zero.
void EncodeHeader(Report& request, std::uint8_t operation, const HeaderFields& fields);
// The header of a whole-target erase: operation 0x06 and every field from
// the size on zero.
void EncodeEraseHeader(Report& request);
// True when the answer echoes a header (what a query needs).
bool DecodeHeaderEcho(const Report& answer);
// True when the adapter accepted the header: the echo and status 0.
bool DecodeHeaderAccepted(const Report& answer);

// One data packet: up to kPacketBytes image bytes, the rest of the packet
// 0xFF.
void EncodeDataPacket(Report& request, std::span<const std::uint8_t> bytes);
// True when the answer acknowledges a data packet.
bool DecodeDataAccepted(const Report& answer);

}  // namespace dravlopro::download
