#include "image/engine.h"

#include "image/loader.h"
#include "probe/registers.h"
#include "protocol/download.h"
#include "protocol/exchange.h"

namespace dravlopro {
namespace {

// The report lengths the device announced, within what one Report holds.
std::size_t ReportLength(std::uint16_t announced) {
  return announced == 0 || announced > kReportLength ? kReportLength : announced;
}

// The engine answers only once it has erased or programmed, and takes
// reports of the lengths the device announced.
ExchangeShape EngineShape(const CHidDevice& device, Progress& progress = NoProgress()) {
  ExchangeShape shape;
  shape.writeLength = ReportLength(device.caps.outputReportByteLength);
  shape.readLength = ReportLength(device.caps.inputReportByteLength);
  shape.timeoutMs = kEngineReadTimeoutMs;
  shape.progress = Watched(progress);
  return shape;
}

// True when the request went out (its answer may still be missing).
bool Sent(ExchangeOutcome outcome) {
  return outcome != ExchangeOutcome::WriteFailed && outcome != ExchangeOutcome::LinkRetired;
}

}  // namespace

std::uint32_t ProtectionWord(const ImageState& state) {
  return option::CpWord(state.cp0Enabled == 1, state.cp1Enabled == 1);
}

void BuildDownloadHeader(Report& report, std::uint8_t operation, std::uint32_t imageSize,
                         const ImageState& state) {
  download::HeaderFields fields;
  fields.imageSize = imageSize;
  for (std::size_t i = 0; i < state.ppTexts.size(); ++i) {
    fields.optionWords[i] = HexTextToUInt(state.ppTexts[i]);
  }
  fields.cpWord = ProtectionWord(state);
  download::EncodeHeader(report, operation, fields);
}

bool QueryAdapter(CHidDevice& device, const ImageState& state) {
  Link link(device, EngineShape(device));
  BuildDownloadHeader(link.request(), download::kQuery, state.imageSize, state);
  if (!Sent(link.Send())) return false;
  return download::DecodeHeaderEcho(link.answer());
}

bool EraseByAdapter(CHidDevice& device, Progress& progress) {
  Link link(device, EngineShape(device, progress));
  download::EncodeEraseHeader(link.request());
  progress.Waiting();
  if (!Sent(link.Send())) return false;
  return download::DecodeHeaderAccepted(link.answer());
}

bool DownloadImage(CHidDevice& device, std::span<const std::uint8_t> image, const ImageState& state,
                   Progress& progress) {
  const std::uint32_t size = state.imageSize;
  // An image larger than the buffer cannot be sent; refuse before the adapter
  // starts erasing.
  if (size > image.size()) return false;

  Link link(device, EngineShape(device, progress));
  BuildDownloadHeader(link.request(), download::kProgram, size, state);
  progress.Update(0, size);
  if (!Sent(link.Send())) return false;
  if (!download::DecodeHeaderAccepted(link.answer())) return false;
  if (size == 0) return true;

  const std::uint32_t fullPackets = size / download::kPacketBytes;
  const std::uint32_t remainder = size - download::kPacketBytes * fullPackets;
  bool writeFailed = false;

  for (std::uint32_t i = 0; i < fullPackets; ++i) {
    download::EncodeDataPacket(link.request(),
                               image.subspan(download::kPacketBytes * i, download::kPacketBytes));
    if (!Sent(link.Send())) {
      writeFailed = true;
      break;
    }
    if (!download::DecodeDataAccepted(link.answer())) return false;
    progress.Update(std::uint64_t{download::kPacketBytes} * (i + 1), size);
  }

  if (remainder != 0) {
    download::EncodeDataPacket(link.request(),
                               image.subspan(download::kPacketBytes * fullPackets, remainder));
    // The last packet's answer is awaited even when it could not be sent.
    link.shape().readAfterFailedWrite = true;
    if (!Sent(link.Send())) writeFailed = true;
    if (!download::DecodeDataAccepted(link.answer())) return false;
    progress.Update(size, size);
  }

  return !writeFailed;
}

}  // namespace dravlopro
