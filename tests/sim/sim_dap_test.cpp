// The simulated adapter's serial-wire engine, debug port and memory access port.

#include <gtest/gtest.h>

#include "sim/sim_map.h"
#include "tests/sim/sim_bench_util.h"

namespace dravlopro::sim {
namespace {

using testing::TargetDriver;

TEST(SimDapTest, ConnectSequenceBringsTheLinkUp) {
  TargetDriver bench;
  const Report dpidr = bench.Connect();
  EXPECT_EQ(dpidr[1], 0x05);
  EXPECT_EQ(dpidr[2], 1);
  EXPECT_EQ(dpidr[3], ack::kOk);
  EXPECT_EQ(GetLe32(&dpidr[4]), 0x0BC11477u);
  EXPECT_EQ(bench.target.dap.wire, SimDap::Wire::kActive);
  EXPECT_EQ(bench.target.dap.csw, 0x23000052u);

  // CTRL/STAT shows the power-up acknowledgements beside the requests.
  const Report ctrl = bench.Send({0x05, 0x00, 0x01, 0x06});
  EXPECT_EQ(ctrl[3], ack::kOk);
  EXPECT_EQ(GetLe32(&ctrl[4]), 0xF0000F00u);

  // Bank 0xF register 0x8 of the access port is BASE; its IDR sits at 0xFC.
  bench.Send({0x05, 0x00, 0x01, 0x08, 0xF0, 0x00, 0x00, 0x00});
  const Report base = bench.Send({0x05, 0x00, 0x02, 0x0B, 0x0F});
  EXPECT_EQ(base[2], 2);
  EXPECT_EQ(GetLe32(&base[4]), 0xE00FF003u);
  EXPECT_EQ(GetLe32(&base[8]), ap::kIdrValue);

  // Every answer echoes its command; the count-0 transfer makes no transfer.
  const Report empty = bench.Send({0x05, 0x00, 0x00, 0x06});
  EXPECT_EQ(empty[1], 0x05);
  EXPECT_EQ(empty[2], 0);
  EXPECT_EQ(empty[3], 0);
  EXPECT_EQ(bench.target.dap.nResetHistory, std::vector<bool>{true});
  EXPECT_EQ(bench.target.chip.resetCount, 0);
}

TEST(SimDapTest, ConnectUnderResetHoldsAndReleasesNReset) {
  TargetDriver bench;
  bench.Connect(/*underReset=*/true);
  EXPECT_EQ(bench.target.dap.nResetHistory, (std::vector<bool>{false, true}));
  EXPECT_TRUE(bench.target.dap.nResetHigh);
  EXPECT_EQ(bench.target.chip.resetCount, 1);
  EXPECT_FALSE(bench.target.chip.core.inReset);

  // While held low the core is in reset; DHCSR says so and memory still answers.
  bench.Send({0x10, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00});
  EXPECT_TRUE(bench.target.chip.core.inReset);
  EXPECT_NE(bench.ReadWord(scs::kDhcsr) & scs::kSResetSt, 0u);
  EXPECT_EQ(bench.WriteWords(0x20000000, {0x12345678}), ack::kOk);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000000), 0x12345678u);
}

