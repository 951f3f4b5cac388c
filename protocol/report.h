#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/little_endian.h"

namespace dravlopro {

// One HID report as the adapter exchanges it: the report number at offset 0
// followed by 64 payload bytes. Every offset in the protocol code counts from
// the start of this frame, report number included.
constexpr std::size_t kReportLength = 65;
using Report = std::array<std::uint8_t, kReportLength>;

// Appends request fields from byte 1 on (byte 0 is the report number) and
// touches nothing past the last field written.
class RequestWriter {
 public:
  explicit RequestWriter(Report& report) : report_(report) {}
  RequestWriter& Byte(std::uint8_t value) {
    if (at_ < kReportLength) report_[at_++] = value;
    return *this;
  }
  RequestWriter& Le16(std::uint16_t value) {
    return Byte(static_cast<std::uint8_t>(value)).Byte(static_cast<std::uint8_t>(value >> 8));
  }
  RequestWriter& Le32(std::uint32_t value) {
    return Le16(static_cast<std::uint16_t>(value)).Le16(static_cast<std::uint16_t>(value >> 16));
  }

 private:
  Report& report_;
  std::size_t at_ = 1;
};

}  // namespace dravlopro
