// The simulated core executing the example firmware, observed through the
// bus the debug port uses and through whole command lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/sim_chip.h"
#include "sim/sim_cpu.h"
#include "tests/harness.h"

namespace dravlopro::sim {
namespace {

// Addresses of the example blinker (examples/blinky/blinky.elf).
constexpr std::uint32_t kMain = 0x7C;
constexpr std::uint32_t kResetHandler = 0x42;
constexpr std::uint32_t kBlinkCount = 0x20000000;
constexpr std::uint32_t kGpioDout = 0x50004008;

constexpr std::uint32_t kDebugOn = scs::kDhcsrKey | scs::kCDebugEn;
constexpr std::uint32_t kFpComp0 = map::kFpbBase + fpb::kComp0;
constexpr std::uint32_t kDwtComp0 = map::kDwtBase + dwt::kComp0;

std::vector<std::uint8_t> Example(const std::string& name) {
  std::ifstream in(std::string(DRAVLOPRO_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A chip with a firmware in its flash, driven over its bus as the debug port
// drives it.
class Board : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimCpu::Executes()) GTEST_SKIP() << SimCpu::WhyNot();
  }
  void Flash(const std::string& firmware) {
    chip.SetFlashBytes(0, Example(firmware));
    chip.SystemReset();
  }
  std::uint32_t Read(std::uint32_t address) {
    std::uint32_t value = 0;
    EXPECT_TRUE(chip.Read(address, value));
    return value;
  }
  void Write(std::uint32_t address, std::uint32_t value) {
    EXPECT_TRUE(chip.Write(address, value));
  }
  std::uint32_t Register(std::uint32_t regsel) {
    Write(scs::kDcrsr, regsel);
    return Read(scs::kDcrdr);
  }
  void SetRegister(std::uint32_t regsel, std::uint32_t value) {
    Write(scs::kDcrdr, value);
    Write(scs::kDcrsr, regsel | regsel::kWrite);
  }
  // Time for this many report exchanges.
  void Exchanges(int count) {
    for (int i = 0; i < count; ++i) chip.Elapse(SimChip::kInstructionsPerExchange);
  }
  bool Halted() { return (Read(scs::kDhcsr) & scs::kSHalt) != 0; }

  SimChip chip;
};

TEST_F(Board, BlinkerRunsFromResetAndHaltsWhereverItIs) {
  Flash("blinky/blinky.bin");
  Exchanges(300);
  Write(scs::kDhcsr, kDebugOn | scs::kCHalt);
  EXPECT_TRUE(Halted());
  const std::uint32_t count = Read(kBlinkCount);
  EXPECT_GT(count, 0u);
  EXPECT_EQ(Read(kGpioDout), (count % 2) << 2);  // the LED pin toggles with each count
  EXPECT_EQ(Register(regsel::kMsp) >> 16, 0x2000u);

  Exchanges(300);  // halted: nothing moves
  EXPECT_EQ(Read(kBlinkCount), count);
  Write(scs::kDhcsr, kDebugOn);
  Exchanges(300);
  EXPECT_GT(Read(kBlinkCount), count);
}

TEST_F(Board, StartsHaltedAtTheResetVectorUnderVectorCatch) {
  Write(scs::kDhcsr, kDebugOn);
  Write(scs::kDemcr, scs::kVcCoreReset);
  Flash("blinky/blinky.bin");
  EXPECT_TRUE(Halted());
  EXPECT_EQ(Read(scs::kDfsr) & scs::kDfsrVcatch, scs::kDfsrVcatch);
  EXPECT_EQ(Register(regsel::kPc), kResetHandler);
  EXPECT_EQ(Register(regsel::kSp), 0x20002000u);
}

TEST_F(Board, FpbBreakpointOnMainHaltsThereAndAStepIsOneInstruction) {
  Write(scs::kDhcsr, kDebugOn);
  Write(map::kFpbBase + fpb::kCtrl, fpb::kCtrlKey | fpb::kCtrlEnable);
  Write(kFpComp0, kMain | (1u << fpb::kReplaceShift) | fpb::kCompEnable);
  Flash("blinky/blinky.bin");
  Exchanges(10);
  ASSERT_TRUE(Halted());
  EXPECT_EQ(Register(regsel::kPc), kMain);
  EXPECT_EQ(Read(scs::kDfsr) & scs::kDfsrBkpt, scs::kDfsrBkpt);

  // Stepping with the breakpoint still set stops on it again, as on the chip.
  Write(kFpComp0, 0);
  const std::uint64_t before = chip.core.instructions;
  Write(scs::kDhcsr, kDebugOn | scs::kCStep);
  Exchanges(3);
  EXPECT_TRUE(Halted());
  EXPECT_EQ(chip.core.instructions, before + 1);
  EXPECT_EQ(Register(regsel::kPc), kMain + 2);
}

TEST_F(Board, RegisterWrittenWhileHaltedIsWhatTheCoreResumesWith) {
  Write(scs::kDhcsr, kDebugOn);
  Write(scs::kDemcr, scs::kVcCoreReset);
  Flash("blinky/blinky.bin");
  SetRegister(regsel::kPc, kMain);  // skip the start-up code
  Write(scs::kDhcsr, kDebugOn | scs::kCStep);
  Exchanges(1);
  EXPECT_EQ(Register(regsel::kPc), kMain + 2);
}

TEST_F(Board, DwtWatchpointHaltsRightAfterTheCounterIsWritten) {
  Write(scs::kDhcsr, kDebugOn);
  Write(kDwtComp0, kBlinkCount);
  Write(kDwtComp0 + dwt::kMaskOffset, 2);
  Write(kDwtComp0 + dwt::kFunctionOffset, dwt::kWatchWrite);
  Flash("blinky/blinky.bin");
  Exchanges(300);
  ASSERT_TRUE(Halted());
  EXPECT_EQ(Read(scs::kDfsr) & scs::kDfsrDwtTrap, scs::kDfsrDwtTrap);
  EXPECT_NE(Read(kDwtComp0 + dwt::kFunctionOffset) & dwt::kMatched, 0u);
  EXPECT_EQ(Read(kDwtComp0 + dwt::kFunctionOffset) & dwt::kMatched, 0u);  // cleared by the read
  // Reset_Handler's clearing of .bss is the first write.
  EXPECT_EQ(Read(kBlinkCount), 0u);
  EXPECT_LT(Register(regsel::kPc), kMain);
}

TEST_F(Board, FaultInTheHardFaultHandlerLocksTheCoreUp) {
  // Reset: UDF, a fault; HardFault handler: UDF again.
  chip.SetFlashBytes(0, {0x00, 0x10, 0x00, 0x20, 0x11, 0,    0,    0,    0,    0,    0,
                         0,    0x15, 0,    0,    0,    0x00, 0xDE, 0x00, 0x00, 0x01, 0xDE});
  chip.SystemReset();
  Exchanges(5);
  EXPECT_NE(Read(scs::kDhcsr) & scs::kSLockup, 0u);
  // The HardFault frame holds the faulting instruction's address.
  EXPECT_EQ(Read(0x20001000 - 32 + 24), 0x10u);
  // A halt ends the lockup; the pc stays at the lockup address.
  Write(scs::kDhcsr, kDebugOn | scs::kCHalt);
  EXPECT_EQ(Read(scs::kDhcsr) & scs::kSLockup, 0u);
  EXPECT_EQ(Register(regsel::kPc), exc::kLockupAddress);
}

TEST_F(Board, CoreProgramsFlashThroughTheControllerTheDebugPortSees) {
  Write(scs::kDhcsr, kDebugOn);
  Flash("flash-word/flash-word.bin");
  Exchanges(5);
  ASSERT_TRUE(Halted());
  EXPECT_EQ(Read(scs::kDfsr) & scs::kDfsrBkpt, scs::kDfsrBkpt);
  EXPECT_EQ(Read(0x400), 0x600DF00Du);
  EXPECT_EQ(Register(0), fmc::kStatusProgrammed);
}

TEST_F(Board, CoreStateSurvivesTheBenchFile) {
  Flash("blinky/blinky.bin");
  Exchanges(300);
  SimTarget saved;
  saved.chip = chip;
  const std::string file = ::testing::TempDir() + "core-state.bin";
  ASSERT_TRUE(saved.Save(file));
  SimTarget loaded;
  ASSERT_TRUE(loaded.Load(file));
  EXPECT_EQ(loaded.chip.core.registers, chip.core.registers);
  EXPECT_EQ(loaded.chip.gpio, chip.gpio);
}

// On the whole tool: the firmware runs between command lines as on a board.
TEST(BlinkerOnTheBench, CounterAdvancesBetweenRuns) {
  if (!SimCpu::Executes()) GTEST_SKIP() << SimCpu::WhyNot();
  testing::Bench bench;
  bench.hid.AddAdapter(L"SIM00001");
  const std::string hex = std::string(DRAVLOPRO_SOURCE_DIR) + "/examples/blinky/blinky.hex";
  ASSERT_EQ(bench.Run({"-a", hex, "-rst"}), 0);
  auto counter = [&] {
    EXPECT_EQ(bench.Run({"-halt", "-r32", "0x20000000", "1"}), 0);
    const std::size_t at = bench.output().find("0x20000000:  ");
    return std::stoul(bench.output().substr(at + 13, 8), nullptr, 16);
  };
  const unsigned long first = counter();
  EXPECT_GT(first, 0u);
  ASSERT_EQ(bench.Run({"-run"}), 0);
  EXPECT_GT(counter(), first);

  // "-hrsts" stops the core before its first instruction.
  ASSERT_EQ(bench.Run({"-hrsts"}), 0);
  const SimChip& chip = bench.hid.adapter(L"SIM00001").target.chip;
  EXPECT_TRUE(chip.core.halted);
  EXPECT_EQ(chip.CoreRegister(regsel::kPc), kResetHandler);
}

}  // namespace
}  // namespace dravlopro::sim
