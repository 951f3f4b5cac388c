// The adapter's CMSIS-DAP command decoder for the serial-wire port.

#include "sim/sim_dap.h"

namespace dravlopro::sim {

namespace {
constexpr std::uint8_t kDapConnect = 0x02;
constexpr std::uint8_t kDapDisconnect = 0x03;
constexpr std::uint8_t kDapTransferConfigure = 0x04;
constexpr std::uint8_t kDapTransfer = 0x05;
constexpr std::uint8_t kDapTransferBlock = 0x06;
constexpr std::uint8_t kDapTransferAbort = 0x07;
constexpr std::uint8_t kDapWriteAbort = 0x08;
constexpr std::uint8_t kDapDelay = 0x09;
constexpr std::uint8_t kDapResetTarget = 0x0A;
constexpr std::uint8_t kDapSwjPins = 0x10;
constexpr std::uint8_t kDapSwjClock = 0x11;
constexpr std::uint8_t kDapSwjSequence = 0x12;
constexpr std::uint8_t kDapSwdConfigure = 0x13;

constexpr std::uint8_t kDapOk = 0x00;
constexpr std::uint8_t kDapError = 0xFF;
constexpr std::uint8_t kPortDefault = 0;
constexpr std::uint8_t kPortSwd = 1;

constexpr std::uint8_t kReqAp = 0x01;
constexpr std::uint8_t kReqRead = 0x02;
constexpr std::uint8_t kReqAddress = 0x0C;
constexpr std::uint8_t kReqMatchValue = 0x10;
constexpr std::uint8_t kReqMatchMask = 0x20;
constexpr std::uint8_t kReqTimestamp = 0x80;
constexpr std::uint8_t kNResetPin = 0x80;
constexpr std::uint32_t kSwitchToSwd = 0xE79E;
constexpr std::uint32_t kLineResetBits = 50;
}  // namespace

bool SimDap::Knows(std::uint8_t command) {
  switch (command) {
    case kDapConnect:
    case kDapDisconnect:
    case kDapTransferConfigure:
    case kDapTransfer:
    case kDapTransferBlock:
    case kDapTransferAbort:
    case kDapWriteAbort:
    case kDapDelay:
    case kDapResetTarget:
    case kDapSwjPins:
    case kDapSwjClock:
    case kDapSwjSequence:
    case kDapSwdConfigure:
      return true;
    default:
      return false;
  }
}

bool SimDap::Handle(const Report& request, Report& answer, SimChip& chip) {
  const std::uint8_t command = request[1];
  commandLog.push_back(command);
  answer.fill(0);
  answer[1] = command;
  switch (command) {
    case kDapConnect:
      Connect(request, answer);
      break;
    case kDapDisconnect:
      portConnected = false;
      link = Link::kDown;
      answer[2] = kDapOk;
      break;
    case kDapTransferConfigure:
      idleCycles = request[2];
      waitRetries = GetLe16(&request[3]);
      matchRetries = GetLe16(&request[5]);
      answer[2] = kDapOk;
      break;
    case kDapTransfer:
      Transfer(request, answer, chip);
      break;
    case kDapTransferBlock:
      TransferBlock(request, answer, chip);
      break;
    case kDapTransferAbort:
      return false;  // never answered
    case kDapWriteAbort:
      if (!portConnected) {
        answer[2] = kDapError;
      } else {
        std::uint32_t value = GetLe32(&request[3]);
        Access(false, false, 0x0, value, chip);
        answer[2] = kDapOk;
      }
      break;
    case kDapDelay:
      answer[2] = kDapOk;
      break;
    case kDapResetTarget:
      answer[2] = kDapOk;
      answer[3] = 0;  // no device-specific reset sequence
      break;
    case kDapSwjPins:
      SwjPins(request, answer, chip);
      break;
    case kDapSwjClock: {
      const std::uint32_t hz = GetLe32(&request[2]);
      if (hz == 0) {
        answer[2] = kDapError;
      } else {
        clockHz = hz;
        answer[2] = kDapOk;
      }
      break;
    }
    case kDapSwjSequence:
      SwjSequence(request);
      answer[2] = kDapOk;
      break;
    case kDapSwdConfigure:
      swdConfig = request[2];
      answer[2] = kDapOk;
      break;
    default:
      answer[1] = 0xFF;  // DAP_Invalid
      break;
  }
  return true;
}

void SimDap::Connect(const Report& request, Report& answer) {
  const std::uint8_t port = request[2];
  if (port != kPortDefault && port != kPortSwd) {
    answer[2] = 0;  // only the serial-wire port is built in
    return;
  }
  portConnected = true;
  link = Link::kDown;
  onesRun_ = 0;
  collecting_ = false;
  answer[2] = kPortSwd;
}

void SimDap::SwjPins(const Report& request, Report& answer, SimChip& chip) {
  const std::uint8_t output = request[2];
  const std::uint8_t selectMask = request[3];
  pinOutputs = static_cast<std::uint8_t>((pinOutputs & ~selectMask) | (output & selectMask));
  if ((selectMask & kNResetPin) != 0) {
    nResetHigh = (output & kNResetPin) != 0;
    nResetHistory.push_back(nResetHigh);
    chip.SetResetLine(!nResetHigh);
  }
  answer[2] = static_cast<std::uint8_t>((pinOutputs & ~kNResetPin) | (nResetHigh ? kNResetPin : 0));
}

void SimDap::SwjSequence(const Report& request) {
  const std::uint32_t bits = request[2] == 0 ? 256 : request[2];
  for (std::uint32_t i = 0; i < bits; ++i) {
    const std::size_t byte = 3 + i / 8;
    if (byte >= request.size()) break;
    if (portConnected) SequenceBit(((request[byte] >> (i % 8)) & 1) != 0);
  }
}

void SimDap::SequenceBit(bool one) {
  if (collecting_) {
    collected_ |= (one ? 1u : 0u) << collectedBits_;
    if (++collectedBits_ == 16) {
      collecting_ = false;
      if (collected_ == kSwitchToSwd && link == Link::kDown) link = Link::kSwitched;
    }
  } else if (!one && onesRun_ >= kLineResetBits && link == Link::kDown) {
    collecting_ = true;  // this zero is the first bit of a possible switch sequence
    collected_ = 0;
    collectedBits_ = 1;
  }
  onesRun_ = one ? onesRun_ + 1 : 0;
  if (onesRun_ == kLineResetBits && link != Link::kDown) link = Link::kLineReset;
}

void SimDap::Transfer(const Report& request, Report& answer, SimChip& chip) {
  const std::uint8_t count = request[3];
  std::uint8_t done = 0;
  std::uint8_t response = 0;
  TransferCursor cursor{request, answer};
  for (std::uint8_t i = 0; portConnected && i < count; ++i) {
    if (cursor.in >= request.size()) {
      response = ack::kProtocolError;
      break;
    }
    const std::uint8_t req = request[cursor.in++];
    const std::uint8_t result =
        (req & kReqRead) != 0 ? TransferRead(req, cursor, chip) : TransferWrite(req, cursor, chip);
    if (result != ack::kOk) {
      response = result;
      break;
    }
    timestamp_ += 1000;
    response = ack::kOk;
    ++done;
  }
  answer[2] = done;
  answer[3] = response;
}

std::uint8_t SimDap::TransferRead(std::uint8_t req, TransferCursor& cursor, SimChip& chip) {
  const bool accessPort = (req & kReqAp) != 0;
  const std::uint8_t address = req & kReqAddress;
  const std::size_t stampBytes = (req & kReqTimestamp) != 0 ? 4 : 0;
  const bool match = (req & kReqMatchValue) != 0;
  std::uint32_t expected = 0;
  if (match) {
    if (cursor.in + 4 > cursor.request.size()) return ack::kProtocolError;
    expected = GetLe32(&cursor.request[cursor.in]);
    cursor.in += 4;
  } else if (cursor.out + stampBytes + 4 > cursor.answer.size()) {
    return ack::kProtocolError;
  }
  std::uint32_t value = 0;
  if (match) return ReadMatching(accessPort, address, expected, chip);
  const std::uint8_t result = Access(accessPort, true, address, value, chip);
  if (result != ack::kOk) return result;
  if (stampBytes != 0) {
    PutLe32(&cursor.answer[cursor.out], timestamp_);
    cursor.out += 4;
  }
  PutLe32(&cursor.answer[cursor.out], value);
  cursor.out += 4;
  return ack::kOk;
}

// A read with value match: read again, up to the match retries, until the
// masked value is the one expected; nothing goes into the answer.
std::uint8_t SimDap::ReadMatching(bool accessPort, std::uint8_t address, std::uint32_t expected,
                                  SimChip& chip) {
  std::uint32_t value = 0;
  std::uint32_t tries = 0;
  std::uint8_t result = ack::kOk;
  do {
    result = Access(accessPort, true, address, value, chip);
  } while (result == ack::kOk && (value & matchMask) != expected && tries++ < matchRetries);
  if (result != ack::kOk) return result;
  return (value & matchMask) != expected ? ack::kOk | ack::kMismatch : ack::kOk;
}

std::uint8_t SimDap::TransferWrite(std::uint8_t req, TransferCursor& cursor, SimChip& chip) {
  if (cursor.in + 4 > cursor.request.size()) return ack::kProtocolError;
  std::uint32_t value = GetLe32(&cursor.request[cursor.in]);
  cursor.in += 4;
  if ((req & kReqMatchMask) != 0) {
    matchMask = value;
  } else {
    const std::uint8_t result = Access((req & kReqAp) != 0, false, req & kReqAddress, value, chip);
    if (result != ack::kOk) return result;
  }
  if ((req & kReqTimestamp) != 0 && cursor.out + 4 <= cursor.answer.size()) {
    PutLe32(&cursor.answer[cursor.out], timestamp_);
    cursor.out += 4;
  }
  return ack::kOk;
}

void SimDap::TransferBlock(const Report& request, Report& answer, SimChip& chip) {
  const std::uint16_t count = GetLe16(&request[3]);
  const std::uint8_t req = request[5];
  const bool accessPort = (req & kReqAp) != 0;
  const bool read = (req & kReqRead) != 0;
  const std::uint8_t address = req & kReqAddress;
  std::uint16_t done = 0;
  std::uint8_t response = 0;
  for (std::uint16_t i = 0; portConnected && i < count; ++i) {
    const std::size_t at = read ? 5 + 4 * std::size_t{i} : 6 + 4 * std::size_t{i};
    if (at + 4 > request.size()) {
      response = ack::kProtocolError;  // more words than one report carries
      break;
    }
    std::uint32_t value = read ? 0 : GetLe32(&request[at]);
    const std::uint8_t result = Access(accessPort, read, address, value, chip);
    if (result != ack::kOk) {
      response = result;
      break;
    }
    if (read) PutLe32(&answer[at], value);
    response = ack::kOk;
    ++done;
  }
  PutLe16(&answer[2], done);
  answer[4] = response;
}

}  // namespace dravlopro::sim
