// Answers that come late, come never, or belong to another request: the
// link never pairs a request with an answer meant for an earlier one.

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "adapter/forwarding.h"
#include "cli/driver.h"
#include "tests/probe/probe_bench.h"

namespace dravlopro {
namespace {

using probetest::BlockRead;
using probetest::ConnectAndReadyRequests;
using probetest::ConnectRequests;
using probetest::Join;
using probetest::kStatusRead;
using probetest::kSuccess;
using probetest::RequestsAre;
using probetest::TargetBench;
using probetest::TarWrite;
using testing::kDefaultSelection;

constexpr std::uint32_t kSram = 0x20000000;
const std::string kVersionRead = "00 04";
const std::string kPacketSizeRead = "00 FF";
const std::string kLedOff = "01 00 00";
const std::string kConnectFailedLine =
    "Result: An error occurred when connect the target MCU. The possible reasons are: 1. The "
    "target MCU is not powered. 2. SWDIO/SWCLK is not connected. 3. The target MCU entry the "
    "power save mode.\n";

// Trace places of the requests of "-r32 0x20000000 4": the version read,
// the connect sequence, the readiness reads and then the memory read.
constexpr std::size_t kTransferConfigure = 3;  // its answer is not looked at
constexpr std::size_t kDpidrRead = 10;         // its answer decides the connection
constexpr std::size_t kDataRead = 29;          // the block read of the four words

std::vector<Report> AllRequests(const std::vector<sim::TraceEntry>& trace) {
  std::vector<Report> out;
  for (const sim::TraceEntry& e : trace) out.push_back(e.request);
  return out;
}

// Every answer was read before the next request went out, but for those
// listed: they were read, and dropped, only after the one request that
// follows them.
::testing::AssertionResult PairedInOrder(const std::vector<sim::TraceEntry>& trace,
                                         const std::set<std::size_t>& dropped = {}) {
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (!trace[i].answered) continue;
    const std::size_t expected = dropped.count(i) != 0 ? i + 2 : i + 1;
    if (trace[i].readAfter != expected) {
      return ::testing::AssertionFailure()
             << "the answer of request " << i << " was read after "
             << (trace[i].readAfter ? std::to_string(*trace[i].readAfter) : "no") << " requests";
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> ReadFourWordsRequests() {
  return Join({{kVersionRead}, ConnectAndReadyRequests(), {TarWrite(kSram), BlockRead(4)}});
}

class LateAnswerTest : public ::testing::Test {
 protected:
  LateAnswerTest() {
    const std::uint32_t words[] = {0x11111111, 0xCAFEF00D, 0x00000000, 0x87654321};
    for (std::uint32_t i = 0; i < 4; ++i) bench.chip().SetSramWord(kSram + 4 * i, words[i]);
  }
  int ReadFourWords() { return bench.Run({"-r32", "0x20000000", "4"}); }
  std::vector<std::string> Sent(std::size_t from, std::size_t count) const {
    std::vector<std::string> hex;
    const std::vector<std::string> all = ReadFourWordsRequests();
    for (std::size_t i = from; i < from + count; ++i) hex.push_back(all.at(i));
    return hex;
  }

  const std::string kWords = "0x20000000:  11111111 CAFEF00D 00000000 87654321 \n";
  TargetBench bench;
};

TEST_F(LateAnswerTest, AStalledAnswerTheConnectionDoesNotJudgeIsDroppedAndTheReadSucceeds) {
  bench.hid.lateAnswers[kTransferConfigure] = 6000;
  EXPECT_EQ(ReadFourWords(), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kWords + kSuccess);
  // After the timeout the packet size is asked for; the late answer and that
  // one are both read before anything else goes out.
  const std::vector<std::string> all = ReadFourWordsRequests();
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({Sent(0, kTransferConfigure + 1),
                                {kPacketSizeRead},
                                Sent(kTransferConfigure + 1, all.size() - kTransferConfigure - 1),
                                {kStatusRead, kLedOff}})));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {kTransferConfigure}));
  // Five seconds of waiting, one more until the late answer came, and the
  // first readiness pause.
  EXPECT_EQ(bench.clock.elapsedMs, 6000u + 110u);
}

