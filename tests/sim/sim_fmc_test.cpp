// The simulated flash controller, option page and readiness, driven through
// register accesses over the debug port as the tool drives them.

#include <gtest/gtest.h>

#include "sim/sim_map.h"
#include "tests/sim/sim_bench_util.h"

namespace dravlopro::sim {
namespace {

using testing::TargetDriver;

constexpr std::uint32_t kFmc = map::kFmcBase;

class SimFmcTest : public ::testing::Test {
 protected:
  void SetUp() override { bench.Connect(); }

  // Erase the page at address the way the host does: image, enable, start, poll.
  std::uint32_t ErasePage(std::uint32_t address, bool optionPage = false, int maxPolls = 50) {
    std::vector<std::uint32_t> image = bench.ReadWords(kFmc, 6);
    image[0] = address;
    if (!optionPage) image[5] |= fmc::kReg14EraseEnable;
    image[3] = fmc::kCmdErase;
    image[4] = 0x14;
    bench.WriteWords(kFmc, image);
    if (!optionPage) bench.WriteWords(kFmc + fmc::kCtrl, {0x14});
    return PollStatus(maxPolls);
  }

  std::uint32_t ProgramWord(std::uint32_t address, std::uint32_t value) {
    std::vector<std::uint32_t> image = bench.ReadWords(kFmc, 6);
    image[0] = address;
    image[1] = value;
    image[3] = fmc::kCmdProgram;
    image[4] = 0x14;
    bench.WriteWords(kFmc, image);
    return PollStatus(1);
  }

  // Reads the status image until the operation is done; returns FMC_STATUS
  // (or 0xFFFFFFFF when it never finished).
  std::uint32_t PollStatus(int maxPolls) {
    for (polls = 1; polls <= maxPolls; ++polls) {
      const std::vector<std::uint32_t> status = bench.ReadWords(kFmc + fmc::kCtrl, 3);
      if ((status[0] & 0x0C) == 0x0C) return status[2];
    }
    return 0xFFFFFFFF;
  }

