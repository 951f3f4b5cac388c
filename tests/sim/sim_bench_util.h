#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "protocol/report.h"
#include "sim/sim_target.h"
#include "tests/protocol/report_bytes.h"

namespace dravlopro::sim::testing {

// A request frame from the bytes at offset 1 on (report number 0 in front,
// zeros after).
inline Report Request(std::initializer_list<std::uint8_t> bytes) {
  return protocoltest::Frame(0x00, bytes, 0x00);
}

// Drives one SimTarget with raw request reports, the way the tool's requests
// reach it through the adapter.
class TargetDriver {
 public:
  TargetDriver() = default;
  explicit TargetDriver(const SimConfig& config) : target(config) {}

  Report Send(const Report& request) {
    Report answer{};
    answered = target.HandleRequest(request, answer);
    return answer;
  }
  Report Send(std::initializer_list<std::uint8_t> bytes) { return Send(Request(bytes)); }

  // The tool's connect sequence, byte for byte. Returns the DPIDR answer.
  Report Connect(bool underReset = false) {
    Send({0x02, 0x01});
    Send({0x11, 0x40, 0x42, 0x0F, 0x00});
    Send({0x04, 0x00, 0x64, 0x00, 0x00, 0x00});
    Send({0x13, 0x00});
    if (underReset) Send({0x10, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00});
    Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    Send({0x12, 0x10, 0x9E, 0xE7});
    Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    Send({0x12, 0x08, 0x00});
    const Report dpidr = Send({0x05, 0x00, 0x01, 0x02});
    if (GetLe32(&dpidr[4]) == 0) return dpidr;
    Send({0x05, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00});
    Send({0x05, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x50});
    Send({0x05, 0x00, 0x00, 0x06});
    Send({0x08, 0x00, 0x1E, 0x00, 0x00, 0x00});
    Send({0x05, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x54});
    Send({0x05, 0x00, 0x01, 0x04, 0x00, 0x0F, 0x00, 0x50});
    Send({0x05, 0x00, 0x01, 0x01, 0x52, 0x00, 0x00, 0x23});
    Send({0x05, 0x00, 0x01, 0x08, 0xF0, 0x00, 0x00, 0x00});
    Send({0x05, 0x00, 0x01, 0x0B});
    Send({0x10, 0x80, 0x80, 0x00, 0x00, 0x00, 0x00});
    Send({0x05, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00});
    return dpidr;
  }

  // DAP_Transfer: TAR write. Returns the transfer response.
  std::uint8_t SetTar(std::uint32_t address) {
    Report r = Request({0x05, 0x00, 0x01, 0x05});
    PutLe32(&r[5], address);
    return Send(r)[3];
  }

  // TAR, then DAP_TransferBlock writes of up to 14 words. Returns the response.
  std::uint8_t WriteWords(std::uint32_t address, const std::vector<std::uint32_t>& words) {
    const std::uint8_t tar = SetTar(address);
    if (tar != 1) return tar;
    Report r = Request({0x06, 0x00, static_cast<std::uint8_t>(words.size()), 0x00, 0x0D});
    for (std::size_t i = 0; i < words.size() && 6 + 4 * (i + 1) <= r.size(); ++i) {
      PutLe32(&r[6 + 4 * i], words[i]);
    }
    return Send(r)[4];
  }

  // TAR, then one DAP_TransferBlock read of up to 15 words.
  std::vector<std::uint32_t> ReadWords(std::uint32_t address, std::uint8_t count,
                                       std::uint8_t* response = nullptr) {
    SetTar(address);
    const Report answer = Send({0x06, 0x00, count, 0x00, 0x0F});
    if (response != nullptr) *response = answer[4];
    std::vector<std::uint32_t> words;
    for (std::size_t i = 0; i < GetLe16(&answer[2]); ++i)
      words.push_back(GetLe32(&answer[5 + 4 * i]));
    return words;
  }

  std::uint32_t ReadWord(std::uint32_t address) {
    const std::vector<std::uint32_t> words = ReadWords(address, 1);
    return words.empty() ? 0xDEADBEEF : words[0];
  }

  SimTarget target;
  bool answered = false;
};

}  // namespace dravlopro::sim::testing
