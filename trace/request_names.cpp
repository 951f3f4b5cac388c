#include "trace/request_names.h"

#include <array>
#include <utility>

#include "protocol/dap.h"
#include "protocol/download.h"

namespace dravlopro::trace {

namespace {

constexpr std::array<std::pair<std::uint8_t, std::string_view>, 14> kRequests{{
    {dap::kInfo, "DAP_Info"},
    {dap::kHostStatus, "DAP_HostStatus"},
    {dap::kConnect, "DAP_Connect"},
    {dap::kDisconnect, "DAP_Disconnect"},
    {dap::kTransferConfigure, "DAP_TransferConfigure"},
    {dap::kTransfer, "DAP_Transfer"},
    {dap::kTransferBlock, "DAP_TransferBlock"},
    {dap::kWriteAbort, "DAP_WriteABORT"},
    {dap::kSwjPins, "DAP_SWJ_Pins"},
    {dap::kSwjClock, "DAP_SWJ_Clock"},
    {dap::kSwjSequence, "DAP_SWJ_Sequence"},
    {dap::kSwdConfigure, "DAP_SWD_Configure"},
    {download::kHeaderCommand, "programming header"},
    {download::kDataCommand, "programming data"},
}};

constexpr std::string_view kUnknown = "unknown command";

}  // namespace

std::string_view RequestName(std::uint8_t command) {
  for (const auto& [known, name] : kRequests) {
    if (known == command) return name;
  }
  return kUnknown;
}

}  // namespace dravlopro::trace
