#include "protocol/exchange.h"

namespace dravlopro {

namespace {

// The resynchronising request: DAP_Info for the packet size. Its answer is
// 00 02 followed by the size as a 16-bit number.
constexpr std::uint8_t kDapInfo = 0x00;
constexpr std::uint8_t kInfoPacketSize = 0xFF;
constexpr std::uint8_t kPacketSizeLength = 2;

bool IsPacketSizeAnswer(const Report& answer) {
  return answer[1] == kDapInfo && answer[2] == kPacketSizeLength;
}

// Brings the link back in step after the answer to a request with this
// command byte did not come in time. False when it could not be done.
bool Resynchronise(CHidDevice& device, std::uint8_t lateCommand) {
  Report request{};
  request[1] = kDapInfo;
  request[2] = kInfoPacketSize;
  if (!device.WriteReport(request.data(), request.size())) return false;
  // Answers come in the order of their requests. The late answer of another
  // DAP_Info could look like this one's, so it is let by first.
  std::size_t infoAnswersToPass = lateCommand == kDapInfo ? 1 : 0;
  for (std::size_t n = 0; n < kResyncMaxAnswers; ++n) {
    Report answer{};
    if (device.ReadReport(answer.data(), answer.size(), kDapReadTimeoutMs) != HidRead::Received) {
      return false;
    }
    if (answer[1] != kDapInfo) continue;
    if (infoAnswersToPass > 0) {
      --infoAnswersToPass;
      continue;
    }
    if (IsPacketSizeAnswer(answer)) return true;
  }
  return false;
}

}  // namespace

ExchangeOutcome ExchangeReport(CHidDevice& device, const Report& request, Report& answer,
                               const ExchangeShape& shape) {
  if (device.linkRetired) return ExchangeOutcome::LinkRetired;
  answer.fill(0);
  const bool written = device.WriteReport(request.data(), shape.writeLength);
  if (!written && !shape.readAfterFailedWrite) return ExchangeOutcome::WriteFailed;
  const HidRead read = device.ReadReport(answer.data(), shape.readLength, shape.timeoutMs);
  if (read == HidRead::TimedOut && !Resynchronise(device, request[1])) device.linkRetired = true;
  if (!written) return ExchangeOutcome::WriteFailed;
  switch (read) {
    case HidRead::TimedOut:
      return ExchangeOutcome::TimedOut;
    case HidRead::Failed:
      return ExchangeOutcome::ReadFailed;
    case HidRead::Received:
      break;
  }
  return answer[1] == request[1] ? ExchangeOutcome::Answered : ExchangeOutcome::EchoMismatch;
}

}  // namespace dravlopro
