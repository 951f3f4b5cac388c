#include "debug/access_batch.h"

#include <optional>

#include "base/little_endian.h"
#include "probe/registers.h"
#include "protocol/dap.h"
#include "protocol/exchange.h"

namespace dravlopro {

namespace {

// Request bytes 4 to 64 carry the transfers, answer bytes 4 to 64 the words
// read.
constexpr std::size_t kRequestRoom = kReportLength - 4;
constexpr std::size_t kAnswerWords = (kReportLength - 4) / 4;
constexpr std::size_t kMaxTransfers = 255;

// Where TAR points after an access at this address: the auto-increment
// stays inside its block.
std::uint32_t NextTar(std::uint32_t address) {
  const std::uint32_t block = address & ~(swd::kTarIncrementBlock - 1);
  return block | ((address + 4) & (swd::kTarIncrementBlock - 1));
}

}  // namespace

void AccessBatch::Write(std::uint32_t address, std::uint32_t value) {
  ops_.push_back({false, address, value, nullptr});
}

void AccessBatch::Read(std::uint32_t address, std::uint32_t* into) {
  ops_.push_back({true, address, 0, into});
}

AccessResult AccessBatch::Run(CHidDevice& device) {
  const std::vector<Op> ops = std::move(ops_);
  ops_.clear();
  Link link(device);
  requests_ = 0;
  std::optional<std::uint32_t> tar;
  std::size_t next = 0;
  AccessResult result = AccessResult::Ok;
  while (next < ops.size()) {
    Report& request = link.cleared();
    std::size_t used = 0;
    std::size_t transfers = 0;
    std::size_t reads = 0;
    std::vector<std::uint32_t*> targets;
    std::optional<std::uint32_t> tarAfter = tar;
    RequestWriter writer = dap::BeginTransfer(request, 0);
    while (next < ops.size()) {
      const Op& op = ops[next];
      const bool needTar = tarAfter != op.address;
      const std::size_t bytes = (needTar ? 5 : 0) + (op.read ? 1 : 5);
      const std::size_t count = (needTar ? 1 : 0) + 1;
      if (used + bytes > kRequestRoom || transfers + count > kMaxTransfers ||
          (op.read && reads + 1 > kAnswerWords)) {
        break;
      }
      if (needTar) writer.Byte(dap::kWriteApTar).Le32(op.address);
      if (op.read) {
        writer.Byte(dap::kReadApDrw);
        targets.push_back(op.into);
        ++reads;
      } else {
        writer.Byte(dap::kWriteApDrw).Le32(op.value);
      }
      used += bytes;
      transfers += count;
      tarAfter = NextTar(op.address);
      ++next;
    }
    request[3] = static_cast<std::uint8_t>(transfers);
    ++requests_;
    if (link.Send() != ExchangeOutcome::Answered) return AccessResult::LinkLost;
    const dap::TransferAnswer answer = dap::DecodeTransfer(link.answer());
    if (answer.status == dap::kTransferNoAnswer) return AccessResult::LinkLost;
    if (answer.status != dap::kTransferOk || answer.count != transfers) {
      result = AccessResult::Fault;
      break;
    }
    for (std::size_t k = 0; k < targets.size(); ++k) {
      if (targets[k] != nullptr) *targets[k] = GetLe32(&link.answer()[4 + 4 * k]);
    }
    tar = tarAfter;
  }
  if (result == AccessResult::Fault) ClearStickyErrors(device);
  return result;
}

void ClearStickyErrors(CHidDevice& device) {
  Link link(device);
  dap::EncodeWriteAbort(link.cleared(), swd::kAbortClearAll);
  link.Send();
}

}  // namespace dravlopro
