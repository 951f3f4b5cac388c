// Flash loads through the debugger server, run by the routine on the core.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "debug/debug_registers.h"
#include "debug/routine/flash_routine_code.h"
#include "sim/sim_cpu.h"
#include "tests/gdb/gdb_bench.h"

namespace dravlopro {
namespace {

using gdbtest::SessionBench;

const std::vector<std::uint32_t> kRegisters = {0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 15, 16};

class FlashLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sim::SimCpu::Executes()) GTEST_SKIP() << sim::SimCpu::WhyNot();
  }
  SessionBench s;
};

TEST_F(FlashLoad, RunsOnTheCoreAndGivesItsRegistersBack) {
  // The core runs a firmware of its own (a loop on page 0), halted
  // anywhere.
  s.chip().SetFlashBytes(0, {0x00, 0x10, 0x00, 0x20, 0x09, 0x00, 0x00, 0x00,    // sp, reset
                             0x00, 0x00, 0x00, 0x00, 0x01, 0x30, 0xFE, 0xE7});  // adds r0,#1; b .-2
  ASSERT_EQ(s.target.Reset(false), AccessResult::Ok);
  s.Ask("?");
  std::vector<std::uint32_t> before;
  ASSERT_EQ(s.target.ReadRegisters(kRegisters, before), AccessResult::Ok);

  EXPECT_EQ(s.Ask("vFlashErase:400,400"), "OK");
  EXPECT_EQ(s.Ask("vFlashWrite:400:ABCD"), "OK");
  EXPECT_EQ(s.Ask("vFlashDone"), "OK");
  EXPECT_EQ(s.chip().FlashWord(0x400), 0x44434241u);
  EXPECT_EQ(s.Word(0x20000000), routine::kFlashRoutine[0]);  // it ran from SRAM

  // What the routine changed is back in the core once the session ends.
  ASSERT_EQ(s.target.RemoveAll(), AccessResult::Ok);
  DebugTarget fresh(s.device, s.bench.clock);
  ASSERT_TRUE(fresh.Attach());
  std::vector<std::uint32_t> after;
  ASSERT_EQ(fresh.ReadRegisters(kRegisters, after), AccessResult::Ok);
  EXPECT_EQ(after, before);
  EXPECT_EQ(s.chip().Dhcsr() & debugreg::dhcsr::kMaskInts, 0u);
}

TEST_F(FlashLoad, LargerThanTheBufferGoesInSeveralRuns) {
  std::string image;
  for (int k = 0; k < 6 * 1024; ++k) image += static_cast<char>('a' + k % 26);
  s.Ask("?");
  EXPECT_EQ(s.Ask("vFlashErase:0,1800"), "OK");
  EXPECT_EQ(s.Ask("vFlashWrite:0:" + image), "OK");
  EXPECT_EQ(s.Ask("vFlashDone"), "OK");
  EXPECT_EQ(s.chip().eraseLog.size(), 6u);
  for (std::uint32_t at = 0; at < image.size(); at += 4) {
    ASSERT_EQ(s.chip().FlashWord(at), static_cast<std::uint32_t>(image[at]) |
                                          static_cast<std::uint32_t>(image[at + 1]) << 8 |
                                          static_cast<std::uint32_t>(image[at + 2]) << 16 |
                                          static_cast<std::uint32_t>(image[at + 3]) << 24)
        << at;
  }
}

TEST_F(FlashLoad, AWordThatReadsBackOtherwiseIsAnError) {
  s.chip().SetFlashBytes(0x400, {0x00, 0x00, 0x00, 0x00});  // not erased
  s.Ask("?");
  EXPECT_EQ(s.Ask("vFlashWrite:400:ABCD"), "OK");
  EXPECT_EQ(s.Ask("vFlashDone"), "E.flash programming failed");
}

TEST_F(FlashLoad, AFlashControllerThatNeverFinishesEndsTheLoadInTime) {
  s.chip().faults.fmcNeverDone = true;
  s.Ask("?");
  EXPECT_EQ(s.Ask("vFlashErase:400,400"), "OK");
  EXPECT_EQ(s.Ask("vFlashDone"), "E.flash programming failed");
  EXPECT_TRUE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
}

}  // namespace
}  // namespace dravlopro
