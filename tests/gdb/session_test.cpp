#include "gdb/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "debug/debug_registers.h"
#include "sim/sim_cpu.h"
#include "tests/gdb/gdb_bench.h"

namespace dravlopro {
namespace {

using gdbtest::SessionBench;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

TEST(GdbSession, AcknowledgesUntilNoAckModeAndAnswersWhatItKnows) {
  SessionBench s;
  const std::string supported = s.Raw(gdb::EncodePacket("qSupported:swbreak+;hwbreak+"));
  EXPECT_EQ(supported.substr(0, 2), "+$");
  EXPECT_NE(supported.find("PacketSize=4000;QStartNoAckMode+;qXfer:features:read+;"
                           "qXfer:memory-map:read+"),
            std::string::npos);
  EXPECT_EQ(s.Raw("$OK#9b"), "-");  // bad checksum
  EXPECT_EQ(s.Raw(gdb::EncodePacket("qNoSuchThing")), "+$#00");
  EXPECT_EQ(s.Raw(gdb::EncodePacket("QStartNoAckMode")), "+$OK#9a");
  EXPECT_EQ(s.Raw(gdb::EncodePacket("vMustReplyEmpty")), "$#00");
  EXPECT_EQ(s.Raw("$OK#9b"), "");
}

TEST(GdbSession, DescribesTheCoreRegistersAndTheMemoryMap) {
  SessionBench s;
  const std::string xml = s.Ask("qXfer:features:read:target.xml:0,3fff");
  ASSERT_EQ(xml.substr(0, 1), "l");
  for (const char* name : {"\"xpsr\"", "\"msp\"", "\"psp\"", "\"primask\"", "\"basepri\"",
                           "\"faultmask\"", "\"control\"", "org.gnu.gdb.arm.m-profile"}) {
    EXPECT_NE(xml.find(name), std::string::npos) << name;
  }
  // Read in pieces, the document comes whole.
  const std::string first = s.Ask("qXfer:features:read:target.xml:0,10");
  EXPECT_EQ(first, "m" + xml.substr(1, 16));

  const std::string map = s.Ask("qXfer:memory-map:read::0,fff");
  EXPECT_NE(map.find("<memory type=\"flash\" start=\"0x0\" length=\"0x100000\"><property "
                     "name=\"blocksize\">0x400</property>"),
            std::string::npos);
  EXPECT_NE(map.find("<memory type=\"flash\" start=\"0x1ff00000\""), std::string::npos);
  EXPECT_NE(map.find("<memory type=\"ram\" start=\"0x20000000\""), std::string::npos);
}

TEST(GdbSession, FirstQuestionHaltsTheCoreAndRegistersGoThroughTheDebugPort) {
  SessionBench s;
  EXPECT_EQ(s.Ask("?").substr(0, 3), "T02");
  EXPECT_TRUE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
  EXPECT_EQ(s.Ask("P0=78563412"), "OK");
  EXPECT_EQ(s.Ask("P13=01000000"), "OK");  // primask, the low byte of REGSEL 20
  EXPECT_EQ(s.Ask("p0"), "78563412");
  EXPECT_EQ(s.Ask("g").size(), 23u * 8);
  EXPECT_EQ(s.Ask("p17"), "E00");

  // Another look through the debug port sees what was written.
  DebugTarget fresh(s.device, s.bench.clock);
  ASSERT_TRUE(fresh.Attach());
  std::vector<std::uint32_t> values;
  ASSERT_EQ(fresh.ReadRegisters({0, debugreg::regsel::kSpecial}, values), AccessResult::Ok);
  EXPECT_EQ(values[0], 0x12345678u);
  EXPECT_EQ(values[1] & 0xFF, 1u);
}

TEST(GdbSession, MemoryOfAnyAlignmentAndUnreadableMemoryIsAnError) {
  SessionBench s;
  s.Ask("?");
  s.chip().SetSramWord(0x20000000, 0x11223344);
  EXPECT_EQ(s.Ask("M20000001,2:aabb"), "OK");
  EXPECT_EQ(s.Word(0x20000000), 0x11bbaa44u);
  // Binary data with the escaped bytes "#" and "}".
  EXPECT_EQ(s.Ask(std::string("X20000005,3:#}\0", 15)), "OK");
  EXPECT_EQ(s.Ask("m20000000,8"), "44aabb1100237d00");
  EXPECT_EQ(s.Ask("X20000000,0:"), "OK");
  EXPECT_EQ(s.Ask("m30000000,4"), "E01");
  EXPECT_EQ(s.Ask("m20000003,2"), "1100");   // the link keeps working
  EXPECT_EQ(s.Ask("M0,4:00000000"), "E01");  // flash only through a load
  EXPECT_EQ(s.Ask("m2000000g,4"), "E02");
}

TEST(GdbSession, CrcIsTheOneCompareSectionsComputes) {
  SessionBench s;
  s.Ask("?");
  EXPECT_EQ(s.Ask("M20000100,9:313233343536373839"), "OK");
  EXPECT_EQ(s.Ask("qCRC:20000100,9"), "C0376e6e7");
}

TEST(GdbSession, LoadErasesExactlyThePagesAskedForAndReadsBack) {
  // The load runs on the core.
  if (!sim::SimCpu::Executes()) GTEST_SKIP() << sim::SimCpu::WhyNot();
  SessionBench s;
  s.chip().SetFlashBytes(0x800, {0xCA, 0x11, 0xB0, 0x0A});  // a calibration page
  s.Ask("?");
  EXPECT_EQ(s.Ask("vFlashErase:400,400"), "OK");
  EXPECT_EQ(s.Ask(std::string("vFlashWrite:402:\x01\x02\x03", 19)), "OK");
  EXPECT_EQ(s.Ask("vFlashDone"), "OK");
  EXPECT_EQ(s.chip().eraseLog, std::vector<std::uint32_t>{0x400});
  EXPECT_EQ(s.chip().FlashWord(0x400), 0x0201FFFFu);
  EXPECT_EQ(s.chip().FlashWord(0x404), 0xFFFFFF03u);
  EXPECT_EQ(s.chip().FlashWord(0x800), 0x0AB011CAu);
  EXPECT_EQ(s.Ask("vFlashErase:401,400").substr(0, 2), "E.");
}

TEST(GdbSession, ALockedTargetRefusesTheLoadAndStaysUntouched) {
  SessionBench s;
  s.chip().SetFlashBytes(0x400, {1, 2, 3, 4});
  s.chip().SetLocked(true);
  s.Ask("?");
  const std::string reply = s.Ask("vFlashErase:400,400");
  EXPECT_NE(reply.find("locked"), std::string::npos) << reply;
  EXPECT_EQ(s.Ask(std::string("vFlashWrite:400:\x09", 17)).substr(0, 2), "E.");
  EXPECT_TRUE(s.chip().eraseLog.empty());
  EXPECT_EQ(s.chip().FlashWord(0x400), 0x04030201u);
}

TEST(GdbSession, AskingForMoreComparatorsThanTheUnitsHaveIsAnError) {
  SessionBench s;
  s.Ask("?");
  const std::uint32_t codeComparators =
      debugreg::fpb::CodeComparators(s.Word(debugreg::fpb::kCtrl));
  for (std::uint32_t n = 0; n < codeComparators; ++n) {
    EXPECT_EQ(s.Ask("Z1," + Hex(0x100 + 8 * n) + ",2"), "OK");
  }
  EXPECT_EQ(s.Ask("Z1,200,2").substr(0, 2), "E.");
  EXPECT_EQ(s.Ask("Z1,20000000,2").substr(0, 2), "E.");  // out of the FPB's reach
  const std::uint32_t dataComparators = debugreg::dwt::Comparators(s.Word(debugreg::dwt::kCtrl));
  for (std::uint32_t n = 0; n < dataComparators; ++n) {
    EXPECT_EQ(s.Ask("Z2," + Hex(0x20000100 + 4 * n) + ",4"), "OK");
  }
  EXPECT_EQ(s.Ask("Z3,20000200,4").substr(0, 2), "E.");
  EXPECT_EQ(s.Ask("z2,20000100,4"), "OK");
  EXPECT_EQ(s.Ask("Z3,20000200,4"),
            dataComparators > 0 ? "OK" : "E.no hardware comparator is free");
}

TEST(GdbSession, SoftwareBreakpointsInSramAreBkptInstructionsPutBack) {
  SessionBench s;
  s.Ask("?");
  s.chip().SetSramWord(0x20000040, 0x46C046C0);
  EXPECT_EQ(s.Ask("Z0,20000042,2"), "OK");
  EXPECT_EQ(s.Word(0x20000040), 0xBE0046C0u);
  EXPECT_EQ(s.Ask("z0,20000042,2"), "OK");
  EXPECT_EQ(s.Word(0x20000040), 0x46C046C0u);
}

TEST(GdbSession, InterruptHaltsARunningCoreAndDetachLeavesItRunning) {
  SessionBench s;
  // Firmware that loops on itself (b .) at 0x20000040; a BKPT placed past it.
  s.chip().SetFlashBytes(0, {0x00, 0x10, 0x00, 0x20, 0x41, 0x00, 0x00, 0x20});
  s.chip().SetSramWord(0x20000040, 0x46C0E7FE);
  EXPECT_EQ(s.Ask("qRcmd," + gdb::ToHex("reset halt")), "OK");
  EXPECT_EQ(s.Ask("p0f"), "40000020");
  EXPECT_EQ(s.Ask("Z0,20000042,2"), "OK");
  EXPECT_EQ(s.Ask("vCont;c"), "<none>");
  EXPECT_TRUE(s.session.running());
  EXPECT_FALSE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
  EXPECT_EQ(SessionBench::LastPayload(s.Raw("\x03")).substr(0, 3), "T02");
  EXPECT_TRUE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
  EXPECT_EQ(s.Ask("D"), "OK");
  EXPECT_EQ(s.session.ended(), gdb::Session::End::Detached);
  EXPECT_FALSE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
  EXPECT_EQ(s.Word(0x20000040), 0x46C0E7FEu);
}

TEST(GdbSession, ACoreThatLocksUpIsHaltedAndReportedAsAFault) {
  if (!sim::SimCpu::Executes()) GTEST_SKIP() << sim::SimCpu::WhyNot();
  SessionBench s;
  // Reset and HardFault handlers both UDF: a fault in the fault handler.
  s.chip().SetFlashBytes(0, {0x00, 0x10, 0x00, 0x20, 0x11, 0,    0,    0,    0,    0,    0,
                             0,    0x15, 0,    0,    0,    0x00, 0xDE, 0x00, 0x00, 0x01, 0xDE});
  EXPECT_EQ(s.Ask("qRcmd," + gdb::ToHex("reset halt")), "OK");
  s.Ask("vCont;c");
  for (int poll = 0; poll < 5 && s.session.running(); ++poll) s.session.Poll();
  EXPECT_EQ(SessionBench::LastPayload(s.sent).substr(0, 3), "T0b");
  EXPECT_TRUE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
}

TEST(GdbSession, MonitorCommandsAnswerOnTheConsole) {
  SessionBench s;
  s.Ask("?");
  const std::string help = s.Raw(gdb::EncodePacket("qRcmd," + gdb::ToHex("help")));
  EXPECT_NE(help.find("$O" + gdb::ToHex("monitor reset halt")), std::string::npos);
  EXPECT_EQ(SessionBench::LastPayload(help), "OK");
  const int resets = s.chip().resetCount;
  EXPECT_EQ(s.Ask("qRcmd," + gdb::ToHex("reset halt")), "OK");
  EXPECT_EQ(s.chip().resetCount, resets + 1);
  EXPECT_TRUE(s.chip().Dhcsr() & debugreg::dhcsr::kHalted);
}

}  // namespace
}  // namespace dravlopro

namespace dravlopro {
namespace {

TEST(GdbSession, AnAdapterLostMidSessionEndsItWithAnErrorGdbShows) {
  gdbtest::SessionBench s;
  s.Ask("?");
  s.bench.hid.device(0).exchangesLeft = 0;  // it drops off the bus
  EXPECT_EQ(s.Ask("m20000000,4"), "E.the adapter was lost");
  EXPECT_EQ(s.session.ended(), gdb::Session::End::LinkLost);
}

}  // namespace
}  // namespace dravlopro