TEST(SimDapTest, NothingAnswersUntilTheSwitchSequenceAndDpidrRead) {
  TargetDriver bench;
  // Not even connected: the adapter makes no transfer.
  Report a = bench.Send({0x05, 0x00, 0x01, 0x02});
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(a[3], 0);

  bench.Send({0x02, 0x01});
  a = bench.Send({0x05, 0x00, 0x01, 0x02});
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(a[3], ack::kNone);
  EXPECT_EQ(GetLe32(&a[4]), 0u);

  // Line reset and switch, but no second line reset yet.
  bench.Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  bench.Send({0x12, 0x10, 0x9E, 0xE7});
  EXPECT_EQ(bench.Send({0x05, 0x00, 0x01, 0x02})[3], ack::kNone);

  // After the line reset only a DPIDR read is taken.
  bench.Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(bench.Send({0x05, 0x00, 0x01, 0x08, 0, 0, 0, 0})[3], ack::kNone);
  EXPECT_EQ(bench.Send({0x05, 0x00, 0x01, 0x02})[3], ack::kOk);
  EXPECT_EQ(bench.Send({0x05, 0x00, 0x01, 0x08, 0, 0, 0, 0})[3], ack::kOk);

  // A wrong switch sequence leaves the link down.
  TargetDriver other;
  other.Send({0x02, 0x01});
  other.Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  other.Send({0x12, 0x10, 0x3C, 0xE7});
  other.Send({0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(other.Send({0x05, 0x00, 0x01, 0x02})[3], ack::kNone);
}

TEST(SimDapTest, MissingTargetReadsZeroIdcodeWithoutAck) {
  TargetDriver bench;
  bench.target.faults().noTarget = true;
  const Report dpidr = bench.Connect();
  EXPECT_EQ(GetLe32(&dpidr[4]), 0u);
  EXPECT_EQ(dpidr[3], ack::kNone);
  // The connect stopped at the DPIDR read: nRESET was never touched.
  EXPECT_TRUE(bench.target.dap.nResetHistory.empty());
}

TEST(SimDapTest, TarAutoIncrementWrapsInsideOneKilobyte) {
  TargetDriver bench;
  bench.Connect();
  EXPECT_EQ(bench.WriteWords(0x200003F8, {1, 2, 3, 4}), ack::kOk);
  EXPECT_EQ(bench.target.chip.SramWord(0x200003F8), 1u);
  EXPECT_EQ(bench.target.chip.SramWord(0x200003FC), 2u);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000000), 3u);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000004), 4u);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000400), 0u);
  EXPECT_EQ(bench.target.dap.tar, 0x20000008u);

  // Byte-sized accesses touch one lane and step TAR by one.
  bench.Send({0x05, 0x00, 0x01, 0x01, 0x50, 0x00, 0x00, 0x23});
  bench.SetTar(0x20000101);
  bench.Send({0x05, 0x00, 0x01, 0x0D, 0x00, 0xAB, 0x00, 0x00});
  EXPECT_EQ(bench.target.chip.SramWord(0x20000100), 0x0000AB00u);
  EXPECT_EQ(bench.target.dap.tar, 0x20000102u);
}

TEST(SimDapTest, BlockTransfersMoveSramWords) {
  TargetDriver bench;
  bench.Connect();
  std::vector<std::uint32_t> words;
  for (std::uint32_t i = 0; i < 14; ++i) words.push_back(0x11110000 + i);
  EXPECT_EQ(bench.WriteWords(0x20001000, words), ack::kOk);
  std::uint8_t response = 0;
  EXPECT_EQ(bench.ReadWords(0x20001000, 14, &response), words);
  EXPECT_EQ(response, ack::kOk);

  // The answer header counts what was done.
  bench.SetTar(0x20001000);
  const Report answer = bench.Send({0x06, 0x00, 0x03, 0x00, 0x0F});
  EXPECT_EQ(answer[1], 0x06);
  EXPECT_EQ(GetLe16(&answer[2]), 3);
  EXPECT_EQ(GetLe32(&answer[13]), 0x11110002u);

  // Count 0 does nothing and reports status 0.
  const Report none = bench.Send({0x06, 0x00, 0x00, 0x00, 0x0F});
  EXPECT_EQ(GetLe16(&none[2]), 0);
  EXPECT_EQ(none[4], 0);

  // A block that cannot fit one report stops with a protocol error, no overrun.
  const Report tooMany = bench.Send({0x06, 0x00, 0x20, 0x00, 0x0F});
  EXPECT_EQ(GetLe16(&tooMany[2]), 15);
  EXPECT_EQ(tooMany[4], ack::kProtocolError);
}

TEST(SimDapTest, BusErrorsFaultAndStickUntilAbort) {
  TargetDriver bench;
  bench.Connect();
  std::uint8_t response = 0;
  EXPECT_TRUE(bench.ReadWords(0x30000000, 2, &response).empty());
  EXPECT_EQ(response, ack::kFault);

  // The sticky error shows in CTRL/STAT and blocks even good addresses.
  EXPECT_NE(GetLe32(&bench.Send({0x05, 0x00, 0x01, 0x06})[4]) & dp::kStickyErr, 0u);
  EXPECT_EQ(bench.SetTar(0x20000000), ack::kFault);

  bench.Send({0x08, 0x00, 0x1E, 0x00, 0x00, 0x00});
  EXPECT_EQ(bench.WriteWords(0x20000000, {7}), ack::kOk);
  EXPECT_EQ(bench.ReadWord(0x20000000), 7u);

  // Writing flash directly is a bus error too; it only changes through the FMC.
  EXPECT_EQ(bench.WriteWords(0x00000100, {0}), ack::kFault);
  EXPECT_EQ(bench.target.chip.FlashWord(0x100), 0xFFFFFFFFu);
}