  TargetDriver bench;
  int polls = 0;
};

TEST_F(SimFmcTest, ErasesExactlyTheAddressedPage) {
  SimChip& chip = bench.target.chip;
  chip.SetFlashBytes(0x0, std::vector<std::uint8_t>(4096, 0x00));
  EXPECT_EQ(ErasePage(5 * 1024), 0u);
  EXPECT_EQ(chip.eraseLog, std::vector<std::uint32_t>{5 * 1024});
  EXPECT_EQ(chip.FlashWord(5 * 1024), 0xFFFFFFFFu);
  EXPECT_EQ(chip.FlashWord(6 * 1024 - 4), 0xFFFFFFFFu);
  EXPECT_EQ(chip.FlashWord(3 * 1024), 0u);
  EXPECT_EQ(bench.ReadWord(5 * 1024), 0xFFFFFFFFu);
  // The erase consumed its enable.
  EXPECT_EQ(chip.fmc.reg14 & fmc::kReg14EraseEnable, 0u);

  // A start without the enable does not erase a main-flash page.
  bench.WriteWords(kFmc, {0x0, 0, 0, fmc::kCmdErase, 0x14, 0});
  EXPECT_EQ(PollStatus(5), 0xFFFFFFFFu);
  EXPECT_EQ(chip.FlashWord(0), 0u);
}

TEST_F(SimFmcTest, ProgrammingOnlyClearsBitsAndConfirmsEachWord) {
  SimChip& chip = bench.target.chip;
  EXPECT_EQ(ProgramWord(0x100, 0x12345678), fmc::kStatusProgrammed);
  EXPECT_EQ(ProgramWord(0x100, 0xFFFF00FF), fmc::kStatusProgrammed);
  EXPECT_EQ(chip.FlashWord(0x100), 0x12340078u);
  EXPECT_EQ(chip.programmedWords, 2u);

  // No flash behind the address: finished, error flag, nothing confirmed.
  const std::uint32_t status = ProgramWord(0x1FFFFFFC, 1);
  EXPECT_EQ(status & fmc::kStatusProgrammed, 0u);
  EXPECT_NE(status & fmc::kErrorMask, 0u);
  bench.WriteWords(kFmc + fmc::kStatus, {0x1E});
  EXPECT_EQ(bench.ReadWord(kFmc + fmc::kStatus) & fmc::kErrorMask, 0u);
}

TEST_F(SimFmcTest, BusyForConfiguredPolls) {
  SimConfig config;
  config.erasePolls = 3;
  bench.target.Configure(config);
  bench.Connect();
  EXPECT_EQ(ErasePage(0), 0u);
  EXPECT_EQ(polls, 4);
}

TEST_F(SimFmcTest, InjectedErrorsAndAHungController) {
  SimChip& chip = bench.target.chip;
  chip.SetFlashWord(2 * 1024, 0);
  chip.faults.eraseError = {fmc::kErrProgram, {2 * 1024, 3 * 1024 - 1}};
  EXPECT_EQ(ErasePage(1 * 1024), 0u);
  EXPECT_EQ(ErasePage(2 * 1024), fmc::kErrProgram);
  EXPECT_EQ(chip.FlashWord(2 * 1024), 0u);
  EXPECT_EQ(chip.eraseLog, std::vector<std::uint32_t>{1024});
  // Error flags stay until the host clears them.
  EXPECT_EQ(PollStatus(1), fmc::kErrProgram);
  bench.WriteWords(kFmc + fmc::kStatus, {0x1E});

  chip.faults.programError = {fmc::kErrEcc, {}};
  EXPECT_EQ(ProgramWord(0x0, 0), fmc::kErrEcc);
  EXPECT_EQ(chip.FlashWord(0), 0xFFFFFFFFu);

  chip.faults.fmcNeverDone = true;
  EXPECT_EQ(ErasePage(4 * 1024), 0xFFFFFFFFu);
  EXPECT_EQ(bench.ReadWord(kFmc + fmc::kCtrl), 0x14u);
}

TEST_F(SimFmcTest, OptionPageEraseProgramAndSecurityLock) {
  SimChip& chip = bench.target.chip;
  EXPECT_EQ(bench.ReadWord(0x1FF00010), 0xFFFFFFFFu);
  EXPECT_FALSE(chip.Locked());

  EXPECT_EQ(ProgramWord(0x1FF00010, 0xFFFFFFFE), fmc::kStatusProgrammed);
  EXPECT_TRUE(chip.Locked());
  EXPECT_EQ(bench.ReadWord(0x1FF00010), 0xFFFFFFFEu);

  // A secured target refuses flash reads and flash programming.
  std::uint8_t response = 0;
  bench.ReadWords(0x0, 1, &response);
  EXPECT_EQ(response, ack::kFault);
  bench.Send({0x08, 0x00, 0x1E, 0x00, 0x00, 0x00});
  EXPECT_EQ(ProgramWord(0x0, 0), fmc::kErrWriteProtect);
  bench.WriteWords(kFmc + fmc::kStatus, {0x1E});

  // Erasing the option page lifts the lock and wipes the flash with it.
  chip.SetFlashWord(0x40, 0x0);
  EXPECT_EQ(ErasePage(0x1FF00000, /*optionPage=*/true), 0u);
  EXPECT_FALSE(chip.Locked());
  EXPECT_EQ(chip.FlashWord(0x40), 0xFFFFFFFFu);
  EXPECT_EQ(chip.eraseLog.back(), 0x1FF00000u);
}

TEST_F(SimFmcTest, PageSizeAndReadinessWords) {
  EXPECT_EQ(bench.ReadWord(kFmc + fmc::kPageSize), 1024u);
  std::vector<std::uint32_t> ready = bench.ReadWords(kFmc + fmc::kReady0, 4);
  EXPECT_NE(ready[0] | ready[1] | ready[2] | ready[3], 0u);

  SimConfig config;
  config.pageSize = 512;
  config.pageSizeRegister = 0x300;
  EXPECT_TRUE(bench.target.Configure(config));
  bench.target.faults().readyAfterReads = 2;
  bench.Connect();
  EXPECT_EQ(bench.ReadWord(kFmc + fmc::kPageSize), 0x300u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(bench.ReadWords(kFmc + fmc::kReady0, 4), std::vector<std::uint32_t>(4, 0));
  }
  ready = bench.ReadWords(kFmc + fmc::kReady0, 4);
  EXPECT_NE(ready[0] | ready[1] | ready[2] | ready[3], 0u);

  bench.target.faults().neverReady = true;
  EXPECT_EQ(bench.ReadWords(kFmc + fmc::kReady0, 4), std::vector<std::uint32_t>(4, 0));

  EXPECT_FALSE(bench.target.Configure(SimConfig{.flashSize = 1000}));
}

}  // namespace
}  // namespace dravlopro::sim
