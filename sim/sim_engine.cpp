// The adapter's programming engine.

#include "sim/sim_engine.h"

#include <algorithm>
#include <cstring>

namespace dravlopro::sim {

namespace {
constexpr char kSignature[] = "QWERTZUI";
constexpr std::size_t kSignatureAt = 3;
constexpr std::size_t kOperationAt = 11;
constexpr std::size_t kSizeAt = 13;
constexpr std::size_t kOptionWordsAt = 17;
constexpr std::size_t kCpWordAt = 33;
constexpr std::size_t kPacketCountAt = 2;
constexpr std::size_t kPacketDataAt = 3;
constexpr std::uint32_t kPacketBytes = 62;
constexpr std::uint8_t kEngineVersion = 0x01;
}  // namespace

bool SimEngine::Handle(const Report& request, Report& answer, SimChip& chip) {
  answer.fill(0);
  answer[1] = request[1];
  if (request[1] == kHeader) {
    lastStatus = AcceptHeader(request, chip);
    answer[2] = lastStatus;
    answer[60] = kEngineVersion;
    PutLe32(&answer[61], chip.config().flashSize);
    return true;
  }
  // A data packet.
  ++packetsReceived;
  if (receiving && chip.faults.engineDropPacket && *chip.faults.engineDropPacket == packetIndex) {
    receiving = false;  // the engine has gone astray: no answer, download lost
    pending.clear();
    return false;
  }
  answer[2] = TakePacket(request, chip);
  return true;
}

bool SimEngine::TargetAnswers(SimChip& chip) {
  return !chip.faults.noTarget && chip.Ready() && !chip.faults.fmcNeverDone;
}

std::uint8_t SimEngine::AcceptHeader(const Report& request, SimChip& chip) {
  receiving = false;  // a new header ends any download in progress
  pending.clear();
  packetIndex = 0;

  EngineHeader header;
  header.operation = request[kOperationAt];
  header.imageSize = GetLe32(&request[kSizeAt]);
  for (std::size_t i = 0; i < header.optionWords.size(); ++i) {
    header.optionWords[i] = GetLe32(&request[kOptionWordsAt + 4 * i]);
  }
  header.cpWord = GetLe32(&request[kCpWordAt]);

  std::uint8_t status = kAccepted;
  if (std::memcmp(&request[kSignatureAt], kSignature, 8) != 0) {
    status = kBadHeader;
  } else if (chip.faults.engineRefuseStatus != 0) {
    status = chip.faults.engineRefuseStatus;
  } else if (header.operation == kOpQuery) {
    status = kAccepted;
  } else if (header.operation != kOpDownload) {
    status = kBadOperation;
  } else if (header.imageSize > chip.config().flashSize) {
    status = kTooBig;
  } else if (!TargetAnswers(chip)) {
    status = kNoTarget;
  } else if (header.imageSize == 0) {
    status = chip.EraseAllPages() == 0 ? kAccepted : kFlashFailed;
    if (status == kAccepted) ++fullErases;
  } else if (chip.EraseOptionPage() != 0 || chip.EraseAllPages() != 0) {
    // The engine erases before it takes the image, and says at once when it
    // cannot: the option page goes first, which on a secured target lifts
    // the protection.
    status = kFlashFailed;
  } else {
    receiving = true;
    expectedBytes = header.imageSize;
    pending.reserve(expectedBytes);
  }
  header.status = status;
  headers.push_back(header);
  current = header;
  return status;
}

std::uint8_t SimEngine::TakePacket(const Report& request, SimChip& chip) {
  if (!receiving) return kNoDownload;
  const std::uint32_t count = request[kPacketCountAt];
  const std::uint32_t remaining = expectedBytes - static_cast<std::uint32_t>(pending.size());
  if (count == 0 || count > kPacketBytes || count > remaining) {
    receiving = false;
    pending.clear();
    return kBadPacket;
  }
  ++packetIndex;
  pending.insert(pending.end(), request.begin() + kPacketDataAt,
                 request.begin() + kPacketDataAt + count);
  if (pending.size() < expectedBytes) return kAccepted;
  receiving = false;
  lastStatus = ProgramImage(chip);
  return lastStatus;
}

std::uint8_t SimEngine::ProgramImage(SimChip& chip) {
  // The header erased the option page and the flash.
  for (std::uint32_t at = 0; at < pending.size(); at += 4) {
    std::uint32_t word = 0xFFFFFFFF;
    for (std::uint32_t i = 0; i < 4 && at + i < pending.size(); ++i) {
      word &= ~(0xFFu << (8 * i));
      word |= static_cast<std::uint32_t>(pending[at + i]) << (8 * i);
    }
    if (chip.ProgramWord(map::kFlashBase + at, word) != 0) return kFlashFailed;
  }
  std::uint32_t checksum = 0;
  for (std::uint32_t i = 0; i < 5; ++i) {
    const std::uint32_t word = i < 4 ? current.optionWords[i] : current.cpWord;
    checksum += word;
    if (chip.ProgramWord(map::kOptionBase + 4 * i, word) != 0) return kFlashFailed;
  }
  if (chip.ProgramWord(map::kOptionBase + 4 * option::kChecksumWord, checksum) != 0) {
    return kFlashFailed;
  }
  lastImage = std::move(pending);
  pending.clear();
  ++imagesProgrammed;
  return kAccepted;
}

}  // namespace dravlopro::sim
