#include "probe/memory.h"

#include <algorithm>

#include "protocol/dap.h"
#include "probe/registers.h"
#include "protocol/transfer.h"

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
  Report request{};
  Report answer{};
  transfer::BuildStatusRead(request);
  SendProbeRequest(device, request, answer);
}

std::uint8_t ReadTargetWords(CHidDevice& device, std::uint32_t address, std::uint32_t* words,
                             std::uint32_t count, bool endWithStatusRead) {
  Report request{};
  Report answer{};
  transfer::BuildTarWrite(request, address);
  SendProbeRequest(device, request, answer);  // a read does not look at the TAR answer

  std::uint32_t done = 0;
  do {
    const std::uint32_t n = ChunkSize(count - done);
    transfer::BeginBlock(request, static_cast<std::uint16_t>(n), dap::kReadApDrw);
    SendProbeRequest(device, request, answer);
    const std::uint8_t status = answer[dap::kBlockStatusOffset];
    if (status != dap::kTransferOk) return status;
    for (std::uint32_t k = 0; k < n; ++k) {
      words[done + k] = GetLe32(&answer[dap::kBlockDataOffset + 4 * k]);
    }
    done += n;
  } while (done < count);

  if (endWithStatusRead) {
    transfer::BuildStatusRead(request);
    SendProbeRequest(device, request, answer);
  }
  return dap::kTransferOk;
}

std::uint8_t WriteTargetWords(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                              std::uint32_t count, bool endWithStatusRead) {
  Report request{};
  Report answer{};
  transfer::BuildTarWrite(request, address);
  SendProbeRequest(device, request, answer);
  if (answer[dap::kTransferStatusOffset] != dap::kTransferOk) {
    return answer[dap::kTransferStatusOffset];
  }

  std::uint32_t done = 0;
  do {
    const std::uint32_t n = ChunkSize(count - done);
    RequestWriter writer =
        transfer::BeginBlock(request, static_cast<std::uint16_t>(n), dap::kWriteApDrw);
    for (std::uint32_t k = 0; k < n; ++k) writer.Le32(words[done + k]);
    SendProbeRequest(device, request, answer);
    const std::uint8_t status = answer[dap::kBlockStatusOffset];
    if (status != dap::kTransferOk) return status;
    done += n;
  } while (done < count);

  if (endWithStatusRead) {
    transfer::BuildStatusRead(request);
    SendProbeRequest(device, request, answer);
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
                             std::uint32_t count) {
  return InPieces(address, words, count,
                  [&device](std::uint32_t at, std::uint32_t* to, std::uint32_t n) {
                    return ReadTargetWords(device, at, to, n, true);
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
