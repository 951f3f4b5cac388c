#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "adapter/hid_device.h"
#include "debug/target.h"
#include "gdb/packet.h"
#include "gdb/session.h"
#include "tests/harness.h"

// A debugging session on the simulated bench, driven packet by packet.
namespace dravlopro::gdbtest {

struct SessionBench {
  SessionBench()
      : adapter(bench.hid.AddAdapter(L"12345")),
        device(bench.hid, table),
        target(device, bench.clock),
        session(target, [this](std::string_view bytes) {
          sent.append(bytes);
          return true;
        }) {
    EXPECT_EQ(device.Open(0, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), 0);
    EXPECT_TRUE(target.Attach());
  }

  sim::SimChip& chip() { return adapter.target.chip; }

  // Sends raw bytes; what the server sent back, raw.
  std::string Raw(const std::string& bytes) {
    sent.clear();
    session.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return sent;
  }
  // Sends one packet; the payload of the last packet that came back ("" for
  // the empty reply, "<none>" when none came).
  std::string Ask(const std::string& payload) {
    return LastPayload(Raw(gdb::EncodePacket(payload)));
  }

  static std::string LastPayload(const std::string& raw) {
    const std::size_t start = raw.rfind('$');
    const std::size_t end = raw.rfind('#');
    if (start == std::string::npos || end == std::string::npos || end < start) return "<none>";
    return raw.substr(start + 1, end - start - 1);
  }

  // A word through the debug port, as the target shows it.
  std::uint32_t Word(std::uint32_t address) {
    std::uint32_t value = 0;
    chip().Read(address, value);
    return value;
  }

  testing::Bench bench;
  sim::SimAdapter& adapter;
  AdapterTable table;
  CHidDevice device;
  DebugTarget target;
  std::string sent;
  gdb::Session session;
};

}  // namespace dravlopro::gdbtest
