#include "probe/adapter_control.h"

#include "protocol/dap.h"
#include "protocol/exchange.h"

namespace dravlopro {

namespace {

constexpr std::size_t kVersionTextLength = 5;

}  // namespace

std::string ReadAdapterVersion(CHidDevice& device) {
  Link link(device);
  dap::EncodeInfo(link.request(), dap::kInfoFirmwareVersion);
  link.Send();
  return dap::DecodeInfoText(link.answer(), kVersionTextLength);
}

void SetConnectLed(CHidDevice& device, bool on) {
  Link link(device);
  dap::EncodeHostStatus(link.request(), dap::kIndicatorConnect, on);
  link.Send();
}

}  // namespace dravlopro
