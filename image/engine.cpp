#include "image/engine.h"

#include <algorithm>
#include <cstring>

#include "protocol/exchange.h"
#include "image/loader.h"

namespace dravlopro {
namespace {

constexpr std::uint8_t kHeaderPayloadLength = 0x3E;
constexpr char kHeaderSignature[] = "QWERTZUI";  // sent without its terminator
constexpr std::size_t kSizeOffset = 13;
constexpr std::size_t kOptionWordsOffset = 17;
constexpr std::size_t kCpWordOffset = 33;
constexpr std::size_t kPacketDataOffset = 3;

// The report lengths the device announced, within what one Report holds.
std::size_t ReportLength(std::uint16_t announced) {
  return announced == 0 || announced > kReportLength ? kReportLength : announced;
}

// One engine exchange: write the request, then wait for the adapter's
// answer. An answer that does not come in time or does not echo the
// request's command leaves the answer all zero, which no reply check
// accepts.
class EngineLink {
 public:
  explicit EngineLink(CHidDevice& device) : device_(device) {
    shape_.writeLength = ReportLength(device.caps.outputReportByteLength);
    shape_.readLength = ReportLength(device.caps.inputReportByteLength);
    shape_.timeoutMs = kEngineReadTimeoutMs;
  }

  // False when the request could not be sent. The answer is read anyway
  // when readAfterFailedWrite is set.
  bool Send(const Report& request, bool readAfterFailedWrite = false) {
    shape_.readAfterFailedWrite = readAfterFailedWrite;
    const ExchangeOutcome outcome = ExchangeReport(device_, request, answer_, shape_);
    if (outcome != ExchangeOutcome::Answered) answer_.fill(0);
    return outcome != ExchangeOutcome::WriteFailed && outcome != ExchangeOutcome::LinkRetired;
  }

  const Report& answer() const { return answer_; }

 private:
  CHidDevice& device_;
  ExchangeShape shape_;
  Report answer_{};
};

bool HeaderAccepted(const Report& reply) {
  return reply[1] == kDownloadHeaderCommand && reply[2] == 0x00;
}

void BuildDataPacket(Report& packet, const std::uint8_t* bytes, std::uint32_t count) {
  packet.fill(0xFF);
  packet[0] = 0x00;
  packet[1] = kDownloadDataCommand;
  packet[2] = static_cast<std::uint8_t>(count);
  std::copy(bytes, bytes + count, packet.begin() + kPacketDataOffset);
}

}  // namespace

std::uint32_t CpWord(const ImageState& state) {
  std::uint32_t word = 0xFFFFFFFFu;
  if (state.cp0Enabled == 1) word &= ~0x1u;
  if (state.cp1Enabled == 1) word &= ~0x2u;
  return word;
}

void BuildDownloadHeader(Report& report, std::uint8_t operation, std::uint32_t imageSize,
                         const ImageState& state) {
  report.fill(0);
  report[1] = kDownloadHeaderCommand;
  report[2] = kHeaderPayloadLength;
  std::memcpy(&report[3], kHeaderSignature, sizeof(kHeaderSignature) - 1);
  report[11] = operation;
  report[12] = 0xFF;
  PutLe32(&report[kSizeOffset], imageSize);
  for (std::size_t i = 0; i < state.ppTexts.size(); ++i) {
    PutLe32(&report[kOptionWordsOffset + 4 * i], HexTextToUInt(state.ppTexts[i]));
  }
  PutLe32(&report[kCpWordOffset], CpWord(state));
}

bool QueryAdapter(CDownloader& downloader, const ImageState& state) {
  EngineLink link(downloader.device);
  Report header;
  BuildDownloadHeader(header, kEngineQuery, state.imageSize, state);
  if (!link.Send(header)) return false;
  return link.answer()[1] == kDownloadHeaderCommand;
}

bool EraseByAdapter(CDownloader& downloader, const ImageState& state) {
  EngineLink link(downloader.device);
  Report header;
  BuildDownloadHeader(header, kEngineProgram, state.imageSize, state);
  std::fill(header.begin() + kSizeOffset, header.end(), 0x00);
  if (!link.Send(header)) return false;
  return HeaderAccepted(link.answer());
}

bool DownloadImage(CDownloader& downloader, const ImageState& state) {
  const std::uint32_t size = state.imageSize;
  // An image larger than the buffer cannot be sent; refuse before the adapter
  // starts erasing.
  if (size > downloader.image.size()) return false;

  EngineLink link(downloader.device);
  Report header;
  BuildDownloadHeader(header, kEngineProgram, size, state);
  if (!link.Send(header)) return false;
  if (!HeaderAccepted(link.answer())) return false;
  if (size == 0) return true;

  const std::uint8_t* bytes = downloader.image.data();
  const std::uint32_t fullPackets = size / kDownloadPacketBytes;
  const std::uint32_t remainder = size - kDownloadPacketBytes * fullPackets;
  bool writeFailed = false;
  Report packet;

  for (std::uint32_t i = 0; i < fullPackets; ++i) {
    BuildDataPacket(packet, bytes + kDownloadPacketBytes * i, kDownloadPacketBytes);
    if (!link.Send(packet)) {
      writeFailed = true;
      break;
    }
    if (link.answer()[1] != kDownloadDataCommand) return false;
  }

  if (remainder != 0) {
    BuildDataPacket(packet, bytes + kDownloadPacketBytes * fullPackets, remainder);
    // The last packet's answer is awaited even when it could not be sent.
    if (!link.Send(packet, true)) writeFailed = true;
    if (link.answer()[1] != kDownloadDataCommand) return false;
  }

  return !writeFailed;
}

}  // namespace dravlopro
