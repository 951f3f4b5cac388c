#include <gtest/gtest.h>

#include "tests/probe/probe_bench.h"

namespace dravlopro {
namespace {

using probetest::BlockRead;
using probetest::BlockWrite;
using probetest::ConnectAndReadyRequests;
using probetest::ConnectRequests;
using probetest::Hex;
using probetest::Join;
using probetest::kStatusRead;
using probetest::ReadyRequests;
using probetest::RequestsAre;
using probetest::TargetBench;
using probetest::TarWrite;

const std::string kHalt = "05 00 02 05 F0 ED 00 E0 0D 03 00 5F A0";
const std::string kRun = "05 00 02 05 F0 ED 00 E0 0D 01 00 5F A0";
const std::vector<std::string> kSystemReset = {"05 00 02 05 FC ED 00 E0 0D 01 00 00 00",
                                               "05 00 02 05 F0 ED 00 E0 0F",
                                               "05 00 02 05 0C ED 00 E0 0D 04 00 FA 05"};

constexpr std::uint32_t kDfsr = 0xE000ED30;
constexpr std::uint32_t kDemcr = 0xE000EDFC;

std::vector<std::string> ReadWord(std::uint32_t address) {
  return {TarWrite(address), BlockRead(1), kStatusRead};
}
std::vector<std::string> WriteWord(std::uint32_t address, std::uint32_t value) {
  return {TarWrite(address), BlockWrite({value}), kStatusRead};
}

TEST(TargetConnection, HaltConnectsWaitsOnceAndHalts) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-halt"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), {kHalt}})));
  EXPECT_EQ(bench.clock.sleeps, std::vector<std::uint32_t>{110});
  EXPECT_TRUE(bench.chip().core.halted);
  EXPECT_TRUE(bench.target().dap.nResetHistory.empty() ||
              bench.target().dap.nResetHistory == std::vector<bool>{true});
}

TEST(TargetConnection, ConnectUnderResetHoldsNresetLowUntilTheLinkIsUp) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-hrst"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), ConnectRequests(true)));
  EXPECT_EQ(bench.target().dap.nResetHistory, (std::vector<bool>{false, true}));
  EXPECT_TRUE(bench.target().dap.nResetHigh);
  EXPECT_TRUE(bench.clock.sleeps.empty());
  EXPECT_FALSE(bench.chip().core.halted);

  EXPECT_EQ(bench.Run({"-hrsts"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectRequests(true), {kHalt}})));
  EXPECT_TRUE(bench.chip().core.halted);
}

TEST(TargetConnection, AnUnansweredDpidrStopsTheConnectWithNresetStillLow) {
  TargetBench bench;
  bench.faults().noTarget = true;
  const std::vector<std::string> all = ConnectRequests(true);
  const std::vector<std::string> upToDpidr(all.begin(), all.begin() + 11);

  EXPECT_EQ(bench.Run({"-hrst"}), 2);
  EXPECT_TRUE(RequestsAre(bench.Requests(), upToDpidr));
  EXPECT_FALSE(bench.target().dap.nResetHigh);
  // The indicator went on with the connect; only the end of the run turns it off.
  EXPECT_EQ(bench.adapter->ledHistory, (std::vector<bool>{true, false}));

  // "-hrsts" still sends the halt.
  EXPECT_EQ(bench.Run({"-hrsts"}), 2);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({upToDpidr, {kHalt}})));

  // Without nRESET: ten requests, no readiness pause.
  bench.clock.sleeps.clear();
  EXPECT_EQ(bench.Run({"-halt"}), 2);
  const std::vector<std::string> plain = ConnectRequests(false);
  EXPECT_TRUE(RequestsAre(bench.Requests(), {plain.begin(), plain.begin() + 10}));
  EXPECT_TRUE(bench.clock.sleeps.empty());
}

TEST(TargetConnection, ATargetThatNeverGetsReadyCostsFivePausesAndGivesTwo) {
  TargetBench bench;
  bench.faults().neverReady = true;
  EXPECT_EQ(bench.Run({"-halt"}), 2);
  EXPECT_EQ(bench.clock.sleeps, (std::vector<std::uint32_t>{110, 120, 130, 140, 150}));
  std::vector<std::string> expected = ConnectRequests(false);
  for (int k = 0; k < 5; ++k) {
    expected.push_back(TarWrite(0x40080310));
    expected.push_back(BlockRead(4));
  }
  EXPECT_TRUE(RequestsAre(bench.Requests(), expected));
  EXPECT_FALSE(bench.chip().core.halted);

  // Ready at the third try.
  bench.faults().neverReady = false;
  bench.faults().readyAfterReads = 2;
  bench.clock.sleeps.clear();
  EXPECT_EQ(bench.Run({"-halt"}), 0);
  EXPECT_EQ(bench.clock.sleeps, (std::vector<std::uint32_t>{110, 120, 130}));
}

