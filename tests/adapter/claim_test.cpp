// An adapter is claimed only when it is opened for use, and an adapter that
// another run keeps is given up after the claim's one wait.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "adapter/forwarding.h"
#include "adapter/hid_device.h"
#include "base/result_code.h"
#include "cli/driver.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

// The bench's adapters, counting the claims per serial number; claims of
// the adapters listed as busy fail, as when another run held them past the
// claim's bound.
class ClaimCountingBackend : public ForwardingBackend {
 public:
  using ForwardingBackend::ForwardingBackend;
  std::map<std::wstring, int> claims;
  std::set<std::wstring> busy;

 private:
  class Connection : public ForwardingConnection {
   public:
    Connection(std::unique_ptr<HidConnection> inner, ClaimCountingBackend& backend)
        : ForwardingConnection(std::move(inner)), backend_(backend) {}
    bool Claim(ClaimWait& wait) override {
      std::wstring serial;
      GetSerialNumber(serial);
      ++backend_.claims[serial];
      return backend_.busy.count(serial) == 0 && ForwardingConnection::Claim(wait);
    }

   private:
    ClaimCountingBackend& backend_;
  };

  std::unique_ptr<HidConnection> Wrap(std::unique_ptr<HidConnection> connection) override {
    return std::make_unique<Connection>(std::move(connection), *this);
  }
};

struct ClaimTest : ::testing::Test {
  ClaimTest() {
    bench.hid.AddAdapter(L"A1");
    bench.hid.AddAdapter(L"B2");
    bench.hid.AddAdapter(L"C3");
  }
  int Run(const std::vector<std::wstring>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    argv.insert(argv.end(), words.begin(), words.end());
    bench.console.out.clear();
    bench.hid.trace.clear();
    return RunDriver(
        argv, Environment{backend, bench.clock, bench.settings, bench.console, bench.errors});
  }

  testing::Bench bench;
  ClaimCountingBackend backend{bench.hid};
};

TEST_F(ClaimTest, OnlyTheAdapterOpenedForACommandIsClaimed) {
  EXPECT_EQ(Run({L"-sn", L"B2", L"-q"}), 0);
  // Once per command; the enumeration passes looked at all three.
  EXPECT_EQ(backend.claims, (std::map<std::wstring, int>{{L"B2", 2}}));
  EXPECT_EQ(bench.hid.openHandles, 0);
}

TEST_F(ClaimTest, AnAdapterKeptByAnotherRunCountsAsOneThatCannotBeOpened) {
  backend.busy = {L"B2"};
  EXPECT_EQ(Run({L"-sn", L"B2"}), NoAdapter);
  EXPECT_EQ(bench.output(), testing::kNoAdapter);
  EXPECT_TRUE(bench.hid.trace.empty());
  EXPECT_EQ(bench.hid.openHandles, 0);
  // The claim has waited its whole bound already: no second wait through
  // the open's retry.
  EXPECT_EQ(backend.claims, (std::map<std::wstring, int>{{L"B2", 1}}));

  AdapterTable table;
  CHidDevice device(backend, table);
  EXPECT_EQ(device.Open(1, L"", kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0), NoAdapter);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(backend.claims[L"B2"], 2);
}

}  // namespace
}  // namespace dravlopro
