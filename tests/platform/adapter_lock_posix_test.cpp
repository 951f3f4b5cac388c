// Adapter locks between runs as POSIX systems keep them: real lock files,
// real processes, and a clock that only counts the pauses.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/adapter_lock.h"
#include "tests/harness.h"

namespace dravlopro::platform {
namespace {

class CountingClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    if (onSleep) onSleep(sleeps.size());
  }
  std::uint64_t NowMs() override { return 0; }
  std::vector<std::uint32_t> sleeps;
  std::function<void(std::size_t)> onSleep;
};

class AdapterLockTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return (dir.path() / name).string(); }
  testing::ScratchDir dir;
};

TEST_F(AdapterLockTest, ASecondHolderWaitsItsBoundAndThenGivesUp) {
  const std::string lock = File("adapter.lock");
  CountingClock firstClock;
  CountingClock secondClock;
  auto first = std::make_unique<AdapterLocks>(firstClock);
  AdapterLocks second(secondClock, 250);

  EXPECT_TRUE(first->Hold(lock, LockTarget::Created));
  EXPECT_FALSE(second.Hold(lock, LockTarget::Created));
  EXPECT_EQ(secondClock.sleeps, (std::vector<std::uint32_t>{100, 100, 50}));
  // What a holder has it keeps, without waiting on itself.
  EXPECT_TRUE(first->Hold(lock, LockTarget::Created));
  EXPECT_TRUE(firstClock.sleeps.empty());

  // The lock goes with its holder.
  first.reset();
  secondClock.sleeps.clear();
  EXPECT_TRUE(second.Hold(lock, LockTarget::Created));
  EXPECT_TRUE(secondClock.sleeps.empty());
}

// What a wait tells: its start, before the first pause, and its end when
// the bound runs out; a lock that is free tells nothing.
TEST_F(AdapterLockTest, AWaitTellsWhenItStartsAndWhenItGivesUp) {
  struct Heard : ClaimWait {
    void Started(std::uint32_t boundMs) override {
      events.push_back("started " + std::to_string(boundMs));
    }
    void GaveUp(std::uint32_t boundMs) override {
      events.push_back("gave up " + std::to_string(boundMs));
    }
    std::vector<std::string> events;
  };
  const std::string lock = File("adapter.lock");
  CountingClock clock;
  auto first = std::make_unique<AdapterLocks>(clock);
  AdapterLocks second(clock, 250);
  Heard heard;
  EXPECT_TRUE(first->Hold(lock, LockTarget::Created, &heard));
  EXPECT_TRUE(heard.events.empty());
  EXPECT_FALSE(second.Hold(lock, LockTarget::Created, &heard));
  EXPECT_EQ(heard.events, (std::vector<std::string>{"started 250", "gave up 250"}));
}

TEST_F(AdapterLockTest, AnotherProcessIsWaitedForUntilItEnds) {
  const std::string lock = File("adapter.lock");
  int held[2];
  int release[2];
  ASSERT_EQ(::pipe(held), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The other run: takes the adapter, says so, and ends when told.
    CountingClock clock;
    AdapterLocks locks(clock, 0);
    const char state = locks.Hold(lock, LockTarget::Created) ? 'H' : 'F';
    if (::write(held[1], &state, 1) != 1) ::_exit(2);
    char go = 0;
    if (::read(release[0], &go, 1) != 1) ::_exit(3);
    ::_exit(0);
  }
  char state = 0;
  ASSERT_EQ(::read(held[0], &state, 1), 1);
  ASSERT_EQ(state, 'H');

  CountingClock clock;
  int status = -1;
  clock.onSleep = [&](std::size_t pauses) {
    if (pauses != 3) return;
    const char go = 'G';
    ASSERT_EQ(::write(release[1], &go, 1), 1);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
  };
  AdapterLocks locks(clock, 1000);
  EXPECT_TRUE(locks.Hold(lock, LockTarget::Created));
  EXPECT_EQ(clock.sleeps.size(), 3u);
  if (status == -1) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const int fd : {held[0], held[1], release[0], release[1]}) ::close(fd);
}

TEST_F(AdapterLockTest, ADeviceNodeIsNeverMadeAndALockFileIs) {
  CountingClock clock;
  AdapterLocks locks(clock, 0);
  // A device that went away meanwhile: nothing to lock, and the run goes on
  // to find out for itself.
  EXPECT_TRUE(locks.Hold(File("hidraw9"), LockTarget::Existing));
  EXPECT_FALSE(std::filesystem::exists(File("hidraw9")));
  EXPECT_TRUE(locks.Hold(File("adapter.lock"), LockTarget::Created));
  EXPECT_TRUE(std::filesystem::exists(File("adapter.lock")));
}
}  // namespace
}  // namespace dravlopro::platform