TEST(TargetConnection, RunWithOnlyHaltedFlaggedClearsItWithoutAReset) {
  TargetBench bench;
  bench.chip().core.halted = true;
  bench.chip().core.dfsr = 0x00000001;
  EXPECT_EQ(bench.Run({"-run"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  ReadWord(kDfsr),
                                                  WriteWord(kDfsr, 1),
                                                  ReadWord(kDemcr),
                                                  {kRun}})));
  EXPECT_EQ(bench.chip().resetCount, 0);
  EXPECT_EQ(bench.chip().core.dfsr, 0u);
  EXPECT_FALSE(bench.chip().core.halted);
}

TEST(TargetConnection, RunWithMoreFlagsReconnectsResetsAndClearsThem) {
  TargetBench bench;
  bench.chip().core.halted = true;
  bench.chip().core.dfsr = 0x00000003;
  EXPECT_EQ(bench.Run({"-run"}), 0);
  // The reset leaves the vector catch set, so DEMCR is cleared afterwards.
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  ReadWord(kDfsr),
                                                  ConnectRequests(false),
                                                  kSystemReset,
                                                  WriteWord(kDfsr, 3),
                                                  ReadWord(kDemcr),
                                                  WriteWord(kDemcr, 0),
                                                  {kRun}})));
  EXPECT_EQ(bench.chip().resetCount, 1);
  EXPECT_EQ(bench.chip().core.demcr & 1u, 0u);
  EXPECT_FALSE(bench.chip().core.halted);
}

TEST(TargetConnection, ResetAndRunSkipsTheReadinessWaitAndClearsTheCatch) {
  TargetBench bench;
  bench.chip().core.dhcsrControl = 1;  // halting debug enabled by an earlier session
  EXPECT_EQ(bench.Run({"-rst"}), 0);
  // After the reset the core stopped at the vector catch: DFSR shows it.
  const std::uint32_t flagged = 0x00000008;
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectRequests(false),
                                                  kSystemReset,
                                                  ReadWord(kDfsr),
                                                  WriteWord(kDfsr, flagged),
                                                  ReadWord(kDemcr),
                                                  WriteWord(kDemcr, 0),
                                                  {kRun}})));
  EXPECT_TRUE(bench.clock.sleeps.empty());
  EXPECT_EQ(bench.chip().resetCount, 1);
  EXPECT_FALSE(bench.chip().core.halted);
  EXPECT_EQ(bench.chip().core.demcr & 1u, 0u);
}

TEST(TargetConnection, FailedRegisterAccessesInTheRunFlowsStillEndWithRun) {
  TargetBench bench;
  // DFSR answers WAIT for good; DEMCR still works.
  bench.faults().accessFaults.push_back({{kDfsr, kDfsr}, sim::ack::kWait});
  EXPECT_EQ(bench.Run({"-rst"}), 5);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectRequests(false),
                                                  kSystemReset,
                                                  {TarWrite(kDfsr), BlockRead(1)},
                                                  ReadWord(kDemcr),
                                                  WriteWord(kDemcr, 0),
                                                  {kRun}})));
  EXPECT_FALSE(bench.chip().core.halted);

  // A DEMCR read refused in "-run": the flow goes on and ends with the run.
  TargetBench second;
  second.chip().core.dfsr = 1;
  second.chip().core.demcr = 1;
  // One access and the adapter's 100 retries all answer WAIT.
  second.faults().accessFaults.push_back({{kDemcr, kDemcr}, sim::ack::kWait, 101});
  EXPECT_EQ(second.Run({"-run"}), 5);
  EXPECT_TRUE(RequestsAre(second.Requests(), Join({ConnectAndReadyRequests(),
                                                   ReadWord(kDfsr),
                                                   WriteWord(kDfsr, 1),
                                                   {TarWrite(kDemcr), BlockRead(1), kRun}})));
  EXPECT_EQ(second.chip().core.dfsr, 0u);

  // A refused DFSR write: 4, and the flow still ends with the run.
  TargetBench writes;
  sim::AccessFault refused{{kDfsr, kDfsr}, sim::ack::kWait};
  refused.writesOnly = true;
  writes.faults().accessFaults.push_back(refused);
  writes.chip().core.dfsr = 3;
  EXPECT_EQ(writes.Run({"-rst"}), 4);
  EXPECT_NE(writes.chip().core.dfsr, 0u);
  EXPECT_EQ(Hex(writes.Requests().back(), 13), kRun + " ");
  EXPECT_EQ(writes.Run({"-run"}), 4);
  EXPECT_EQ(Hex(writes.Requests().back(), 13), kRun + " ");

  // Unreachable: 2 at once.
  TargetBench third;
  third.faults().noTarget = true;
  EXPECT_EQ(third.Run({"-rst"}), 2);
  EXPECT_EQ(third.Requests().size(), 10u);
  EXPECT_EQ(third.Run({"-run"}), 2);
  EXPECT_EQ(third.Requests().size(), 10u);
}

}  // namespace
}  // namespace dravlopro
