#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/report.h"
#include "probe/connection.h"
#include "sim/sim_map.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

// A bench with one adapter and its simulated target, and helpers to compare
// the requests a command line sent with literal request bytes.
namespace dravlopro::probetest {

using testing::kSuccess;

// "05 00 01 06" -> {0x05, 0x00, 0x01, 0x06}
inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> out;
  std::istringstream in(hex);
  std::string token;
  while (in >> token) out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
  return out;
}

inline std::string Hex(const Report& report, std::size_t length) {
  std::string text;
  char digits[4];
  for (std::size_t i = 1; i <= length && i < report.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X ", report[i]);
    text += digits;
  }
  return text;
}

// The request's fields from byte 1 on are these bytes (byte 0, the report
// number, must be 0). Bytes past them are not compared.
inline ::testing::AssertionResult RequestIs(const Report& request, const std::string& hex) {
  const std::vector<std::uint8_t> expected = Bytes(hex);
  bool same = request[0] == 0;
  for (std::size_t i = 0; i < expected.size(); ++i) same = same && request[1 + i] == expected[i];
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "sent " << Hex(request, expected.size()) << "expected " << hex;
}

// Every request of the list matches its literal, and there are as many.
inline ::testing::AssertionResult RequestsAre(const std::vector<Report>& requests,
                                              const std::vector<std::string>& hex,
                                              std::size_t from = 0) {
  if (requests.size() < from || requests.size() - from != hex.size()) {
    return ::testing::AssertionFailure()
           << "sent " << requests.size() - std::min(from, requests.size()) << " requests, expected "
           << hex.size();
  }
  for (std::size_t i = 0; i < hex.size(); ++i) {
    ::testing::AssertionResult one = RequestIs(requests[from + i], hex[i]);
    if (!one)
      return ::testing::AssertionFailure() << "request " << from + i << ": " << one.message();
  }
  return ::testing::AssertionSuccess();
}

// The requests from index `from` on begin with these.
inline ::testing::AssertionResult RequestsAt(const std::vector<Report>& requests, std::size_t from,
                                             const std::vector<std::string>& hex) {
  if (requests.size() < from + hex.size()) {
    return ::testing::AssertionFailure() << "only " << requests.size() << " requests sent";
  }
  return RequestsAre({requests.begin() + static_cast<std::ptrdiff_t>(from),
                      requests.begin() + static_cast<std::ptrdiff_t>(from + hex.size())},
                     hex);
}

inline std::string Le32Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 0xFF, (value >> 8) & 0xFF,
                (value >> 16) & 0xFF, value >> 24);
  return text;
}

// The requests that set TAR and read or write words, as the memory access
// sends them.
inline std::string TarWrite(std::uint32_t address) { return "05 00 01 05 " + Le32Hex(address); }
inline std::string BlockRead(std::uint32_t count) {
  char text[32];
  std::snprintf(text, sizeof text, "06 00 %02X %02X 0F", count & 0xFF, count >> 8);
  return text;
}
inline std::string BlockWrite(const std::vector<std::uint32_t>& words) {
  char text[32];
  std::snprintf(text, sizeof text, "06 00 %02zX 00 0D", words.size());
  std::string out = text;
  for (std::uint32_t w : words) out += " " + Le32Hex(w);
  return out;
}
const std::string kStatusRead = "05 00 01 06";

// The connect sequence, with or without nRESET driven low.
inline std::vector<std::string> ConnectRequests(bool underReset) {
  std::vector<std::string> out = {"02 01", "11 40 42 0F 00", "04 00 64 00 00 00", "13 00",
                                  "01 00 01"};
  if (underReset) out.push_back("10 00 80 00 00 00 00");
  const std::vector<std::string> rest = {"12 33 FF FF FF FF FF FF FF",
                                         "12 10 9E E7",
                                         "12 33 FF FF FF FF FF FF FF",
                                         "12 08 00",
                                         "05 00 01 02",
                                         "05 00 01 08 00 00 00 00",
                                         "05 00 01 04 00 00 00 50",
                                         "05 00 00 06",
                                         "08 00 1E 00 00 00",
                                         "05 00 01 04 00 00 00 54",
                                         "05 00 01 04 00 0F 00 50",
                                         "05 00 01 01 52 00 00 23",
                                         "05 00 01 08 F0 00 00 00",
                                         "05 00 01 0B",
                                         "10 80 80 00 00 00 00",
                                         "05 00 01 08 00 00 00 00"};
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

// The readiness read that succeeds at once, with the page-size read.
inline std::vector<std::string> ReadyRequests() {
  return {TarWrite(0x40080310), BlockRead(4), kStatusRead,
          TarWrite(0x40080188), BlockRead(1), kStatusRead};
}

// ConnectTarget(false) and a first-try WaitTargetReady.
inline std::vector<std::string> ConnectAndReadyRequests() {
  std::vector<std::string> out = ConnectRequests(false);
  const std::vector<std::string> ready = ReadyRequests();
  out.insert(out.end(), ready.begin(), ready.end());
  return out;
}

inline std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct TargetBench : testing::Bench {
  TargetBench() : adapter(&hid.AddAdapter(L"12345")) {}

  sim::SimTarget& target() { return adapter->target; }
  sim::SimChip& chip() { return adapter->target.chip; }
  sim::SimFaults& faults() { return adapter->target.chip.faults; }

  // What the command line sent to the target: the trace without the
  // adapter's version reads and the indicator switch-off at the end of the
  // run.
  std::vector<Report> Requests() const {
    std::vector<Report> out;
    for (const sim::TraceEntry& entry : hid.trace) {
      if (entry.request[1] == 0x00) continue;  // DAP_Info
      out.push_back(entry.request);
    }
    if (!out.empty() && out.back()[1] == 0x01 && out.back()[3] == 0) out.pop_back();
    return out;
  }

  // The console text after the selection line.
  std::string CommandOutput() const {
    const std::string& all = output();
    const std::size_t line = all.find('\n');
    return line == std::string::npos ? all : all.substr(line + 1);
  }

  sim::SimAdapter* adapter;
};

// A device opened on the bench's adapter with the link up, for the word
// operations that no command line reaches with many words.
struct OpenedDevice {
  explicit OpenedDevice(TargetBench& bench) : device(bench.hid, table) {
    EXPECT_EQ(device.Open(0, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), 0);
    EXPECT_TRUE(ConnectTarget(device, false));
    bench.hid.trace.clear();
  }
  AdapterTable table;
  CHidDevice device;
};

}  // namespace dravlopro::probetest