TEST_F(LateAnswerTest, AnAnswerIsAwaitedFiveSeconds) {
  bench.hid.lateAnswers[kTransferConfigure] = 4900;
  EXPECT_EQ(ReadFourWords(), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kWords + kSuccess);
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({ReadFourWordsRequests(), {kStatusRead, kLedOff}})));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace));
  EXPECT_EQ(bench.clock.elapsedMs, 4900u + 110u);

  bench.clock.elapsedMs = 0;
  bench.hid.lateAnswers[kTransferConfigure] = 5100;
  EXPECT_EQ(ReadFourWords(), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kWords + kSuccess);
  EXPECT_TRUE(
      probetest::RequestIs(bench.hid.trace.at(kTransferConfigure + 1).request, kPacketSizeRead));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {kTransferConfigure}));
  EXPECT_EQ(bench.clock.elapsedMs, 5100u + 110u);
}

TEST_F(LateAnswerTest, AStalledAnswerThatIsJudgedFailsTheCommand) {
  bench.hid.lateAnswers[kDpidrRead] = 6000;
  EXPECT_EQ(ReadFourWords(), 2);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -r32 (Fail)\n" + kConnectFailedLine);
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({Sent(0, kDpidrRead + 1), {kPacketSizeRead, kLedOff}})));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {kDpidrRead}));

  // The words themselves come too late: none of them is shown.
  bench.hid.lateAnswers.clear();
  bench.hid.lateAnswers[kDataRead] = 6000;
  EXPECT_EQ(ReadFourWords(), 5);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -r32 (Fail)\n" +
                                "Result: Can't read memory from the specified memory address.\n");
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({ReadFourWordsRequests(), {kPacketSizeRead, kLedOff}})));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {kDataRead}));
}

TEST_F(LateAnswerTest, AnswersThatStopEndTheCommandWithoutWaitingForever) {
  bench.hid.lateAnswers[kTransferConfigure] = sim::SimBench::kNever;
  EXPECT_EQ(ReadFourWords(), 2);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -r32 (Fail)\n" + kConnectFailedLine);
  // The packet-size request is not answered either: nothing more is sent on
  // that handle, not even the indicator switch-off.
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({Sent(0, kTransferConfigure + 1), {kPacketSizeRead}})));
  EXPECT_EQ(bench.clock.elapsedMs, 5000u + 5000u);

  // The next run opens a fresh handle and works again.
  bench.hid.lateAnswers.clear();
  EXPECT_EQ(ReadFourWords(), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kWords + kSuccess);
}

TEST_F(LateAnswerTest, AnAnswerTheAdapterNeverSendsCostsOneTimeoutAndTheLinkGoesOn) {
  // Unlike a stalled answer, a lost one never turns up: the packet-size
  // answer comes at once and the command goes on.
  bench.hid.onAnswer = [](std::size_t exchange, const Report&, Report&) {
    return exchange != kTransferConfigure;
  };
  EXPECT_EQ(ReadFourWords(), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kWords + kSuccess);
  const std::vector<std::string> all = ReadFourWordsRequests();
  EXPECT_TRUE(RequestsAre(AllRequests(bench.hid.trace),
                          Join({Sent(0, kTransferConfigure + 1),
                                {kPacketSizeRead},
                                Sent(kTransferConfigure + 1, all.size() - kTransferConfigure - 1),
                                {kStatusRead, kLedOff}})));
  EXPECT_FALSE(bench.hid.trace.at(kTransferConfigure).answered);
  EXPECT_EQ(bench.clock.elapsedMs, 5000u + 110u);
}

TEST_F(LateAnswerTest, AStaleAnswerIsNotTakenForTheWords) {
  // The block read is answered with the answer before it once more: the
  // address write's DAP_Transfer answer, status OK.
  bench.hid.onAnswer = [previous = Report{}](std::size_t exchange, const Report&,
                                             Report& answer) mutable {
    const Report own = answer;
    if (exchange == kDataRead) answer = previous;
    previous = own;
    return true;
  };
  EXPECT_EQ(ReadFourWords(), 5);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -r32 (Fail)\n" +
                                "Result: Can't read memory from the specified memory address.\n");
  EXPECT_TRUE(
      RequestsAre(AllRequests(bench.hid.trace), Join({ReadFourWordsRequests(), {kLedOff}})));
}

TEST_F(LateAnswerTest, ALateVersionAnswerIsNotTakenForThePacketSize) {
  // A one-character version answers 00 02 ..., just like the packet size.
  bench.adapter->versionText = "7";
  bench.hid.lateAnswers[0] = 6000;
  EXPECT_EQ(ReadFourWords(), 0);
  // The version came too late to be shown.
  EXPECT_EQ(
      bench.output(),
      "This Dravlo Pro/Lite Ver:, ID=0 (Setting comes from default value).\n" + kWords + kSuccess);
  EXPECT_TRUE(probetest::RequestIs(bench.hid.trace.at(1).request, kPacketSizeRead));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {0}));
}

