#include <algorithm>

#include "debug/target.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/dap.h"
#include "protocol/exchange.h"

namespace dravlopro {

namespace {

// Reads of at most this many words go in one transfer request; longer ones
// use the block transfers.
constexpr std::uint32_t kBatchWords = 12;
// The words that follow a TAR write in one transfer request: 60 of its 61
// bytes.
constexpr std::uint32_t kWordsAfterTar = 11;
// Memory below this address (code and SRAM) does not change while the core
// is halted, so what was read of it is kept until the core runs again.
constexpr std::uint32_t kKeptBelow = 0x40000000;

}  // namespace

AccessResult DebugTarget::ReadWords(std::uint32_t address, std::uint32_t count,
                                    std::uint32_t* words) {
  if (linkLost_) return AccessResult::LinkLost;
  if (count <= kBatchWords) {
    AccessBatch batch;
    for (std::uint32_t i = 0; i < count; ++i) batch.Read(address + 4 * i, &words[i]);
    return Run(batch);
  }
  return Outcome(ReadTargetBlock(device_, address, words, count));
}

AccessResult DebugTarget::Outcome(std::uint8_t status) {
  if (status == dap::kTransferOk) return AccessResult::Ok;
  if (status == dap::kTransferNoAnswer || device_.linkRetired()) {
    linkLost_ = true;
    return AccessResult::LinkLost;
  }
  ClearStickyErrors(device_);
  return AccessResult::Fault;
}

AccessResult DebugTarget::WriteWords(std::uint32_t address, const std::uint32_t* words,
                                     std::uint32_t count) {
  if (count <= kBatchWords) {
    AccessBatch batch;
    for (std::uint32_t i = 0; i < count; ++i) batch.Write(address + 4 * i, words[i]);
    return Run(batch);
  }
  return WriteBlock(address, words, count);
}

AccessResult DebugTarget::WriteBlock(std::uint32_t address, const std::uint32_t* words,
                                     std::uint32_t count) {
  if (linkLost_) return AccessResult::LinkLost;
  Link link(device_);
  // Each answer is checked: a refused word ends the write there.
  auto answered = [&](bool block) -> AccessResult {
    const bool sent = link.Send() == ExchangeOutcome::Answered;
    return Outcome(!sent   ? dap::kTransferNoAnswer
                   : block ? dap::DecodeTransferBlock(link.answer(), {})
                           : dap::DecodeTransfer(link.answer()).status);
  };
  while (count > 0) {
    // A piece ends at the 1 KB boundary where the address increment wraps.
    const std::uint32_t toBoundary =
        (swd::kTarIncrementBlock - (address & (swd::kTarIncrementBlock - 1))) / 4;
    std::uint32_t piece = std::min(count, toBoundary);
    const std::uint32_t first = std::min(piece, kWordsAfterTar);
    RequestWriter writer = dap::BeginTransfer(link.cleared(), static_cast<std::uint8_t>(first + 1));
    writer.Byte(dap::kWriteApTar).Le32(address);
    for (std::uint32_t k = 0; k < first; ++k) writer.Byte(dap::kWriteApDrw).Le32(words[k]);
    if (const AccessResult r = answered(false); r != AccessResult::Ok) return r;
    for (std::uint32_t done = first; done < piece;) {
      const std::uint32_t n = std::min(piece - done, dap::kMaxBlockWords);
      RequestWriter block =
          dap::BeginTransferBlock(link.cleared(), static_cast<std::uint16_t>(n), dap::kWriteApDrw);
      for (std::uint32_t k = 0; k < n; ++k) block.Le32(words[done + k]);
      if (const AccessResult r = answered(true); r != AccessResult::Ok) return r;
      done += n;
    }
    address += 4 * piece;
    words += piece;
    count -= piece;
  }
  return AccessResult::Ok;
}

AccessResult DebugTarget::ReadMemory(std::uint32_t address, std::uint32_t length,
                                     std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (length == 0) return AccessResult::Ok;
  const std::uint64_t end = std::uint64_t{address} + length;
  if (end > 0x100000000u) return AccessResult::Fault;
  const std::uint32_t first = address & ~3u;
  const auto count = static_cast<std::uint32_t>((end - first + 3) / 4);
  std::vector<std::uint32_t> words(count);

  // What is kept is taken from there; the rest is read in runs of words.
  const bool keep = halted_ && end <= kKeptBelow;
  std::uint32_t i = 0;
  while (i < count) {
    if (keep && memory_.count(first + 4 * i) != 0) {
      words[i] = memory_[first + 4 * i];
      ++i;
      continue;
    }
    std::uint32_t n = 1;
    while (i + n < count && !(keep && memory_.count(first + 4 * (i + n)) != 0)) ++n;
    const AccessResult result = ReadWords(first + 4 * i, n, &words[i]);
    if (result != AccessResult::Ok) return result;
    if (keep) {
      for (std::uint32_t k = 0; k < n; ++k) memory_[first + 4 * (i + k)] = words[i + k];
    }
    i += n;
  }
  bytes.resize(length);
  for (std::uint32_t k = 0; k < length; ++k) {
    const std::uint32_t at = address + k - first;
    bytes[k] = static_cast<std::uint8_t>(words[at / 4] >> (8 * (at % 4)));
  }
  return AccessResult::Ok;
}

AccessResult DebugTarget::WriteMemory(std::uint32_t address, const std::uint8_t* bytes,
                                      std::uint32_t length) {
  if (length == 0) return AccessResult::Ok;
  const std::uint64_t end = std::uint64_t{address} + length;
  if (end > 0x100000000u) return AccessResult::Fault;
  // Flash is written only through the flash commands.
  if (address < kSramBase) return AccessResult::Fault;
  const std::uint32_t first = address & ~3u;
  const auto count = static_cast<std::uint32_t>((end - first + 3) / 4);
  std::vector<std::uint32_t> words(count, 0);
  // Partly written words at either end are read first, and keep their other
  // bytes.
  const bool headPartial = address != first;
  const bool tailPartial = end % 4 != 0;
  if (headPartial || (tailPartial && count == 1)) {
    if (const AccessResult r = ReadWords(first, 1, &words[0]); r != AccessResult::Ok) return r;
  }
  if (tailPartial && count > 1) {
    const AccessResult r = ReadWords(first + 4 * (count - 1), 1, &words[count - 1]);
    if (r != AccessResult::Ok) return r;
  }
  for (std::uint32_t k = 0; k < length; ++k) {
    const std::uint32_t at = address + k - first;
    const std::uint32_t shift = 8 * (at % 4);
    words[at / 4] = (words[at / 4] & ~(0xFFu << shift)) | (std::uint32_t{bytes[k]} << shift);
  }
  for (std::uint32_t k = 0; k < count; ++k) memory_.erase(first + 4 * k);
  const AccessResult result = WriteWords(first, words.data(), count);
  if (result == AccessResult::Ok && halted_ && end <= kKeptBelow) {
    for (std::uint32_t k = 0; k < count; ++k) memory_[first + 4 * k] = words[k];
  }
  return result;
}

}  // namespace dravlopro
