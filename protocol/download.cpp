#include "protocol/download.h"

#include <algorithm>
#include <cstring>

namespace dravlopro::download {

namespace {

constexpr std::uint8_t kHeaderPayloadLength = 0x3E;
constexpr char kHeaderSignature[] = "QWERTZUI";  // sent without its terminator
constexpr std::size_t kSignatureOffset = 3;
constexpr std::size_t kOperationOffset = 11;
constexpr std::size_t kMarkerOffset = 12;
constexpr std::uint8_t kMarker = 0xFF;
constexpr std::size_t kSizeOffset = 13;
constexpr std::size_t kOptionWordsOffset = 17;
constexpr std::size_t kCpWordOffset = 33;
constexpr std::size_t kPacketDataOffset = 3;
constexpr std::uint8_t kAccepted = 0x00;

}  // namespace

void EncodeHeader(Report& request, std::uint8_t operation, const HeaderFields& fields) {
  request.fill(0);
  request[1] = kHeaderCommand;
  request[2] = kHeaderPayloadLength;
  std::memcpy(&request[kSignatureOffset], kHeaderSignature, sizeof(kHeaderSignature) - 1);
  request[kOperationOffset] = operation;
  request[kMarkerOffset] = kMarker;
  PutLe32(&request[kSizeOffset], fields.imageSize);
  for (std::size_t i = 0; i < fields.optionWords.size(); ++i) {
    PutLe32(&request[kOptionWordsOffset + 4 * i], fields.optionWords[i]);
  }
  PutLe32(&request[kCpWordOffset], fields.cpWord);
}

void EncodeEraseHeader(Report& request) {
  EncodeHeader(request, kProgram, HeaderFields{});
  std::fill(request.begin() + kSizeOffset, request.end(), 0x00);
}

bool DecodeHeaderEcho(const Report& answer) { return answer[1] == kHeaderCommand; }

bool DecodeHeaderAccepted(const Report& answer) {
  return DecodeHeaderEcho(answer) && answer[2] == kAccepted;
}

void EncodeDataPacket(Report& request, std::span<const std::uint8_t> bytes) {
  const std::size_t count = std::min<std::size_t>(bytes.size(), kPacketBytes);
  request.fill(0xFF);
  request[0] = 0x00;
  request[1] = kDataCommand;
  request[2] = static_cast<std::uint8_t>(count);
  std::copy_n(bytes.begin(), count, request.begin() + kPacketDataOffset);
}

bool DecodeDataAccepted(const Report& answer) { return answer[1] == kDataCommand; }

}  // namespace dravlopro::download
