#include <cstdio>

#include "debug/debug_registers.h"
#include "gdb/descriptions.h"
#include "gdb/session.h"

namespace dravlopro::gdb {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The CRC-32 that gdb's compare-sections computes: polynomial 0x04C11DB7,
// most significant bit first, starting from all ones, not inverted at the
// end.
std::uint32_t GdbCrc(std::uint32_t crc, const std::vector<std::uint8_t>& bytes) {
  for (const std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint32_t>(byte) << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
  }
  return crc;
}

constexpr char kHelp[] =
    "monitor reset halt   reset the target and halt on its first instruction\n"
    "monitor reset run    reset the target and let it run\n"
    "monitor reset        the same as reset halt\n"
    "monitor halt         halt the core\n"
    "monitor help         this text\n";

}  // namespace

std::string Session::Query(const std::string& packet) {
  const std::string_view q(packet);
  if (StartsWith(q, "qSupported")) {
    stopReasons_ = q.find("swbreak+") != std::string_view::npos ||
                   q.find("hwbreak+") != std::string_view::npos;
    char reply[200];
    std::snprintf(reply, sizeof reply,
                  "PacketSize=%zx;QStartNoAckMode+;qXfer:features:read+;"
                  "qXfer:memory-map:read+;swbreak+;hwbreak+;vContSupported+",
                  kMaxPacketPayload);
    return reply;
  }
  if (q == "QStartNoAckMode") {
    // The OK still goes with acknowledgements; everything after it without.
    Reply("OK");
    ackMode_ = false;
    return "\x01";
  }
  if (StartsWith(q, "qXfer:")) return Transfer(q.substr(6));
  if (StartsWith(q, "qRcmd,")) return Monitor(q.substr(6));
  if (StartsWith(q, "qCRC:")) return Crc(q.substr(5));
  if (q == "qAttached") return "1";
  if (q == "qC") return "QC1";
  if (q == "qfThreadInfo") return "m1";
  if (q == "qsThreadInfo") return "l";
  if (StartsWith(q, "qSymbol")) return "OK";
  return {};
}

std::string Session::Transfer(std::string_view args) {
  // features:read:target.xml:offset,length or memory-map:read::offset,length
  std::string document;
  std::string_view range;
  if (StartsWith(args, "features:read:target.xml:")) {
    document = TargetDescription();
    range = args.substr(25);
  } else if (StartsWith(args, "memory-map:read::")) {
    document = MemoryMap(target_.flashPageSize());
    range = args.substr(17);
  } else if (StartsWith(args, "features:read:")) {
    return "E00";
  } else {
    return {};
  }
  std::uint32_t offset = 0, length = 0;
  const std::size_t comma = range.find(',');
  if (comma == std::string_view::npos || !ParseHex32(range.substr(0, comma), offset) ||
      !ParseHex32(range.substr(comma + 1), length)) {
    return "E02";
  }
  if (offset >= document.size()) return "l";
  const std::string part = document.substr(offset, length);
  return (offset + part.size() >= document.size() ? "l" : "m") + part;
}

std::string Session::Monitor(std::string_view hexCommand) {
  std::vector<std::uint8_t> bytes;
  if (!FromHex(hexCommand, bytes)) return "E02";
  std::string command(bytes.begin(), bytes.end());
  while (!command.empty() && command.back() == ' ') command.pop_back();
  AccessResult result = AccessResult::Ok;
  if (command == "help") {
    Console(kHelp);
  } else if (command == "reset" || command == "reset halt" || command == "reset run") {
    const bool run = command == "reset run";
    target_.RemoveAll();
    result = target_.Reset(!run);
    if (result == AccessResult::Ok) {
      Console(run ? "target reset, running\n" : "target reset, halted\n");
    }
  } else if (command == "halt") {
    bool halted = false;
    result = target_.PollHalted(halted);
    if (result == AccessResult::Ok && !halted) result = target_.Halt();
    if (result == AccessResult::Ok) {
      std::vector<std::uint32_t> pc;
      result = target_.ReadRegisters({debugreg::regsel::kPc}, pc);
      char text[64];
      std::snprintf(text, sizeof text, "target halted at pc 0x%08x\n", pc.empty() ? 0 : pc[0]);
      if (result == AccessResult::Ok) Console(text);
    }
  } else {
    Console("unknown monitor command \"" + command + "\"; try \"monitor help\"\n");
    return "OK";
  }
  if (result == AccessResult::LinkLost) return Error(result);
  if (result != AccessResult::Ok) {
    Console("the target did not answer\n");
    return "E01";
  }
  return "OK";
}

