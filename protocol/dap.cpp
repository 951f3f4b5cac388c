#include "protocol/dap.h"

#include <algorithm>

namespace dravlopro::dap {

namespace {

// Where the fields of the answers sit.
constexpr std::size_t kStatusOffset = 2;
constexpr std::size_t kInfoLengthOffset = 2;
constexpr std::size_t kInfoDataOffset = 3;
constexpr std::size_t kTransferCountOffset = 2;
constexpr std::size_t kTransferStatusOffset = 3;
constexpr std::size_t kTransferDataOffset = 4;
constexpr std::size_t kBlockStatusOffset = 4;
constexpr std::size_t kBlockDataOffset = 5;
constexpr std::uint8_t kPacketSizeLength = 2;

}  // namespace

void EncodeInfo(Report& request, std::uint8_t id) { RequestWriter(request).Byte(kInfo).Byte(id); }

std::string DecodeInfoText(const Report& answer, std::size_t maxLength) {
  const std::size_t length = std::min({static_cast<std::size_t>(answer[kInfoLengthOffset]),
                                       maxLength, kReportLength - kInfoDataOffset});
  const auto first = answer.begin() + kInfoDataOffset;
  std::string text(first, first + static_cast<std::ptrdiff_t>(length));
  return text.substr(0, text.find('\0'));
}

bool DecodeInfoPacketSize(const Report& answer, std::uint16_t& size) {
  if (answer[1] != kInfo || answer[kInfoLengthOffset] != kPacketSizeLength) return false;
  size = GetLe16(&answer[kInfoDataOffset]);
  return true;
}

void EncodeHostStatus(Report& request, std::uint8_t indicator, bool on) {
  RequestWriter(request).Byte(kHostStatus).Byte(indicator).Byte(on ? 1 : 0);
}

void EncodeConnect(Report& request, std::uint8_t port) {
  RequestWriter(request).Byte(kConnect).Byte(port);
}

std::uint8_t DecodeConnect(const Report& answer) { return answer[2]; }

void EncodeSwjClock(Report& request, std::uint32_t hertz) {
  RequestWriter(request).Byte(kSwjClock).Le32(hertz);
}

void EncodeTransferConfigure(Report& request, std::uint8_t idleCycles, std::uint16_t waitRetries,
                             std::uint16_t matchRetries) {
  RequestWriter(request)
      .Byte(kTransferConfigure)
      .Byte(idleCycles)
      .Le16(waitRetries)
      .Le16(matchRetries);
}

void EncodeSwdConfigure(Report& request, std::uint8_t configuration) {
  RequestWriter(request).Byte(kSwdConfigure).Byte(configuration);
}

void EncodeWriteAbort(Report& request, std::uint32_t value) {
  RequestWriter(request).Byte(kWriteAbort).Byte(0).Le32(value);
}

void EncodeSwjSequence(Report& request, std::uint8_t bitCount, std::span<const std::uint8_t> bits) {
  RequestWriter writer(request);
  writer.Byte(kSwjSequence).Byte(bitCount);
  for (const std::uint8_t byte : bits) writer.Byte(byte);
}

bool DecodeStatus(const Report& answer, std::uint8_t command) {
  return answer[1] == command && answer[kStatusOffset] == kDapOk;
}

void EncodeSwjPins(Report& request, std::uint8_t output, std::uint8_t select,
                   std::uint32_t waitMicroseconds) {
  RequestWriter(request).Byte(kSwjPins).Byte(output).Byte(select).Le32(waitMicroseconds);
}

std::uint8_t DecodeSwjPins(const Report& answer) { return answer[2]; }

RequestWriter BeginTransfer(Report& request, std::uint8_t transfers) {
  RequestWriter writer(request);
  writer.Byte(kTransfer).Byte(0).Byte(transfers);
  return writer;
}

void EncodeRegisterWrite(Report& request, std::uint8_t access, std::uint32_t value) {
  BeginTransfer(request, 1).Byte(access).Le32(value);
}

void EncodeRegisterRead(Report& request, std::uint8_t access) {
  BeginTransfer(request, 1).Byte(access);
}

void EncodeTarWrite(Report& request, std::uint32_t address) {
  EncodeRegisterWrite(request, kWriteApTar, address);
}

void EncodeStatusRead(Report& request) { EncodeRegisterRead(request, kReadDpCtrlStat); }

void EncodeWordWrite(Report& request, std::uint32_t address, std::uint32_t value) {
  BeginTransfer(request, 2).Byte(kWriteApTar).Le32(address).Byte(kWriteApDrw).Le32(value);
}

void EncodeWordRead(Report& request, std::uint32_t address) {
  BeginTransfer(request, 2).Byte(kWriteApTar).Le32(address).Byte(kReadApDrw);
}

TransferAnswer DecodeTransfer(const Report& answer) {
  return {answer[kTransferCountOffset], answer[kTransferStatusOffset],
          GetLe32(&answer[kTransferDataOffset])};
}

RequestWriter BeginTransferBlock(Report& request, std::uint16_t count, std::uint8_t access) {
  RequestWriter writer(request);
  writer.Byte(kTransferBlock).Byte(0).Le16(count).Byte(access);
  return writer;
}

std::uint8_t DecodeTransferBlock(const Report& answer, std::span<std::uint32_t> words) {
  const std::size_t n = std::min<std::size_t>(words.size(), kMaxBlockWords);
  for (std::size_t k = 0; k < n; ++k) words[k] = GetLe32(&answer[kBlockDataOffset + 4 * k]);
  return answer[kBlockStatusOffset];
}

}  // namespace dravlopro::dap
