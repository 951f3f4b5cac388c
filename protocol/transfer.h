#pragma once

#include <cstdint>

#include "protocol/dap.h"

// Builders of the DAP_Transfer and DAP_TransferBlock requests the target
// operations send. Each writes only its own fields from byte 1 on, so bytes
// past them keep what an earlier request of the same operation left there.
namespace dravlopro::transfer {

// DAP_Transfer header: DAP index 0 and the number of transfers that follow.
inline RequestWriter Begin(Report& request, std::uint8_t transfers) {
  RequestWriter writer(request);
  writer.Byte(dap::kTransfer).Byte(0).Byte(transfers);
  return writer;
}

// One write of TAR.
inline void BuildTarWrite(Report& request, std::uint32_t address) {
  Begin(request, 1).Byte(dap::kWriteApTar).Le32(address);
}

// The closing read of DP CTRL/STAT.
inline void BuildStatusRead(Report& request) { Begin(request, 1).Byte(dap::kReadDpCtrlStat); }

// TAR and one DRW write in one request.
inline void BuildWordWrite(Report& request, std::uint32_t address, std::uint32_t value) {
  Begin(request, 2).Byte(dap::kWriteApTar).Le32(address).Byte(dap::kWriteApDrw).Le32(value);
}

// TAR and one DRW read in one request.
inline void BuildWordRead(Report& request, std::uint32_t address) {
  Begin(request, 2).Byte(dap::kWriteApTar).Le32(address).Byte(dap::kReadApDrw);
}

// DAP_TransferBlock header for count accesses of one register; the words of
// a write follow through the returned writer.
inline RequestWriter BeginBlock(Report& request, std::uint16_t count, std::uint8_t access) {
  RequestWriter writer(request);
  writer.Byte(dap::kTransferBlock).Byte(0).Le16(count).Byte(access);
  return writer;
}

}  // namespace dravlopro::transfer
