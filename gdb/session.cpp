#include "gdb/session.h"

#include <cstdio>

#include "debug/debug_registers.h"
#include "gdb/descriptions.h"

namespace dravlopro::gdb {

namespace {

constexpr char kBadArguments[] = "E02";
constexpr char kMemoryFault[] = "E01";
constexpr char kLinkLostReply[] = "E.the adapter was lost";

// "a,b" (or "a,b:rest"): two hex numbers.
bool TwoNumbers(std::string_view args, std::uint32_t& a, std::uint32_t& b,
                std::string_view* rest = nullptr) {
  const std::size_t comma = args.find(',');
  if (comma == std::string_view::npos) return false;
  std::string_view second = args.substr(comma + 1);
  const std::size_t colon = second.find(':');
  if (rest != nullptr) {
    if (colon == std::string_view::npos) return false;
    *rest = second.substr(colon + 1);
    second = second.substr(0, colon);
  } else if (colon != std::string_view::npos) {
    return false;
  }
  return ParseHex32(args.substr(0, comma), a) && ParseHex32(second, b);
}

}  // namespace

Session::Session(DebugTarget& target, std::function<bool(std::string_view)> send)
    : target_(target), send_(std::move(send)), flash_(target) {}

void Session::SendRaw(std::string_view bytes) {
  if (!send_(bytes) && end_ == End::None) {
    end_ = End::Detached;
    problem_ = "the client's connection broke";
  }
}

void Session::Reply(std::string_view payload) {
  lastReply_ = EncodePacket(payload);
  SendRaw(lastReply_);
}

void Session::Console(std::string_view text) { SendRaw(EncodePacket("O" + ToHex(text))); }

std::string Session::Error(AccessResult result) {
  if (result == AccessResult::LinkLost) {
    end_ = End::LinkLost;
    problem_ = "the adapter was lost";
    return kLinkLostReply;
  }
  return kMemoryFault;
}

void Session::Feed(const std::uint8_t* data, std::size_t size) {
  std::vector<InputEvent> events;
  reader_.Feed(data, size, events);
  for (const InputEvent& event : events) {
    if (end_ != End::None) return;
    Handle(event);
  }
}

void Session::Handle(const InputEvent& event) {
  switch (event.kind) {
    case InputEvent::Kind::Ack:
      return;
    case InputEvent::Kind::Nack:
      if (ackMode_ && !lastReply_.empty()) SendRaw(lastReply_);
      return;
    case InputEvent::Kind::BadChecksum:
      if (ackMode_) SendRaw("-");
      return;
    case InputEvent::Kind::Interrupt:
      if (running_) {
        const AccessResult halted = target_.Halt();
        if (halted == AccessResult::LinkLost) {
          Error(halted);
          return;
        }
        if (halted != AccessResult::Ok) {
          // Still running: gdb keeps waiting, and may ask again.
          Console("dravlopro-gdb: the core did not halt within 1 s\n");
          return;
        }
        SendStop();
      }
      return;
    case InputEvent::Kind::TooLong:
      if (ackMode_) SendRaw("+");
      Reply(kBadArguments);
      return;
    case InputEvent::Kind::Packet:
      if (ackMode_) SendRaw("+");
      Dispatch(event.payload);
      return;
  }
}

void Session::Dispatch(const std::string& packet) {
  if (running_) {
    // Only the interrupt byte is for a running core.
    return;
  }
  const char kind = packet.empty() ? '\0' : packet[0];
  const std::string_view args = std::string_view(packet).substr(packet.empty() ? 0 : 1);
  std::string reply;
  switch (kind) {
    case '?':
      reply = Halted();
      break;
    case 'g':
      reply = ReadRegisters();
      break;
    case 'G':
      reply = WriteRegisters(args);
      break;
    case 'p':
      reply = ReadRegister(args);
      break;
    case 'P':
      reply = WriteRegister(args);
      break;
    case 'm':
      reply = ReadMemory(args);
      break;
    case 'M':
      reply = WriteMemory(args, false);
      break;
    case 'X':
      reply = WriteMemory(args, true);
      break;
    case 'c':
    case 'C':
    case 's':
    case 'S':
      // A resume address or a signal is of no use on a bare core: the core
      // goes on from where it is.
      reply = Resume(kind == 's' || kind == 'S');
      if (reply.empty()) return;  // the stop reply comes later, or was sent
      break;
    case 'Z':
    case 'z':
      reply = Breakpoint(packet);
      break;
    case 'q':
    case 'Q':
      reply = Query(packet);
      break;
    case 'v':
      reply = VPacket(packet);
      break;
    case 'H':
    case 'T':
    case '!':
      reply = "OK";
      break;
    case 'D':
      Detach();
      Reply("OK");
      end_ = End::Detached;
      return;
    case 'k': {
      target_.RemoveAll();
      target_.Reset(false);
      end_ = target_.linkLost() ? End::LinkLost : End::Killed;
      return;
    }
    default:
      reply.clear();  // unknown: the empty reply
      break;
  }
  if (reply == "\x01") return;  // answered already, or the stop reply comes later
  if (end_ == End::LinkLost) {
    Reply(kLinkLostReply);
    return;
  }
  Reply(reply);
}

std::string Session::Halted() {
  bool halted = false;
  const AccessResult polled = target_.PollHalted(halted);
  if (polled != AccessResult::Ok) return Error(polled);
  StopEvent event;
  if (!halted) {
    // All-stop debugging needs a halted core: the first question halts it.
    const AccessResult result = target_.Halt();
    if (result != AccessResult::Ok) return Error(result);
    event.kind = StopEvent::Kind::Interrupt;
  }
  return StopReply(event);
}

std::string Session::StopReply(const StopEvent& event) {
  std::string reply = event.kind == StopEvent::Kind::Interrupt ? "T02"
                      : event.kind == StopEvent::Kind::Lockup  ? "T0b"
                                                               : "T05";
  switch (event.kind) {
    case StopEvent::Kind::Breakpoint:
      if (stopReasons_) reply += "hwbreak:;";
      break;
    case StopEvent::Kind::SoftwareBreak:
      if (stopReasons_) reply += "swbreak:;";
      break;
    case StopEvent::Kind::Watchpoint: {
      const char* name = event.access == StopEvent::Access::Write  ? "watch"
                         : event.access == StopEvent::Access::Read ? "rwatch"
                                                                   : "awatch";
      char text[32];
      std::snprintf(text, sizeof text, "%s:%x;", name, event.address);
      reply += text;
      break;
    }
    default:
      break;
  }
  // The registers gdb asks for first at every stop come with the reply.
  std::vector<std::uint32_t> values;
  if (target_.ReadRegisters({debugreg::regsel::kSp, debugreg::regsel::kLr, debugreg::regsel::kPc},
                            values) == AccessResult::Ok) {
    reply += "0d:" + WordToHex(values[0]) + ";0e:" + WordToHex(values[1]) +
             ";0f:" + WordToHex(values[2]) + ";";
  }
  return reply;
}

void Session::SendStop() {
  running_ = false;
  StopEvent event;
  const AccessResult result = target_.ReadStopEvent(event);
  if (result != AccessResult::Ok) {
    Reply(Error(result));
    return;
  }
  Reply(StopReply(event));
}

void Session::Poll() {
  if (!running_ || end_ != End::None) return;
  bool halted = false;
  const AccessResult result = target_.PollHalted(halted);
  if (result == AccessResult::LinkLost) {
    running_ = false;
    Reply(Error(result));
    return;
  }
  if (result == AccessResult::Ok && halted) SendStop();
  if (result == AccessResult::Ok && !halted && target_.lockedUp()) {
    // A locked-up core runs nothing until it is halted or reset: halt it and
    // tell gdb of the fault.
    running_ = false;
    StopEvent event;
    const AccessResult stopped = target_.Halt();
    if (stopped == AccessResult::Ok) target_.ReadStopEvent(event);
    event.kind = StopEvent::Kind::Lockup;
    Reply(stopped == AccessResult::Ok ? StopReply(event) : Error(stopped));
  }
}

std::string Session::Resume(bool step) {
  const AccessResult result = step ? target_.Step() : target_.Resume();
  if (result != AccessResult::Ok) return Error(result);
  running_ = true;
  if (step && target_.halted()) SendStop();
  return {};
}

void Session::Detach() {
  target_.RemoveAll();
  if (target_.halted()) target_.Resume();
}

std::string Session::ReadRegisters() {
  std::vector<std::uint32_t> regsels;
  for (const RegisterInfo& info : Registers()) regsels.push_back(info.regsel);
  std::vector<std::uint32_t> values;
  const AccessResult result = target_.ReadRegisters(regsels, values);
  if (result != AccessResult::Ok) return Error(result);
  std::string reply;
  for (std::size_t n = 0; n < values.size(); ++n) {
    const int byte = Registers()[n].byte;
    reply += WordToHex(byte < 0 ? values[n] : (values[n] >> (8 * byte)) & 0xFF);
  }
  return reply;
}

std::string Session::WriteRegisters(std::string_view hex) {
  const std::vector<RegisterInfo>& regs = Registers();
  if (hex.size() % 8 != 0 || hex.size() / 8 > regs.size()) return kBadArguments;
  for (std::size_t n = 0; n < hex.size() / 8; ++n) {
    const std::string reply = WriteRegister([&] {
      char number[24];
      std::snprintf(number, sizeof number, "%zx=", n);
      return std::string(number) + std::string(hex.substr(8 * n, 8));
    }());
    if (reply != "OK") return reply;
  }
  return "OK";
}

std::string Session::ReadRegister(std::string_view args) {
  std::uint32_t n = 0;
  if (!ParseHex32(args, n)) return kBadArguments;
  if (n >= Registers().size()) return "E00";
  const RegisterInfo& info = Registers()[n];
  std::vector<std::uint32_t> values;
  const AccessResult result = target_.ReadRegisters({info.regsel}, values);
  if (result != AccessResult::Ok) return Error(result);
  return WordToHex(info.byte < 0 ? values[0] : (values[0] >> (8 * info.byte)) & 0xFF);
}

std::string Session::WriteRegister(std::string_view args) {
  const std::size_t equals = args.find('=');
  std::uint32_t n = 0;
  std::uint32_t value = 0;
  if (equals == std::string_view::npos || !ParseHex32(args.substr(0, equals), n) ||
      !WordFromHex(args.substr(equals + 1), value)) {
    return kBadArguments;
  }
  if (n >= Registers().size()) return "E00";
  const RegisterInfo& info = Registers()[n];
  if (info.byte >= 0) {
    std::vector<std::uint32_t> old;
    const AccessResult read = target_.ReadRegisters({info.regsel}, old);
    if (read != AccessResult::Ok) return Error(read);
    const std::uint32_t shift = 8 * static_cast<std::uint32_t>(info.byte);
    value = (old[0] & ~(0xFFu << shift)) | ((value & 0xFF) << shift);
  }
  const AccessResult result = target_.WriteRegister(info.regsel, value);
  return result == AccessResult::Ok ? "OK" : Error(result);
}

std::string Session::ReadMemory(std::string_view args) {
  std::uint32_t address = 0, length = 0;
  if (!TwoNumbers(args, address, length)) return kBadArguments;
  // A reply never outgrows the packet size: a shorter answer is allowed.
  if (length > kMaxPacketPayload / 2) length = kMaxPacketPayload / 2;
  std::vector<std::uint8_t> bytes;
  const AccessResult result = target_.ReadMemory(address, length, bytes);
  if (result != AccessResult::Ok) return Error(result);
  return ToHex(bytes.data(), bytes.size());
}

std::string Session::WriteMemory(std::string_view args, bool binary) {
  std::uint32_t address = 0, length = 0;
  std::string_view data;
  if (!TwoNumbers(args, address, length, &data)) return kBadArguments;
  std::vector<std::uint8_t> bytes;
  if (binary) {
    bytes.assign(data.begin(), data.end());
  } else if (!FromHex(data, bytes)) {
    return kBadArguments;
  }
  if (bytes.size() != length) return kBadArguments;
  const AccessResult result = target_.WriteMemory(address, bytes.data(), length);
  return result == AccessResult::Ok ? "OK" : Error(result);
}

std::string Session::Breakpoint(const std::string& packet) {
  // Z<type>,<addr>,<kind>[;cond...]
  const bool insert = packet[0] == 'Z';
  std::string_view args = std::string_view(packet).substr(1);
  if (const std::size_t semicolon = args.find(';'); semicolon != std::string_view::npos) {
    args = args.substr(0, semicolon);
  }
  if (args.size() < 2 || args[1] != ',') return kBadArguments;
  const char type = args[0];
  std::uint32_t address = 0, kind = 0;
  if (!TwoNumbers(args.substr(2), address, kind)) return kBadArguments;
  SlotResult result = SlotResult::Unsupported;
  switch (type) {
    case '0':
    case '1':
      result =
          insert ? target_.AddBreakpoint(address, type == '0') : target_.RemoveBreakpoint(address);
      break;
    case '2':
    case '3':
    case '4': {
      const WatchKind watch = type == '2'   ? WatchKind::Write
                              : type == '3' ? WatchKind::Read
                                            : WatchKind::Access;
      result = insert ? target_.AddWatchpoint(watch, address, kind)
                      : target_.RemoveWatchpoint(watch, address, kind);
      break;
    }
    default:
      return {};
  }
  switch (result) {
    case SlotResult::Ok:
      return "OK";
    case SlotResult::NoRoom:
      return "E.no hardware comparator is free";
    case SlotResult::Unsupported:
      return "E.the hardware cannot break at this address";
    case SlotResult::Fault:
      return kMemoryFault;
    case SlotResult::LinkLost:
      break;
  }
  return Error(AccessResult::LinkLost);
}

}  // namespace dravlopro::gdb
