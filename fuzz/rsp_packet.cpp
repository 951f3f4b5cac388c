// Bytes from a debugger client, fed to the packet reader in pieces of the
// input's choosing.
//
// Every packet read stays within the size limit, and encoding its payload
// again and reading that back gives the same payload; the same bytes give
// the same events however they are cut.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "gdb/packet.h"

namespace {

using dravlopro::gdb::InputEvent;
using dravlopro::gdb::PacketReader;

constexpr std::size_t kLimit = 64;

std::vector<InputEvent> ReadAll(const std::string& bytes) {
  PacketReader reader(kLimit);
  std::vector<InputEvent> events;
  reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), events);
  return events;
}

bool Same(const std::vector<InputEvent>& a, const std::vector<InputEvent>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].payload != b[i].payload) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::size_t piece = input.ConsumeIntegralInRange<std::size_t>(1, 16);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  PacketReader reader(kLimit);
  std::vector<InputEvent> events;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const std::string part = bytes.substr(at, piece);
    reader.Feed(reinterpret_cast<const std::uint8_t*>(part.data()), part.size(), events);
  }
  FUZZ_CHECK(Same(events, ReadAll(bytes)));

  for (const InputEvent& event : events) {
    if (event.kind != InputEvent::Kind::Packet) {
      FUZZ_CHECK(event.payload.empty());
      continue;
    }
    FUZZ_CHECK(event.payload.size() <= kLimit);
    const std::vector<InputEvent> again = ReadAll(dravlopro::gdb::EncodePacket(event.payload));
    FUZZ_CHECK(again.size() == 1 && again[0].kind == InputEvent::Kind::Packet &&
               again[0].payload == event.payload);
  }
  return 0;
}
