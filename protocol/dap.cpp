#include "protocol/dap.h"

#include <algorithm>

#include "protocol/exchange.h"

namespace dravlopro {

void SendProbeRequest(CHidDevice& device, const Report& request, Report& answer) {
  // Whatever went wrong, the callers see an answer of zeros, which no
  // status check accepts.
  if (ExchangeReport(device, request, answer) != ExchangeOutcome::Answered) answer.fill(0);
}

std::string ReadAdapterVersion(CHidDevice& device) {
  Report request{};
  Report answer{};
  RequestWriter(request).Byte(dap::kInfo).Byte(dap::kInfoFirmwareVersion);
  SendProbeRequest(device, request, answer);
  const std::size_t length = std::min<std::size_t>(answer[2], 5);
  std::string text(answer.begin() + 3, answer.begin() + 3 + static_cast<std::ptrdiff_t>(length));
  return text.substr(0, text.find('\0'));
}

void SetConnectLed(CHidDevice& device, bool on) {
  Report request{};
  Report answer{};
  RequestWriter(request).Byte(dap::kHostStatus).Byte(dap::kIndicatorConnect).Byte(on ? 1 : 0);
  SendProbeRequest(device, request, answer);
}

}  // namespace dravlopro
