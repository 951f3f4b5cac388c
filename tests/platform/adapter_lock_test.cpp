// Adapter locks between runs, on every system: holders on threads of their
// own (each run is a process of its own), and a clock that only counts the
// pauses. Lock files and other processes are in adapter_lock_posix_test.cpp.

#include "platform/adapter_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness.h"

namespace dravlopro::platform {
namespace {

class CountingClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
  std::uint64_t NowMs() override { return 0; }
  std::vector<std::uint32_t> sleeps;
};

// Runs in a scratch folder: a lock name without a folder is a lock file
// there where locks are files, and a named object where they are those.
class InScratchFolder {
 public:
  InScratchFolder() : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
  }
  ~InScratchFolder() { std::filesystem::current_path(before_); }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  testing::ScratchDir dir_;
  std::filesystem::path before_;
};

TEST(AdapterLockThreads, AHolderOnAnotherThreadWaitsItsBoundAndTakesItOnceItIsFree) {
  InScratchFolder folder;
  // Of this process alone, however many test programs run at once.
  const std::string lock = "dravlopro-test-adapter-" + std::to_string(::getpid());
  CountingClock firstClock;
  auto first = std::make_unique<AdapterLocks>(firstClock);
  ASSERT_TRUE(first->Hold(lock, LockTarget::Created));

  std::promise<void> released;
  std::shared_future<void> free = released.get_future().share();
  std::promise<bool> gaveUp;
  std::future<bool> gaveUpResult = gaveUp.get_future();
  std::vector<std::uint32_t> waited;
  bool tookItLater = false;
  std::vector<std::uint32_t> waitedLater;
  std::thread other([&] {
    CountingClock clock;
    AdapterLocks second(clock, 250);
    gaveUp.set_value(!second.Hold(lock, LockTarget::Created));
    waited = clock.sleeps;
    free.wait();
    clock.sleeps.clear();
    tookItLater = second.Hold(lock, LockTarget::Created);
    waitedLater = clock.sleeps;
    // The lock goes with its holder, on the thread that took it.
  });
  EXPECT_TRUE(gaveUpResult.get());
  // What a holder has it keeps, without waiting on itself.
  EXPECT_TRUE(first->Hold(lock, LockTarget::Created));
  EXPECT_TRUE(firstClock.sleeps.empty());
  first.reset();
  released.set_value();
  other.join();
  EXPECT_EQ(waited, (std::vector<std::uint32_t>{100, 100, 50}));
  EXPECT_TRUE(tookItLater);
  EXPECT_TRUE(waitedLater.empty());

  // And once that holder is gone, it is free here again.
  CountingClock thirdClock;
  AdapterLocks third(thirdClock, 0);
  EXPECT_TRUE(third.Hold(lock, LockTarget::Created));
}

TEST(AdapterLockKey, EveryProcessNamesAnAdapterAlikeWithPlainCharacters) {
  EXPECT_EQ(AdapterLockKey(L"AB12", "/dev/hidraw0"), "sn-AB12");
  EXPECT_NE(AdapterLockKey(L"A/B", ""), AdapterLockKey(L"A_B", ""));
  EXPECT_EQ(AdapterLockKey(L"A/B", "").find('/'), std::string::npos);
  // Without a serial number the path decides.
  EXPECT_EQ(AdapterLockKey(L"", "/dev/hidraw1"), AdapterLockKey(L"", "/dev/hidraw1"));
  EXPECT_NE(AdapterLockKey(L"", "/dev/hidraw1"), AdapterLockKey(L"", "/dev/hidraw2"));
}

}  // namespace
}  // namespace dravlopro::platform
