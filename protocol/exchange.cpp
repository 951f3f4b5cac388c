#include "protocol/exchange.h"

#include "protocol/dap.h"

namespace dravlopro {

namespace {

// The resynchronising request is DAP_Info for the packet size, which the
// tool sends nowhere else: its answer, 00 02 and the size, is unmistakable.
bool IsPacketSizeAnswer(const Report& answer) {
  std::uint16_t size = 0;
  return dap::DecodeInfoPacketSize(answer, size);
}

// Brings the link back in step after the answer to a request with this
// command byte did not come in time. False when it could not be done.
bool Resynchronise(CHidDevice& device, std::uint8_t lateCommand) {
  Report request{};
  dap::EncodeInfo(request, dap::kInfoPacketSize);
  if (!device.WriteReport(request.data(), request.size())) return false;
  // Answers come in the order of their requests. The late answer of another
  // DAP_Info could look like this one's, so it is let by first.
  std::size_t infoAnswersToPass = lateCommand == dap::kInfo ? 1 : 0;
  for (std::size_t n = 0; n < kResyncMaxAnswers; ++n) {
    Report answer{};
    if (device.ReadReport(answer.data(), answer.size(), kDapReadTimeoutMs) != HidRead::Received) {
      return false;
    }
    if (answer[1] != dap::kInfo) continue;
    if (infoAnswersToPass > 0) {
      --infoAnswersToPass;
      continue;
    }
    if (IsPacketSizeAnswer(answer)) return true;
  }
  return false;
}

// Reads one answer within the shape's timeout. With a progress to tell, the
// wait is cut into slices and the progress hears of every slice that ended
// without an answer.
HidRead ReadAnswer(CHidDevice& device, Report& answer, const ExchangeShape& shape) {
  if (shape.progress == nullptr) {
    return device.ReadReport(answer.data(), shape.readLength, shape.timeoutMs);
  }
  std::uint32_t left = shape.timeoutMs;
  for (;;) {
    const std::uint32_t slice = left < kWaitSliceMs ? left : kWaitSliceMs;
    const HidRead read = device.ReadReport(answer.data(), shape.readLength, slice);
    left -= slice;
    if (read != HidRead::TimedOut || left == 0) return read;
    shape.progress->Waiting();
  }
}

}  // namespace

ExchangeOutcome ExchangeReport(CHidDevice& device, const Report& request, Report& answer,
                               const ExchangeShape& shape) {
  if (device.linkRetired()) return ExchangeOutcome::LinkRetired;
  answer.fill(0);
  const bool written = device.WriteReport(request.data(), shape.writeLength);
  if (!written && !shape.readAfterFailedWrite) return ExchangeOutcome::WriteFailed;
  const HidRead read = ReadAnswer(device, answer, shape);
  if (read == HidRead::TimedOut && !Resynchronise(device, request[1])) device.RetireLink();
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

ExchangeOutcome Link::Send(const Report& request) {
  const ExchangeOutcome outcome = ExchangeReport(device_, request, answer_, shape_);
  if (outcome != ExchangeOutcome::Answered) answer_.fill(0);
  return outcome;
}

}  // namespace dravlopro
