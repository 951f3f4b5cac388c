// The Windows HID backend over the HID devices this computer really has
// (under Wine, its virtual ones), in-process: none is an adapter, so a run
// ends with 30. (The end-to-end tests run dravlopro.exe the same way.)

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "cli/driver.h"
#include "platform/platform.h"
#include "sim/sim_clock.h"
#include "sim/sim_settings.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro::testing {
namespace {

constexpr std::uint16_t kVendor = 0x04D9;
constexpr std::uint16_t kProduct = 0x802F;
// More interfaces than any computer has: a pass that goes on longer never ends.
constexpr std::uint32_t kMostInterfaces = 4096;

// Lists this computer's HID interfaces the way a run does and tells whether
// one of them is an adapter. False in `ended` when the pass never ended.
bool AnAdapterIsAttached(HidBackend& backend, bool& ended) {
  const std::unique_ptr<HidPass> pass = backend.BeginPass(kVendor, kProduct);
  bool attached = false;
  ended = false;
  for (std::uint32_t index = 0; index < kMostInterfaces; ++index) {
    HidInterface found;
    switch (pass->OpenInterface(index, found)) {
      case InterfaceOpen::NoInterface:
        ended = true;
        return attached;
      case InterfaceOpen::Opened: {
        HidAttributes attributes;
        if (found.connection->GetAttributes(attributes) && attributes.vendorId == kVendor &&
            attributes.productId == kProduct) {
          attached = true;
        }
        break;
      }
      case InterfaceOpen::CannotOpen:
        // An interface the listing shows with the adapter's IDs.
        if (!found.openError.empty()) attached = true;
        break;
      case InterfaceOpen::OtherDevice:
        break;
    }
  }
  return attached;
}

TEST(WindowsHid, ARunOverThisComputersDevicesFindsNoAdapter) {
  const std::unique_ptr<HidBackend> backend = platform::MakeHidBackend();
  bool ended = false;
  const bool attached = AnAdapterIsAttached(*backend, ended);
  ASSERT_TRUE(ended);
  if (attached) GTEST_SKIP() << "an adapter is attached to this computer";

  sim::SimClock clock;
  sim::MemorySettingsStore settings;
  StringSink console;
  StringSink errors;
  const Environment environment{*backend, clock, settings, console, errors};
  EXPECT_EQ(RunDriver({L"dravlopro.exe", L"-list"}, environment), 30);
  EXPECT_EQ(console.out, kNoAdapter);
  EXPECT_EQ(errors.out, "");
  console.out.clear();
  EXPECT_EQ(RunDriver({L"dravlopro.exe", L"-q", L"-rst"}, environment), 30);
  EXPECT_EQ(console.out, "");
}

}  // namespace
}  // namespace dravlopro::testing