TEST(SimDapTest, InjectedWaitAndFaultAnswers) {
  TargetDriver bench;
  bench.Connect();
  auto& faults = bench.target.faults().accessFaults;

  // A short WAIT is ridden out by the adapter's retries.
  faults.push_back({{0x20000000, 0x200000FF}, ack::kWait, 3, false});
  std::uint8_t response = 0;
  EXPECT_EQ(bench.ReadWords(0x20000000, 2, &response).size(), 2u);
  EXPECT_EQ(response, ack::kOk);
  EXPECT_EQ(bench.target.dap.waitsSeen, 3u);

  // A lasting WAIT outlives the 100 retries; the second block answers 2.
  faults[0] = {{0x20000040, 0x200000FF}, ack::kWait, -1, false};
  EXPECT_EQ(bench.ReadWords(0x20000000, 14, &response).size(), 14u);
  EXPECT_EQ(response, ack::kOk);
  const Report second = bench.Send({0x06, 0x00, 0x0E, 0x00, 0x0F});
  EXPECT_EQ(GetLe16(&second[2]), 2);
  EXPECT_EQ(second[4], ack::kWait);

  // A fault on the TAR write stops a write before any data moves.
  faults[0] = {{0x20000200, 0x20000200}, ack::kFault, -1, true};
  EXPECT_EQ(bench.WriteWords(0x20000200, {5}), ack::kFault);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000200), 0u);
}

TEST(SimDapTest, UnknownAndUnansweredCommands) {
  TargetDriver bench;
  const Report unknown = bench.Send({0x42, 0x01});
  EXPECT_TRUE(bench.answered);
  EXPECT_EQ(unknown[1], 0xFF);
  bench.Send({0x07});  // DAP_TransferAbort has no answer
  EXPECT_FALSE(bench.answered);
  const Report pins = bench.Send({0x10, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(pins[2] & 0x80, 0);
}

TEST(SimDapTest, HaltRunAndSystemResetThroughDebugRegisters) {
  TargetDriver bench;
  bench.Connect();
  SimChip& chip = bench.target.chip;

  bench.Send({0x05, 0x00, 0x02, 0x05, 0xF0, 0xED, 0x00, 0xE0, 0x0D, 0x03, 0x00, 0x5F, 0xA0});
  EXPECT_TRUE(chip.core.halted);
  EXPECT_NE(bench.ReadWord(scs::kDhcsr) & scs::kSHalt, 0u);
  EXPECT_EQ(bench.ReadWord(scs::kDfsr), scs::kDfsrHalted);

  // A write without the key is ignored.
  bench.WriteWords(scs::kDhcsr, {0x00000001});
  EXPECT_TRUE(chip.core.halted);

  // DEMCR = 1, read DHCSR, AIRCR = 0x05FA0004: the core halts on the reset vector.
  bench.Send({0x05, 0x00, 0x02, 0x05, 0xFC, 0xED, 0x00, 0xE0, 0x0D, 0x01, 0x00, 0x00, 0x00});
  bench.Send({0x05, 0x00, 0x02, 0x05, 0xF0, 0xED, 0x00, 0xE0, 0x0F});
  bench.Send({0x05, 0x00, 0x02, 0x05, 0x0C, 0xED, 0x00, 0xE0, 0x0D, 0x04, 0x00, 0xFA, 0x05});
  EXPECT_EQ(chip.resetCount, 1);
  EXPECT_TRUE(chip.core.halted);
  EXPECT_EQ(bench.ReadWord(scs::kDfsr), scs::kDfsrHalted | scs::kDfsrVcatch);

  // DFSR clears by writing ones; then run.
  bench.WriteWords(scs::kDfsr, {0x9});
  EXPECT_EQ(chip.core.dfsr, 0u);
  bench.WriteWords(scs::kDemcr, {0});
  bench.Send({0x05, 0x00, 0x02, 0x05, 0xF0, 0xED, 0x00, 0xE0, 0x0D, 0x01, 0x00, 0x5F, 0xA0});
  EXPECT_FALSE(chip.core.halted);
  EXPECT_EQ(bench.ReadWord(scs::kDhcsr) & scs::kSHalt, 0u);

  // Without halting debug enabled a reset just runs, vector catch or not.
  bench.WriteWords(scs::kDhcsr, {0xA05F0000});
  bench.WriteWords(scs::kDemcr, {1});
  bench.WriteWords(scs::kAircr, {0x05FA0004});
  EXPECT_EQ(chip.resetCount, 2);
  EXPECT_FALSE(chip.core.halted);
}

}  // namespace
}  // namespace dravlopro::sim
