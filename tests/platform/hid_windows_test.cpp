// The Windows HID backend over the HID devices this computer really has
// (under Wine, its virtual ones): none is an adapter, so a run ends with 30.

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
#include "tests/platform/child_process_windows.h"
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

// The same through the built program, as a script runs it.
TEST(WindowsHid, TheProgramWithoutAnAdapterEndsWith30) {
  const std::unique_ptr<HidBackend> backend = platform::MakeHidBackend();
  bool ended = false;
  if (AnAdapterIsAttached(*backend, ended))
    GTEST_SKIP() << "an adapter is attached to this computer";
  ScratchDir dir;
  const std::filesystem::path program = BesideThisProgram(L"dravlopro.exe");
  const ChildRun run = RunChild(program, Quoted(program) + L" -list", dir.path());
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 30u);
  // Line ends as the C runtime writes them to a file or pipe.
  std::string out = run.out;
  for (std::size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at)) {
    out.erase(at, 1);
  }
  EXPECT_EQ(out, kNoAdapter);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

}  // namespace
}  // namespace dravlopro::testing
