// An adapter that is attached but cannot be opened is named on standard
// error when the run ends without an adapter (30) or without the chosen one
// (31); standard output and the result code stay what they are without it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/hid_device.h"
#include "base/result_code.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using testing::Bench;

std::string Hint(const std::string& node, const std::string& reason) {
  return "dravlopro: " + node + ": " + reason +
         ": the adapter is attached but cannot be opened; see \"Linux permissions\" in the "
         "README\n";
}

// Adds an adapter that the system lists but does not let the tool open.
void AddUnopenableAdapter(sim::SimBench& hid, const std::string& node, const std::string& reason,
                          const std::wstring& serial = L"LOCKED") {
  hid.AddOtherDevice(kAdapterVendorId, kAdapterProductId, serial, false);
  sim::SimDevice& device = hid.device(hid.deviceCount() - 1);
  device.path = node;
  device.openError = reason;
}

// The same command line on the same bench with and without the unopenable
// adapters gives the same standard output and result code.
struct Twins {
  Bench with;
  Bench without;
};

TEST(AccessHint, EachUnopenableAdapterIsNamedOnceWithItsReason) {
  struct Case {
    const char* name;
    bool accessibleAdapter;  // an adapter the tool may open, ID 0
    std::vector<std::string> words;
    int code;
  };
  const std::vector<Case> cases = {
      {"no adapter", false, {"-r32", "0", "1"}, NoAdapter},
      {"no adapter, listing", false, {"-list"}, NoAdapter},
      {"chosen adapter not found", true, {"-id", "1", "-r32", "0", "1"}, AdapterNotFound},
      {"serial not found", true, {"-sn", "B2", "-rst"}, AdapterNotFound},
      // Five passes over three commands saw them, the last one ended 31.
      {"after other commands", true, {"-list", "-pdev", "sn=B2"}, AdapterNotFound},
  };
  for (const Case& c : cases) {
    Twins twins;
    for (Bench* bench : {&twins.with, &twins.without}) {
      bench->hid.AddOtherDevice(0x046D, 0xC31C, L"KEYBOARD");
      if (c.accessibleAdapter) bench->hid.AddAdapter(L"A1");
    }
    AddUnopenableAdapter(twins.with.hid, "/dev/hidraw3", "Permission denied", L"B2");
    twins.with.hid.AddOtherDevice(0x046D, 0xC077, L"MOUSE");
    AddUnopenableAdapter(twins.with.hid, "/dev/hidraw5", "Device or resource busy", L"C3");

    EXPECT_EQ(twins.with.Run(c.words), c.code) << c.name;
    EXPECT_EQ(twins.without.Run(c.words), c.code) << c.name;
    EXPECT_EQ(twins.with.output(), twins.without.output()) << c.name;
    EXPECT_EQ(twins.with.errorOutput(), Hint("/dev/hidraw3", "Permission denied") +
                                            Hint("/dev/hidraw5", "Device or resource busy"))
        << c.name;
    EXPECT_EQ(twins.without.errorOutput(), "") << c.name;
  }
}

TEST(AccessHint, TheOutputOfANoAdapterRunStaysAsItWas) {
  Bench bench;
  AddUnopenableAdapter(bench.hid, "/dev/hidraw0", "Permission denied");
  EXPECT_EQ(bench.Run({"-rob"}), NoAdapter);
  EXPECT_EQ(bench.output(), testing::kNoAdapter);
  EXPECT_EQ(bench.errorOutput(), Hint("/dev/hidraw0", "Permission denied"));
}

TEST(AccessHint, QuietRunsSayNothing) {
  Bench bench;
  AddUnopenableAdapter(bench.hid, "/dev/hidraw3", "Permission denied");
  EXPECT_EQ(bench.Run({"-q", "-r32", "0", "1"}), NoAdapter);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.errorOutput(), "");
  EXPECT_EQ(bench.Run({"-r32", "0", "1", "-q"}), NoAdapter);
  EXPECT_EQ(bench.errorOutput(), "");
}

TEST(AccessHint, NothingWhenTheRunFindsItsAdapter) {
  Bench bench;
  AddUnopenableAdapter(bench.hid, "/dev/hidraw3", "Permission denied");
  bench.hid.AddAdapter(L"A1");
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), Success);
  EXPECT_EQ(bench.errorOutput(), "");
  // "-list" ends 0 even when the saved adapter is missing.
  bench.settings.sn = L"ZZ";
  EXPECT_EQ(bench.Run({"-list"}), Success);
  EXPECT_EQ(bench.errorOutput(), "");
  EXPECT_EQ(bench.Run({"-rst"}), AdapterNotFound);
  EXPECT_EQ(bench.errorOutput(), Hint("/dev/hidraw3", "Permission denied"));
}

TEST(AccessHint, NothingForOtherDevicesThatCannotBeOpened) {
  Bench bench;
  bench.hid.AddOtherDevice(0x046D, 0xC31C, L"KEYBOARD", false);
  bench.hid.AddOtherDevice(kAdapterVendorId, 0x1234, L"OTHER", false);   // same vendor
  bench.hid.AddOtherDevice(0x1111, kAdapterProductId, L"OTHER", false);  // same product
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), NoAdapter);
  EXPECT_EQ(bench.output(), testing::kNoAdapter);
  EXPECT_EQ(bench.errorOutput(), "");
}

// A listing without IDs (Windows) cannot tell an adapter from another device
// before opening it: no reasons, no lines.
TEST(AccessHint, NothingWhenTheListingDoesNotShowTheIds) {
  Bench bench;
  bench.hid.listing = sim::SimBench::Listing::PerIndex;
  AddUnopenableAdapter(bench.hid, "/dev/hidraw3", "Permission denied");
  EXPECT_EQ(bench.Run({"-r32", "0", "1"}), NoAdapter);
  EXPECT_EQ(bench.output(), testing::kNoAdapter);
  EXPECT_EQ(bench.errorOutput(), "");
}

TEST(AccessHint, AnAdapterOpenedAgainIsNoLongerNamed) {
  sim::SimBench hid;
  AddUnopenableAdapter(hid, "/dev/hidraw3", "Device or resource busy", L"B2");
  AdapterTable table;
  CHidDevice device(hid, table);
  EXPECT_EQ(device.Open(0, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), NoAdapter);
  ASSERT_EQ(device.unopenableAdapters().size(), 1u);
  EXPECT_EQ(device.unopenableAdapters()[0].path, "/dev/hidraw3");
  EXPECT_EQ(device.unopenableAdapters()[0].reason, "Device or resource busy");

  // Its reason changed: still one entry, with the latest reason.
  hid.device(0).openError = "Permission denied";
  EXPECT_EQ(device.Open(0, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), NoAdapter);
  ASSERT_EQ(device.unopenableAdapters().size(), 1u);
  EXPECT_EQ(device.unopenableAdapters()[0].reason, "Permission denied");

  hid.device(0).openable = true;
  EXPECT_EQ(device.Open(0, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), Success);
  EXPECT_TRUE(device.unopenableAdapters().empty());
}

}  // namespace
}  // namespace dravlopro