std::string Session::Crc(std::string_view args) {
  const std::size_t comma = args.find(',');
  std::uint32_t address = 0, length = 0;
  if (comma == std::string_view::npos || !ParseHex32(args.substr(0, comma), address) ||
      !ParseHex32(args.substr(comma + 1), length)) {
    return "E02";
  }
  std::uint32_t crc = 0xFFFFFFFFu;
  // In pieces, so that a large section needs no large buffer.
  constexpr std::uint32_t kPiece = 0x4000;
  for (std::uint32_t done = 0; done < length;) {
    const std::uint32_t n = std::min(kPiece, length - done);
    std::vector<std::uint8_t> bytes;
    const AccessResult result = target_.ReadMemory(address + done, n, bytes);
    if (result != AccessResult::Ok) return Error(result);
    crc = GdbCrc(crc, bytes);
    done += n;
  }
  char reply[16];
  std::snprintf(reply, sizeof reply, "C%08x", crc);
  return reply;
}

std::string Session::VPacket(const std::string& packet) {
  const std::string_view v(packet);
  if (v == "vCont?") return "vCont;c;C;s;S";
  if (StartsWith(v, "vCont;")) {
    // One thread: the first action says what the core does.
    const char action = v.size() > 6 ? v[6] : '\0';
    if (action != 'c' && action != 'C' && action != 's' && action != 'S') return "E02";
    const std::string reply = Resume(action == 's' || action == 'S');
    return reply.empty() ? "\x01" : reply;
  }
  if (StartsWith(v, "vFlash")) return Flash(packet);
  if (StartsWith(v, "vKill")) {
    target_.RemoveAll();
    const AccessResult result = target_.Reset(true);
    return result == AccessResult::Ok ? "OK" : Error(result);
  }
  if (StartsWith(v, "vRun")) {
    target_.RemoveAll();
    const AccessResult result = target_.Reset(true);
    if (result != AccessResult::Ok) return Error(result);
    StopEvent event;
    event.kind = StopEvent::Kind::Reset;
    return StopReply(event);
  }
  return {};
}

std::string Session::Flash(const std::string& packet) {
  const std::string_view v(packet);
  FlashWriter::Outcome outcome = FlashWriter::Outcome::BadRange;
  if (StartsWith(v, "vFlashErase:")) {
    std::uint32_t address = 0, length = 0;
    const std::string_view args = v.substr(12);
    const std::size_t comma = args.find(',');
    if (comma == std::string_view::npos || !ParseHex32(args.substr(0, comma), address) ||
        !ParseHex32(args.substr(comma + 1), length)) {
      return "E02";
    }
    outcome = flash_.Erase(address, length);
  } else if (StartsWith(v, "vFlashWrite:")) {
    const std::string_view args = v.substr(12);
    const std::size_t colon = args.find(':');
    std::uint32_t address = 0;
    if (colon == std::string_view::npos || !ParseHex32(args.substr(0, colon), address)) {
      return "E02";
    }
    const std::string_view data = args.substr(colon + 1);
    outcome = flash_.Write(address, reinterpret_cast<const std::uint8_t*>(data.data()),
                           static_cast<std::uint32_t>(data.size()));
  } else if (v == "vFlashDone") {
    outcome = flash_.Done();
  } else {
    return {};
  }
  switch (outcome) {
    case FlashWriter::Outcome::Ok:
      return "OK";
    case FlashWriter::Outcome::Locked:
      return "E.the target is locked (security lock on): flash left untouched";
    case FlashWriter::Outcome::BadRange:
      return "E.not whole flash pages";
    case FlashWriter::Outcome::Failed:
      return "E.flash programming failed";
    case FlashWriter::Outcome::LinkLost:
      break;
  }
  return Error(AccessResult::LinkLost);
}

}  // namespace dravlopro::gdb
