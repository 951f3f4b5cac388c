#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "debug/flash_writer.h"
#include "debug/target.h"
#include "gdb/packet.h"

namespace dravlopro::gdb {

// One debugging session: the client's packets mapped onto the target, the
// replies written back through `send`. The core may run between the
// packets; while it does, Poll() watches for it to stop and sends the stop
// reply then.
class Session {
 public:
  enum class End { None, Detached, Killed, LinkLost };

  Session(DebugTarget& target, std::function<bool(std::string_view)> send);

  // The bytes the client sent, in any pieces.
  void Feed(const std::uint8_t* data, std::size_t size);
  // While the core runs: looks once whether it stopped.
  void Poll();
  bool running() const { return running_; }
  End ended() const { return end_; }
  // A text for the server's log when something went wrong ("" otherwise).
  const std::string& problem() const { return problem_; }

 private:
  void Handle(const InputEvent& event);
  void Dispatch(const std::string& packet);
  void Reply(std::string_view payload);
  void SendRaw(std::string_view bytes);
  void Console(std::string_view text);
  std::string Error(AccessResult result);
  std::string StopReply(const StopEvent& event);
  void SendStop();

  // Packet groups.
  std::string Query(const std::string& packet);
  std::string ReadRegisters();
  std::string WriteRegisters(std::string_view hex);
  std::string ReadRegister(std::string_view args);
  std::string WriteRegister(std::string_view args);
  std::string ReadMemory(std::string_view args);
  std::string WriteMemory(std::string_view args, bool binary);
  std::string Breakpoint(const std::string& packet);
  std::string Resume(bool step);
  std::string VPacket(const std::string& packet);
  std::string Monitor(std::string_view hexCommand);
  std::string Crc(std::string_view args);
  std::string Transfer(std::string_view args);
  std::string Flash(const std::string& packet);
  std::string Halted();
  void Detach();

  DebugTarget& target_;
  std::function<bool(std::string_view)> send_;
  PacketReader reader_;
  std::string lastReply_;
  bool ackMode_ = true;
  bool running_ = false;
  bool stopReasons_ = false;  // the client takes swbreak/hwbreak in stop replies
  End end_ = End::None;
  std::string problem_;
  FlashWriter flash_;
};

}  // namespace dravlopro::gdb