TEST_F(LateAnswerTest, EngineAnswersAreAwaitedThreeMinutes) {
  // "-me": the version read, the query header, the erase header.
  constexpr std::size_t kEraseHeader = 2;
  bench.chip().SetFlashBytes(0x100, {1, 2, 3});
  bench.hid.lateAnswers[kEraseHeader] = 179900;
  EXPECT_EQ(bench.Run({"-me"}), 0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kSuccess);
  EXPECT_EQ(bench.hid.trace.size(), 4u);  // and the indicator switch-off
  EXPECT_TRUE(PairedInOrder(bench.hid.trace));

  bench.hid.lateAnswers[kEraseHeader] = 180100;
  EXPECT_EQ(bench.Run({"-me"}), 11);
  EXPECT_EQ(bench.output(),
            kDefaultSelection + "Process: -me (Fail)\n" + "Result: Can't erase Flash memory.\n");
  ASSERT_EQ(bench.hid.trace.size(), 5u);
  EXPECT_TRUE(probetest::RequestIs(bench.hid.trace[3].request, kPacketSizeRead));
  EXPECT_TRUE(probetest::RequestIs(bench.hid.trace[4].request, kLedOff));
  EXPECT_TRUE(PairedInOrder(bench.hid.trace, {kEraseHeader}));

  // Later than the packet-size answer is awaited: the link is given up.
  bench.clock.elapsedMs = 0;
  bench.hid.lateAnswers[kEraseHeader] = 200000;
  EXPECT_EQ(bench.Run({"-me"}), 11);
  ASSERT_EQ(bench.hid.trace.size(), 4u);
  EXPECT_TRUE(probetest::RequestIs(bench.hid.trace[3].request, kPacketSizeRead));
  EXPECT_EQ(bench.clock.elapsedMs, 180000u + 5000u);
}

// The bench's adapters, but the answer to the n-th request (from 0) with
// one command byte comes back echoing another.
class WrongEchoBackend : public ForwardingBackend {
 public:
  WrongEchoBackend(HidBackend& inner, std::uint8_t command, std::size_t nth, std::uint8_t echo)
      : ForwardingBackend(inner), command_(command), nth_(nth), echo_(echo) {}

 private:
  class Connection : public ForwardingConnection {
   public:
    Connection(std::unique_ptr<HidConnection> inner, WrongEchoBackend& backend)
        : ForwardingConnection(std::move(inner)), backend_(backend) {}
    bool Write(const std::uint8_t* report, std::size_t length) override {
      bend_ = length > 1 && report[1] == backend_.command_ && backend_.seen_++ == backend_.nth_;
      return ForwardingConnection::Write(report, length);
    }
    HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
      const HidRead read = ForwardingConnection::Read(report, length, timeoutMs);
      if (read == HidRead::Received && bend_) report[1] = backend_.echo_;
      return read;
    }

   private:
    WrongEchoBackend& backend_;
    bool bend_ = false;
  };

  std::unique_ptr<HidConnection> Wrap(std::unique_ptr<HidConnection> connection) override {
    return std::make_unique<Connection>(std::move(connection), *this);
  }

  std::uint8_t command_;
  std::size_t nth_;
  std::uint8_t echo_;
  std::size_t seen_ = 0;
};

TEST_F(LateAnswerTest, AnAnswerEchoingAnotherCommandIsNotTaken) {
  // The block read of the words (after the two of the readiness check) is
  // answered with its words and an OK status, but the answer claims to be a
  // DAP_Transfer answer.
  WrongEchoBackend backend(bench.hid, 0x06, 2, 0x05);
  const Environment environment{backend, bench.clock, bench.settings, bench.console, bench.errors};
  EXPECT_EQ(RunDriver({L"dravlopro.exe", L"-r32", L"0x20000000", L"4"}, environment), 5);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -r32 (Fail)\n" +
                                "Result: Can't read memory from the specified memory address.\n");
  // Nothing is out of step: no packet-size request follows.
  EXPECT_TRUE(
      RequestsAre(AllRequests(bench.hid.trace), Join({ReadFourWordsRequests(), {kLedOff}})));
}

}  // namespace
}  // namespace dravlopro
