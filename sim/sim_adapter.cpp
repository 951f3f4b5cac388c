#include "sim/sim_adapter.h"

#include <algorithm>

namespace dravlopro::sim {

namespace {
constexpr std::uint8_t kDapInfo = 0x00;
constexpr std::uint8_t kDapHostStatus = 0x01;
constexpr std::uint8_t kInfoFirmwareVersion = 0x04;
constexpr std::uint8_t kInfoPacketSize = 0xFF;
// Payload bytes of one HID report, behind the report number.
constexpr std::uint16_t kPacketSize = 64;
}  // namespace

SimAdapter::SimAdapter(std::string version) : versionText(std::move(version)) {}

bool SimAdapter::Exchange(const Report& request, Report& answer) {
  answer.fill(0);
  switch (request[1]) {
    case kDapInfo: {
      answer[1] = kDapInfo;
      if (request[2] == kInfoFirmwareVersion) {
        // The text goes out with its terminating zero counted, as CMSIS-DAP
        // firmware reports strings.
        const std::size_t n = std::min<std::size_t>(versionText.size(), 60);
        answer[2] = static_cast<std::uint8_t>(n == 0 ? 0 : n + 1);
        std::copy_n(versionText.begin(), n, answer.begin() + 3);
      } else if (request[2] == kInfoPacketSize) {
        answer[2] = 2;
        PutLe16(&answer[3], kPacketSize);
      }
      return true;
    }
    case kDapHostStatus: {
      answer[1] = kDapHostStatus;
      if (request[2] == 0) {  // the connect indicator
        ledOn = request[3] != 0;
        ledHistory.push_back(ledOn);
      }
      return true;
    }
    default:
      return target.HandleRequest(request, answer);
  }
}

}  // namespace dravlopro::sim
