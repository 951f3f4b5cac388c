#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "adapter/hid_device.h"
#include "protocol/report.h"

namespace dravlopro {

// CMSIS-DAP command codes, as byte 1 of a request.
namespace dap {
constexpr std::uint8_t kInfo = 0x00;
constexpr std::uint8_t kHostStatus = 0x01;
constexpr std::uint8_t kConnect = 0x02;
constexpr std::uint8_t kTransferConfigure = 0x04;
constexpr std::uint8_t kTransfer = 0x05;
constexpr std::uint8_t kTransferBlock = 0x06;
constexpr std::uint8_t kWriteAbort = 0x08;
constexpr std::uint8_t kSwjPins = 0x10;
constexpr std::uint8_t kSwjClock = 0x11;
constexpr std::uint8_t kSwjSequence = 0x12;
constexpr std::uint8_t kSwdConfigure = 0x13;

constexpr std::uint8_t kInfoFirmwareVersion = 0x04;
constexpr std::uint8_t kConnectSwd = 0x01;
constexpr std::uint8_t kIndicatorConnect = 0x00;

// Transfer request bytes: bit 0 AP, bit 1 read, bits 2-3 A[3:2].
constexpr std::uint8_t kWriteApCsw = 0x01;
constexpr std::uint8_t kReadDpIdr = 0x02;
constexpr std::uint8_t kWriteDpCtrlStat = 0x04;
constexpr std::uint8_t kWriteApTar = 0x05;
constexpr std::uint8_t kReadDpCtrlStat = 0x06;
constexpr std::uint8_t kWriteDpSelect = 0x08;
constexpr std::uint8_t kReadApBank8 = 0x0B;
constexpr std::uint8_t kWriteApDrw = 0x0D;
constexpr std::uint8_t kReadApDrw = 0x0F;

// Where the transfer status sits in an answer.
constexpr std::size_t kTransferStatusOffset = 3;
constexpr std::size_t kTransferDataOffset = 4;
constexpr std::size_t kBlockStatusOffset = 4;
constexpr std::size_t kBlockDataOffset = 5;
constexpr std::uint8_t kTransferOk = 1;
// At most 14 words travel in one DAP_TransferBlock.
constexpr std::uint32_t kMaxBlockWords = 14;
}  // namespace dap

// Appends request fields from byte 1 on (byte 0 is the report number).
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

// One request, then its one answer. An answer that does not come, or that
// does not echo the request's command byte, leaves the answer zero-filled;
// a late answer is never taken by a later request.
void SendProbeRequest(CHidDevice& device, const Report& request, Report& answer);

// The adapter's firmware version text, at most 5 characters.
std::string ReadAdapterVersion(CHidDevice& device);

// Switches the adapter's connect indicator.
void SetConnectLed(CHidDevice& device, bool on);

}  // namespace dravlopro
