// The progress line on its own: what it draws, how often, and how it goes
// away, against a clock the test moves by hand.
#include "commands/progress_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/commands/terminal_screen.h"

namespace dravlopro {
namespace {

class HandClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override { nowMs += milliseconds; }
  std::uint64_t NowMs() override { return nowMs; }
  std::uint64_t nowMs = 5000;
};

using testing::Screen;
using testing::Terminal;

class ProgressLineTest : public ::testing::Test {
 protected:
  HandClock clock;
  Terminal terminal;
};

TEST_F(ProgressLineTest, CountsAndPercentInPlace) {
  ProgressLine line(terminal, clock, "-a", "bytes", "working");
  line.Update(0, 1048576);
  clock.nowMs += 100;
  line.Update(123456, 1048576);
  clock.nowMs += 100;
  line.Update(1048576, 1048576);
  ASSERT_EQ(terminal.writes.size(), 3u);
  EXPECT_EQ(terminal.writes[0], "\r-a: 0/1048576 bytes (0%)");
  EXPECT_EQ(terminal.writes[1], "\r-a: 123456/1048576 bytes (11%)");
  EXPECT_EQ(terminal.writes[2], "\r-a: 1048576/1048576 bytes (100%)");
  // Rounded down: 100% only when all of it is through.
  clock.nowMs += 100;
  line.Update(1048575, 1048576);
  EXPECT_EQ(Screen(terminal.All()), "-a: 1048575/1048576 bytes (99%) ");
  // Counts beyond 32 bits, and more done than total, stay sensible.
  clock.nowMs += 100;
  line.Update(0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(terminal.writes.back(), "\r-a: 18446744073709551615/18446744073709551615 bytes (100%)");
  clock.nowMs += 100;
  line.Update(7, 3);
  EXPECT_EQ(Screen(terminal.All()).substr(0, 21), "-a: 3/3 bytes (100%) ");
}

TEST_F(ProgressLineTest, AtMostTenDrawingsASecondWhateverTheCallers) {
  ProgressLine line(terminal, clock, "-dump", "bytes", "working");
  // Ten seconds of a reader that reports every millisecond.
  for (std::uint64_t ms = 0; ms < 10000; ++ms) {
    line.Update(ms, 10000);
    clock.nowMs += 1;
  }
  EXPECT_GE(terminal.writes.size(), 99u);
  EXPECT_LE(terminal.writes.size(), 101u);
  // The first call draws at once; a change within 100 ms of a drawing waits
  // for the next call after that.
  Terminal fresh;
  ProgressLine burst(fresh, clock, "-v", "bytes", "working");
  burst.Update(1, 10);
  clock.nowMs += 99;
  burst.Update(2, 10);
  EXPECT_EQ(fresh.writes.size(), 1u);
  clock.nowMs += 1;
  burst.Update(3, 10);
  ASSERT_EQ(fresh.writes.size(), 2u);
  EXPECT_EQ(fresh.writes[1], "\r-v: 3/10 bytes (30%)");
}

TEST_F(ProgressLineTest, TheSameTextIsNotDrawnAgain) {
  ProgressLine line(terminal, clock, "-se", "pages", "working");
  for (int i = 0; i < 20; ++i) {
    line.Update(2, 5);
    clock.nowMs += 200;
  }
  // Four seconds of the same count: drawn once, then once a second for the
  // time it has not moved.
  EXPECT_EQ(terminal.writes.size(), 1u + 3u);
  EXPECT_EQ(Screen(terminal.All()), "-se: 2/5 pages (40%), waiting 3 s");
}

TEST_F(ProgressLineTest, AWaitWithNothingToCountShowsItsSeconds) {
  ProgressLine line(terminal, clock, "-me", "", "erasing");
  line.Waiting();
  EXPECT_EQ(terminal.All(), "\r-me: erasing");
  // Slices of a long wait, a quarter second each.
  for (int i = 0; i < 13; ++i) {
    clock.nowMs += 250;
    line.Waiting();
  }
  EXPECT_EQ(Screen(terminal.All()), "-me: erasing, waiting 3 s");
  // Once a second, not once a slice.
  EXPECT_EQ(terminal.writes.size(), 4u);
}

TEST_F(ProgressLineTest, AWaitAfterACountKeepsTheCountAndStartsFromTheLastUpdate) {
  ProgressLine line(terminal, clock, "-a", "bytes", "working");
  line.Update(62, 124);
  clock.nowMs += 900;
  line.Waiting();
  EXPECT_EQ(terminal.writes.size(), 1u);
  clock.nowMs += 100;
  line.Waiting();
  EXPECT_EQ(Screen(terminal.All()), "-a: 62/124 bytes (50%), waiting 1 s");
  // Progress again: the waiting part goes, blanked over.
  clock.nowMs += 100;
  line.Update(124, 124);
  const std::string blanks(std::string(", waiting 1 s").size() - 2, ' ');
  EXPECT_EQ(terminal.writes.back(), "\r-a: 124/124 bytes (100%)" + blanks);
  EXPECT_EQ(Screen(terminal.All()), "-a: 124/124 bytes (100%)" + blanks);
}

TEST_F(ProgressLineTest, FinishBlanksTheLineAndLeavesTheCursorAtItsStart) {
  {
    ProgressLine line(terminal, clock, "-v", "bytes", "working");
    line.Update(0, 4096);
    clock.nowMs += 1500;
    line.Update(0, 4096);
    clock.nowMs += 1500;
    line.Waiting();
    const std::size_t widest = std::string("-v: 0/4096 bytes (0%), waiting 1 s").size();
    line.Finish();
    EXPECT_EQ(terminal.writes.back(), "\r" + std::string(widest, ' ') + "\r");
    EXPECT_EQ(Screen(terminal.All()), std::string(widest, ' '));
    // Finished twice, or finished again when it goes: nothing more.
    const std::size_t writes = terminal.writes.size();
    line.Finish();
    EXPECT_EQ(terminal.writes.size(), writes);
    // A later update draws a fresh line at once.
    line.Update(1, 2);
    EXPECT_EQ(terminal.writes.back(), "\r-v: 1/2 bytes (50%)");
  }
  // Going away finished the fresh line too.
  EXPECT_EQ(terminal.writes.back(), "\r" + std::string(19, ' ') + "\r");
}

TEST_F(ProgressLineTest, ALineNeverDrawnLeavesNothing) {
  { ProgressLine line(terminal, clock, "-a", "bytes", "working"); }
  EXPECT_TRUE(terminal.writes.empty());
}

TEST_F(ProgressLineTest, TheNoProgressDefaultIsTheOneUnwatchedProgress) {
  ProgressLine line(terminal, clock, "-a", "bytes", "working");
  EXPECT_EQ(Watched(NoProgress()), nullptr);
  EXPECT_EQ(Watched(line), &line);
  NoProgress().Update(1, 2);
  NoProgress().Waiting();
  EXPECT_TRUE(terminal.writes.empty());
}

}  // namespace
}  // namespace dravlopro
