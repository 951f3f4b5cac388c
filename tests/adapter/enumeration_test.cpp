// What finding the adapter costs the computer: platform enumerations and
// opens of devices, per command, on a computer with many other HID devices.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/hid_device.h"
#include "base/result_code.h"
#include "sim/sim_bench.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

constexpr int kOtherDevices = 40;

// Keyboards, mice and the like, then one adapter: the adapter is listed last.
void AttachOthersThenAdapter(sim::SimBench& hid) {
  for (int i = 0; i < kOtherDevices; ++i) {
    hid.AddOtherDevice(0x046D, static_cast<std::uint16_t>(0xC000 + i), L"K" + std::to_wstring(i));
  }
  hid.AddAdapter(L"12345");
}

TEST(FindingTheAdapter, OneEnumerationPerPassAndNoOtherDeviceOpened) {
  struct Case {
    std::vector<std::string> words;
    std::size_t passes;  // Open's two; "-pdev" opens its adapter again
  };
  const std::vector<Case> cases = {
      {{"-r32", "0", "1"}, 2}, {{"-list"}, 2}, {{"-pdev", "sn=12345"}, 4}, {{"-sn", "12345"}, 2}};
  for (const Case& c : cases) {
    testing::Bench bench;
    AttachOthersThenAdapter(bench.hid);
    EXPECT_EQ(bench.Run(c.words), Success) << c.words[0];
    EXPECT_EQ(bench.hid.passes, c.passes) << c.words[0];
    EXPECT_EQ(bench.hid.enumerations, c.passes) << c.words[0];
    EXPECT_EQ(bench.hid.OpensOfOtherDevices(), 0) << c.words[0];
    // The adapter itself is opened once in every pass.
    EXPECT_EQ(bench.hid.device(kOtherDevices).opens, static_cast<int>(c.passes)) << c.words[0];
    EXPECT_EQ(bench.hid.openHandles, 0) << c.words[0];
  }
}

TEST(FindingTheAdapter, NoAdapterCostsOneEnumerationAndNoOpen) {
  testing::Bench bench;
  for (int i = 0; i < kOtherDevices; ++i) bench.hid.AddOtherDevice(0x046D, 0xC000);
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), NoAdapter);
  EXPECT_EQ(bench.output(), testing::kNoAdapter);
  EXPECT_EQ(bench.hid.passes, 1u);
  EXPECT_EQ(bench.hid.enumerations, 1u);
  EXPECT_EQ(bench.hid.OpensOfOtherDevices(), 0);
}

TEST(FindingTheAdapter, TheRetryMakesTwoMorePassesOfOneEnumerationEach) {
  testing::Bench bench;
  AttachOthersThenAdapter(bench.hid);
  bench.hid.VanishAfterEnumeration(kOtherDevices, sim::SimDevice::Vanish::Once);
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), Success);
  EXPECT_EQ(bench.hid.passes, 4u);
  EXPECT_EQ(bench.hid.enumerations, 4u);
  EXPECT_EQ(bench.hid.OpensOfOtherDevices(), 0);
}

// A listing that shows no IDs (Windows) still opens every device and lists
// the devices anew for every index: 41 devices cost 42 enumerations in the
// pass of Open (the last one finds the end) and 41 in the pass that opens the
// adapter.
TEST(FindingTheAdapter, AListingWithoutIdsOpensEveryDevice) {
  testing::Bench bench;
  bench.hid.listing = sim::SimBench::Listing::PerIndex;
  AttachOthersThenAdapter(bench.hid);
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), Success);
  EXPECT_EQ(bench.hid.passes, 2u);
  EXPECT_EQ(bench.hid.enumerations, 83u);
  EXPECT_EQ(bench.hid.OpensOfOtherDevices(), 2 * kOtherDevices);
}

// What one Open leaves behind.
struct Outcome {
  int result = 0;
  std::uint32_t adapterCount = 0;
  std::vector<std::wstring> serials;
  std::wstring openedSn;
  bool open = false;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << "result " << o.result << ", " << o.adapterCount << " adapters, opened "
      << Narrow(o.openedSn) << (o.open ? " (open)" : " (closed)");
  return out;
}

Outcome OpenOn(sim::SimBench& hid, std::int32_t index, const std::wstring& serial) {
  AdapterTable table;
  CHidDevice device(hid, table);
  Outcome o;
  o.result = device.Open(index, serial, kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0);
  o.adapterCount = table.adapterCount;
  o.serials.assign(table.adapterSns.begin(), table.adapterSns.begin() + table.adapterCount);
  o.openedSn = table.openedSn;
  o.open = device.IsOpen();
  return o;
}

// The passes mean the same whichever way the computer lists its devices:
// other devices and adapters that cannot be opened are passed over, and a
// retry after an adapter left between the passes looks again.
TEST(FindingTheAdapter, BothListingsFindTheSameAdapters) {
  struct Case {
    const char* name;
    std::int32_t index;
    std::wstring serial;
    Outcome expected;
  };
  const std::vector<Case> cases = {
      {"by ID", 1, L"", {Success, 3, {L"A1", L"", L"C3"}, L"", true}},
      {"by SN", 255, L"C3", {Success, 3, {L"A1", L"", L"C3"}, L"C3", true}},
      {"unknown SN", 255, L"ZZ", {AdapterNotFound, 3, {L"A1", L"", L"C3"}, L"", false}},
      {"ID past the end", 3, L"", {AdapterNotFound, 3, {L"A1", L"", L"C3"}, L"", false}},
  };
  for (const Case& c : cases) {
    for (const auto listing : {sim::SimBench::Listing::WithIds, sim::SimBench::Listing::PerIndex}) {
      sim::SimBench hid;
      hid.listing = listing;
      hid.AddOtherDevice(0x04D9, 0x1234, L"A1");               // same vendor, other product
      hid.AddAdapter(L"A1");                                   //
      hid.AddOtherDevice(0x04D9, 0x802F, L"LOCKED", false);    // an adapter that cannot be opened
      hid.AddOtherDevice(0x1111, 0x802F, L"C3");               // other vendor, same product
      hid.AddAdapterWithoutSerial();                           //
      hid.AddOtherDevice(0x046D, 0xC31C, L"KEYBOARD", false);  // cannot be opened either
      hid.AddAdapter(L"C3");
      EXPECT_EQ(OpenOn(hid, c.index, c.serial), c.expected)
          << c.name << (listing == sim::SimBench::Listing::PerIndex ? ", per index" : "");
      EXPECT_EQ(hid.openHandles, 0) << c.name;
    }
  }

  for (const auto listing : {sim::SimBench::Listing::WithIds, sim::SimBench::Listing::PerIndex}) {
    sim::SimBench hid;
    hid.listing = listing;
    hid.AddOtherDevice(0x046D, 0xC31C);
    hid.AddAdapter(L"A1");
    hid.AddAdapter(L"B2");
    // Gone for the pass that opens it, back for the retry.
    hid.VanishAfterEnumeration(2, sim::SimDevice::Vanish::Once);
    EXPECT_EQ(OpenOn(hid, 255, L"B2"), (Outcome{Success, 2, {L"A1", L"B2"}, L"B2", true}));
    EXPECT_EQ(hid.passes, 4u);
  }
}

}  // namespace
}  // namespace dravlopro
