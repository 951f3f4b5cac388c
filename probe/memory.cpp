#include "probe/memory.h"

#include <algorithm>
#include <array>

#include "probe/registers.h"
#include "protocol/dap.h"
#include "protocol/exchange.h"

namespace dravlopro {

namespace {

std::uint32_t ChunkSize(std::uint32_t remaining) {
  return std::min(remaining, dap::kMaxBlockWords);
}

// The words one TAR setting may serve from this address: at most a piece,
// and never across a boundary of the access port's auto-increment block.
std::uint32_t PieceSize(std::uint32_t address, std::uint32_t remaining) {
  const std::uint32_t offset = address & (swd::kTarIncrementBlock - 1);
  const std::uint32_t toBoundary = (swd::kTarIncrementBlock - offset + 3) / 4;
  return std::min({remaining, swd::kPieceWords, toBoundary});
}

}  // namespace

void SendStatusRead(CHidDevice& device) {
  Link link(device);
  dap::EncodeStatusRead(link.request());
  link.Send();
}

std::uint8_t ReadTargetWords(CHidDevice& device, std::uint32_t address, std::uint32_t* words,
                             std::uint32_t count, bool endWithStatusRead) {
  Link link(device);
  dap::EncodeTarWrite(link.request(), address);
  link.Send();  // a read does not look at the TAR answer

  std::uint32_t done = 0;
  do {
    const std::uint32_t n = ChunkSize(count - done);
    dap::BeginTransferBlock(link.request(), static_cast<std::uint16_t>(n), dap::kReadApDrw);
    link.Send();
    std::array<std::uint32_t, dap::kMaxBlockWords> received{};
    const std::uint8_t status = dap::DecodeTransferBlock(link.answer(), received);
    if (status != dap::kTransferOk) return status;
    std::copy_n(received.begin(), n, words + done);
    done += n;
  } while (done < count);

  if (endWithStatusRead) {
    dap::EncodeStatusRead(link.request());
    link.Send();
  }
  return dap::kTransferOk;
}

std::uint8_t WriteTargetWords(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                              std::uint32_t count, bool endWithStatusRead) {
  Link link(device);
  dap::EncodeTarWrite(link.request(), address);
  link.Send();
  const std::uint8_t tarStatus = dap::DecodeTransfer(link.answer()).status;
  if (tarStatus != dap::kTransferOk) return tarStatus;

  std::uint32_t done = 0;
  do {
    const std::uint32_t n = ChunkSize(count - done);
    RequestWriter writer =
        dap::BeginTransferBlock(link.request(), static_cast<std::uint16_t>(n), dap::kWriteApDrw);
    for (std::uint32_t k = 0; k < n; ++k) writer.Le32(words[done + k]);
    link.Send();
    const std::uint8_t status = dap::DecodeTransferBlock(link.answer(), {});
    if (status != dap::kTransferOk) return status;
    done += n;
  } while (done < count);

  if (endWithStatusRead) {
    dap::EncodeStatusRead(link.request());
    link.Send();
  }
  return dap::kTransferOk;
}

namespace {

// Runs a word operation piece by piece: at most 256 words each, and never
// across a 1 KB boundary, where the access port's address increment wraps.
template <typename Word, typename Operation>
std::uint8_t InPieces(std::uint32_t address, Word* words, std::uint32_t count,
                      Operation operation) {
  std::uint32_t remaining = count;
  std::uint8_t status;
  do {
    const std::uint32_t piece = PieceSize(address, remaining);
    status = operation(address, words, piece);
    address += piece * 4;
    words += piece;
    remaining -= piece;
  } while (remaining > 0 && status == dap::kTransferOk);
  return status;
}

}  // namespace

std::uint8_t ReadTargetBlock(CHidDevice& device, std::uint32_t address, std::uint32_t* words,
                             std::uint32_t count, Progress& progress) {
  const std::uint64_t totalBytes = std::uint64_t{4} * count;
  std::uint64_t doneBytes = 0;
  progress.Update(doneBytes, totalBytes);
  return InPieces(address, words, count, [&](std::uint32_t at, std::uint32_t* to, std::uint32_t n) {
    const std::uint8_t status = ReadTargetWords(device, at, to, n, true);
    doneBytes += std::uint64_t{4} * n;
    if (status == dap::kTransferOk) progress.Update(doneBytes, totalBytes);
    return status;
  });
}

std::uint8_t WriteTargetBlock(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                              std::uint32_t count) {
  return InPieces(address, words, count,
                  [&device](std::uint32_t at, const std::uint32_t* from, std::uint32_t n) {
                    return WriteTargetWords(device, at, from, n, true);
                  });
}

}  // namespace dravlopro
