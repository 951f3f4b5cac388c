#include "image/option_bytes.h"

#include <gtest/gtest.h>

#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

using Words = std::vector<std::uint32_t>;

class OptionBytesTest : public ::testing::Test {
 protected:
  OptionBytesTest() : adapter(bench.hid.AddAdapter(L"12345", "2.0.0")) {}
  sim::SimChip& chip() { return adapter.target.chip; }
  Words OptionPage() {
    Words words;
    for (std::uint32_t i = 0; i < 9; ++i) words.push_back(chip().OptionWord(i));
    return words;
  }

  Bench bench;
  sim::SimAdapter& adapter;
};

TEST_F(OptionBytesTest, ProgramsTheNineWordsOfTheExamples) {
  EXPECT_EQ(bench.Run({"-ob", "pp0=0xF", "cp0=1", "cp1=1"}), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kSuccess);
  EXPECT_EQ(OptionPage(), (Words{0xFFFFFFF0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFC,
                                 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFE9}));
  EXPECT_EQ(chip().eraseLog, Words{0x1FF00000});

  // A new run starts from settings of 0.
  chip().SetLocked(false);
  EXPECT_EQ(bench.Run({"-ob", "pp1=3", "pp2=0x10", "pp3=8"}), 0);
  EXPECT_EQ(OptionPage(), (Words{0xFFFFFFFF, 0xFFFFFFFC, 0xFFFFFFEF, 0xFFFFFFF7, 0xFFFFFFFF,
                                 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFE0}));

  EXPECT_EQ(bench.Run({"-ob"}), 0);
  EXPECT_EQ(OptionPage(), (Words{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFB}));

  EXPECT_EQ(bench.Run({"-ob", "cp1=1"}), 0);
  EXPECT_EQ(chip().OptionWord(4), 0xFFFFFFFDu);
  EXPECT_EQ(chip().OptionWord(8), 0xFFFFFFF9u);
}

TEST_F(OptionBytesTest, AnyNonZeroValueEnablesProtection) {
  RunState state;
  state.optionSettings[0].value = 2;
  EXPECT_EQ(BuildOptionBlock(state.optionSettings)[4], 0xFFFFFFFEu);
  EXPECT_EQ(bench.Run({"-ob", "cp0=2"}), 0);
  EXPECT_EQ(chip().OptionWord(4), 0xFFFFFFFEu);
  EXPECT_TRUE(chip().Locked());
}

TEST_F(OptionBytesTest, UnknownKeyEndsBeforeTheTargetIsContacted) {
  EXPECT_EQ(bench.Run({"-ob", "xx=1"}), 1);
  EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x02).empty());
  EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x05).empty());
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -ob (Fail)\n" +
                                "Result: Invalid parameter of command. Enter \"dravlopro.exe\" to "
                                "understand the rules for each command.\n");
}

TEST_F(OptionBytesTest, ParserStopsAtTheNextCommand) {
  chip().SetOptionWord(1, 0xFFFFFF00);
  EXPECT_EQ(bench.Run({"-ob", "pp0=1", "-rob"}), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection +
                                "CP0=0, CP1=0, PP0=0x00000001, PP1=0x00000000, PP2=0x00000000, "
                                "PP3=0x00000000\n" +
                                kSuccess);
}

TEST_F(OptionBytesTest, ReadSettingsCarryIntoALaterProgramming) {
  chip().SetOptionWord(0, 0xFFFFFFFE);
  chip().SetOptionWord(2, 0x0000FFFF);
  chip().SetOptionWord(3, 0x7FFFFFFF);
  chip().SetOptionWord(4, 0xFFFFFFFD);
  EXPECT_EQ(bench.Run({"-rob", "-ob", "pp1=3"}), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection +
                                "CP0=0, CP1=1, PP0=0x00000001, PP1=0x00000000, PP2=0xFFFF0000, "
                                "PP3=0x80000000\n" +
                                kSuccess);
  const std::uint32_t sum = 0xFFFFFFFE + 0xFFFFFFFC + 0x0000FFFF + 0x7FFFFFFF + 0xFFFFFFFD;
  EXPECT_EQ(OptionPage(), (Words{0xFFFFFFFE, 0xFFFFFFFC, 0x0000FFFF, 0x7FFFFFFF, 0xFFFFFFFD,
                                 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, sum}));
}

TEST_F(OptionBytesTest, QuietReadPrintsNothingButKeepsTheSettings) {
  chip().SetOptionWord(0, 0xFFFFFFF0);
  EXPECT_EQ(bench.Run({"-q", "-rob", "-ob", "cp1=1"}), 0);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(chip().OptionWord(0), 0xFFFFFFF0u);
}

TEST_F(OptionBytesTest, UnprotectedTargetReadsAsAllZero) {
  EXPECT_EQ(bench.Run({"-rob"}), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection +
                                "CP0=0, CP1=0, PP0=0x00000000, PP1=0x00000000, PP2=0x00000000, "
                                "PP3=0x00000000\n" +
                                kSuccess);
}

TEST_F(OptionBytesTest, LockedTargetIsNeverTouched) {
  chip().SetOptionWord(4, 0xFFFFFFFE);
  EXPECT_EQ(bench.Run({"-rob"}), 14);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -rob (Fail)\n" + kLocked);
  EXPECT_EQ(bench.Run({"-ob"}), 14);
  EXPECT_TRUE(chip().eraseLog.empty());
  EXPECT_EQ(chip().OptionWord(4), 0xFFFFFFFEu);
}

TEST_F(OptionBytesTest, FlashControllerFailuresGiveThirteen) {
  chip().faults.eraseError.flags = 0x10;
  EXPECT_EQ(bench.Run({"-ob", "pp0=1"}), 13);
  EXPECT_EQ(chip().OptionWord(0), 0xFFFFFFFFu);
  chip().faults.eraseError.flags = 0;
  chip().faults.programError.flags = 0x10;
  EXPECT_EQ(bench.Run({"-ob", "pp0=1"}), 13);
  chip().faults.programError.flags = 0;
  chip().faults.fmcNeverDone = true;
  EXPECT_EQ(bench.Run({"-ob", "pp0=1"}), 13);
}

TEST_F(OptionBytesTest, SilentTargetGivesTwo) {
  chip().faults.noTarget = true;
  EXPECT_EQ(bench.Run({"-rob"}), 2);
  EXPECT_EQ(bench.Run({"-ob"}), 2);
  chip().faults.noTarget = false;
  chip().faults.neverReady = true;
  EXPECT_EQ(bench.Run({"-ob"}), 2);
}

}  // namespace
}  // namespace dravlopro
