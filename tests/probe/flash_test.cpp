#include "probe/flash.h"

#include <gtest/gtest.h>

#include "probe/connection.h"
#include "tests/probe/probe_bench.h"

namespace dravlopro {
namespace {

using probetest::BlockRead;
using probetest::BlockWrite;
using probetest::ConnectAndReadyRequests;
using probetest::Join;
using probetest::kStatusRead;
using probetest::OpenedDevice;
using probetest::RequestsAre;
using probetest::TargetBench;
using probetest::TarWrite;

constexpr std::uint32_t kFmc = 0x40080000;
constexpr std::uint32_t kFmcCtrl = 0x40080010;
constexpr std::uint32_t kFmcStatus = 0x40080018;
constexpr std::uint32_t kLockWord = 0x1FF00010;

std::vector<std::string> LockCheck() { return {TarWrite(kLockWord), BlockRead(1), kStatusRead}; }

// One main-flash page erase that finishes at the first poll; the register
// image read back holds what the previous operation left.
std::vector<std::string> ErasePage(std::uint32_t address,
                                   const std::vector<std::uint32_t>& before) {
  std::vector<std::uint32_t> image = before;
  image[0] = address;
  image[3] = 8;
  image[4] = 0x14;
  image[5] |= 2;
  return {TarWrite(kFmc),    BlockRead(6),       kStatusRead,        TarWrite(kFmc),
          BlockWrite(image), kStatusRead,        TarWrite(kFmcCtrl), BlockWrite({0x14}),
          kStatusRead,       TarWrite(kFmcCtrl), BlockRead(3),       kStatusRead};
}
const std::vector<std::uint32_t> kFreshFmc = {0, 0, 0, 0, 0, 0};
// What the controller shows after an erase at the address has finished.
std::vector<std::uint32_t> AfterErase(std::uint32_t address) { return {address, 0, 0, 8, 0x0C, 0}; }

sim::SimConfig Chip(std::uint32_t pageSize, std::uint32_t pageSizeRegister = 0) {
  sim::SimConfig config;
  config.pageSize = pageSize;
  config.flashSize = 64 * 1024;
  config.pageSizeRegister = pageSizeRegister;
  return config;
}

// Programs a word in every page so an erase shows.
void MarkPages(sim::SimChip& chip) {
  for (std::uint32_t a = 0; a < chip.config().flashSize; a += chip.config().pageSize) {
    chip.SetFlashWord(a, 0x12345678);
  }
}

TEST(FlashController, SectorErasePageThreeAtAKilobytePage) {
  TargetBench bench;
  ASSERT_TRUE(bench.target().Configure(Chip(1024)));
  MarkPages(bench.chip());
  EXPECT_EQ(bench.Run({"-se", "3"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), LockCheck(),
                                                  ErasePage(0xC00, kFreshFmc)})));
  EXPECT_EQ(bench.chip().eraseLog, std::vector<std::uint32_t>{0xC00});
  EXPECT_EQ(bench.chip().FlashWord(0xC00), 0xFFFFFFFFu);
  EXPECT_EQ(bench.chip().FlashWord(0x800), 0x12345678u);
  EXPECT_EQ(bench.chip().FlashWord(0x1000), 0x12345678u);
}

TEST(FlashController, PageSizeComesFromTheControllerAndFallsBackTo512) {
  struct Case {
    std::uint32_t pageSize, reg, expectedAddress;
  };
  for (const Case c : {Case{1024, 0x400, 0xC00}, Case{2048, 0x800, 0x1800}, Case{512, 0x200, 0x600},
                       Case{512, 0x300, 0x600}}) {
    TargetBench bench;
    ASSERT_TRUE(bench.target().Configure(Chip(c.pageSize, c.reg)));
    EXPECT_EQ(bench.Run({"-se", "3"}), 0) << c.reg;
    EXPECT_EQ(bench.chip().eraseLog, std::vector<std::uint32_t>{c.expectedAddress}) << c.reg;
  }
}

TEST(FlashController, UnreadablePageSizeErasesNothing) {
  TargetBench bench;
  ASSERT_TRUE(bench.target().Configure(Chip(1024)));
  MarkPages(bench.chip());
  // Guessing 512 would erase page 1 of 1 KB for "pages 2 and 3".
  bench.faults().accessFaults.push_back({{kFmc + 0x188, kFmc + 0x188}, sim::ack::kFault});
  EXPECT_EQ(bench.Run({"-se", "2", "3"}), 2);
  EXPECT_TRUE(bench.chip().eraseLog.empty());
  for (std::uint32_t page = 0; page < 4; ++page) {
    EXPECT_EQ(bench.chip().FlashWord(page * 1024), 0x12345678u) << page;
  }
}

TEST(FlashController, SectorEraseParametersChooseThePages) {
  struct Case {
    std::vector<std::string> words;
    int code;
    std::vector<std::uint32_t> pages;
  };
  const Case cases[] = {
      {{"-se", "3"}, 0, {3}},
      {{"-se", "3", "0"}, 0, {3}},
      {{"-se", "3", "5"}, 0, {3, 4, 5}},
      {{"-se", "5", "5"}, 0, {5}},
      {{"-se", "5"}, 0, {5}},
      {{"-se", "0"}, 0, {0}},
      {{"-se", "+3"}, 0, {3}},
      {{"-se", "3X"}, 0, {3}},
      {{"-se", "5", "3"}, 1, {}},
      {{"-se", "ABC"}, 1, {}},
      {{"-se", "00"}, 1, {}},
      // Pages that would wrap past the 32-bit address space onto low pages.
      {{"-se", " -1"}, 1, {}},
      {{"-se", "4194304"}, 1, {}},
      {{"-se", "4294967299"}, 1, {}},
      {{"-se", "3", "4194307"}, 1, {}},
      {{"-se", " -4294967293", "3"}, 1, {}},
  };
  for (const Case& c : cases) {
    TargetBench bench;
    MarkPages(bench.chip());
    EXPECT_EQ(bench.Run(c.words), c.code) << c.words[1];
    std::vector<std::uint32_t> addresses;
    for (std::uint32_t page : c.pages) addresses.push_back(page * 1024);
    EXPECT_EQ(bench.chip().eraseLog, addresses) << c.words[1];
    if (c.code != 0) {
      // Refused before the controller is touched.
      EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), LockCheck()})))
          << c.words[1];
    }
  }
}

TEST(FlashController, ErasingSeveralPagesReadsEachImageAfresh) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-se", "3", "4"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(),
                          Join({ConnectAndReadyRequests(), LockCheck(), ErasePage(0xC00, kFreshFmc),
                                ErasePage(0x1000, AfterErase(0xC00))})));
}

TEST(FlashController, SectorEraseFollowedByAnotherCommand) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-se", "3", "-halt"}), 0);
  EXPECT_EQ(bench.chip().eraseLog, std::vector<std::uint32_t>{0xC00});
  EXPECT_TRUE(bench.chip().core.halted);
}

TEST(FlashController, SecurityLockIsCheckedBeforeErasingOrProgramming) {
  TargetBench bench;
  bench.chip().SetOptionWord(4, 0xFFFFFFFE);
  EXPECT_EQ(bench.Run({"-se", "3"}), 14);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), LockCheck()})));
  EXPECT_EQ(bench.Run({"-w32", "0x100", "0"}), 14);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), LockCheck()})));
  EXPECT_TRUE(bench.chip().eraseLog.empty());

  bench.chip().SetOptionWord(4, 0xFFFFFFFF);
  EXPECT_EQ(bench.Run({"-se", "3"}), 0);

  // An unreadable option word.
  TargetBench unreadable;
  unreadable.faults().accessFaults.push_back({{kLockWord, kLockWord}, sim::ack::kWait});
  EXPECT_EQ(unreadable.Run({"-se", "3"}), 5);
  EXPECT_EQ(unreadable.Run({"-w32", "0x100", "0"}), 5);
  EXPECT_TRUE(unreadable.chip().eraseLog.empty());
}

TEST(FlashController, AnEraseErrorStopsAtItsPageAndClearsTheFlags) {
  TargetBench bench;
  MarkPages(bench.chip());
  bench.faults().eraseError = {sim::fmc::kErrProgram, {0x1000, 0x13FF}};
  EXPECT_EQ(bench.Run({"-se", "3", "5"}), 11);
  EXPECT_EQ(bench.chip().eraseLog, std::vector<std::uint32_t>{0xC00});
  EXPECT_EQ(bench.chip().FlashWord(0x1400), 0x12345678u);
  EXPECT_EQ(bench.chip().fmc.status & sim::fmc::kErrorMask, 0u);
  const std::vector<Report> sent = bench.Requests();
  EXPECT_TRUE(
      RequestsAre(sent, {TarWrite(kFmcStatus), BlockWrite({0x1E}), kStatusRead}, sent.size() - 3));
}

TEST(FlashController, EraseWaitsForASlowControllerButNotForAStuckOne) {
  sim::SimConfig slow = Chip(1024);
  slow.erasePolls = 3;
  TargetBench bench;
  ASSERT_TRUE(bench.target().Configure(slow));
  EXPECT_EQ(bench.Run({"-se", "3"}), 0);
  EXPECT_EQ(bench.clock.sleeps, (std::vector<std::uint32_t>{110, 1, 1, 1}));

  TargetBench stuck;
  stuck.faults().fmcNeverDone = true;
  EXPECT_EQ(stuck.Run({"-se", "3"}), 11);
  // About two seconds of polling, then the erase is given up.
  EXPECT_EQ(stuck.clock.elapsedMs, 110u + 1999u);
  std::size_t polls = 0;
  for (const Report& r : stuck.Requests()) polls += probetest::RequestIs(r, BlockRead(3)) ? 1 : 0;
  EXPECT_EQ(polls, 2000u);
}

TEST(FlashController, RefusedTransfersInsideAnEraseFailIt) {
  // The register image cannot be read: nothing is started.
  TargetBench bench;
  MarkPages(bench.chip());
  bench.faults().accessFaults.push_back({{kFmc, kFmc}, sim::ack::kWait});
  EXPECT_EQ(bench.Run({"-se", "3"}), 11);
  EXPECT_TRUE(bench.chip().eraseLog.empty());
  EXPECT_TRUE(RequestsAre(bench.Requests(), {TarWrite(kFmc), BlockRead(6)},
                          ConnectAndReadyRequests().size() + 3));

  // The adapter goes away in the middle of an erase: its zero-filled answers
  // are not taken for "done".
  TargetBench gone;
  const int before = 1 + static_cast<int>(ConnectAndReadyRequests().size()) + 3;
  gone.hid.device(0).exchangesLeft = before + 7;
  EXPECT_EQ(gone.Run({"-se", "3", "5"}), 11);
}

TEST(FlashController, WordWriteBelowRamProgramsTheFlash) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-w32", "0x100", "0x12345678"}), 0);
  EXPECT_TRUE(
      RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                          LockCheck(),
                                          {TarWrite(kFmc), BlockRead(6), TarWrite(kFmc),
                                           BlockWrite({0x100, 0x12345678, 0, 4, 0x14, 0}),
                                           TarWrite(kFmcCtrl), BlockRead(3), kStatusRead}})));
  EXPECT_EQ(bench.chip().FlashWord(0x100), 0x12345678u);
  EXPECT_TRUE(bench.chip().eraseLog.empty());

  // The last word below RAM takes the same road; there is no flash there.
  EXPECT_EQ(bench.Run({"-w32", "0x1FFFFFFC", "1"}), 4);
  const std::vector<Report> sent = bench.Requests();
  EXPECT_TRUE(probetest::RequestsAt(
      sent, ConnectAndReadyRequests().size(),
      Join({LockCheck(),
            {TarWrite(kFmc), BlockRead(6), TarWrite(kFmc),
             BlockWrite({0x1FFFFFFC, 1, 0, 4, 0x14, 0}), TarWrite(kFmcCtrl), BlockRead(3)}})));

  // A word at or above 0x20000000 is a plain memory write.
  EXPECT_EQ(bench.Run({"-w32", "0x20000000", "1"}), 0);
  EXPECT_TRUE(RequestsAre(
      bench.Requests(),
      Join({ConnectAndReadyRequests(), {TarWrite(0x20000000), BlockWrite({1}), kStatusRead}})));
  EXPECT_EQ(bench.chip().SramWord(0x20000000), 1u);
}

TEST(FlashController, ProgrammingFailures) {
  // The controller finishes without the programmed flag.
  TargetBench flagged;
  flagged.faults().programError = {sim::fmc::kErrProgram, {0x100, 0x103}};
  EXPECT_EQ(flagged.Run({"-w32", "0x100", "0"}), 4);
  EXPECT_EQ(flagged.chip().FlashWord(0x100), 0xFFFFFFFFu);
  EXPECT_FALSE(probetest::RequestIs(flagged.Requests().back(), kStatusRead));

  // An operation still busy at the status read is not waited for.
  sim::SimConfig slow;
  slow.programPolls = 2;
  TargetBench busy;
  ASSERT_TRUE(busy.target().Configure(slow));
  EXPECT_EQ(busy.Run({"-w32", "0x100", "0"}), 0);
  EXPECT_EQ(busy.clock.sleeps, std::vector<std::uint32_t>{110});

  // FMC_DATA refuses its accesses: the image cannot be read or written.
  TargetBench refused;
  refused.faults().accessFaults.push_back({{kFmc + 4, kFmc + 4}, sim::ack::kWait});
  EXPECT_EQ(refused.Run({"-w32", "0x100", "0"}), 4);
  EXPECT_EQ(refused.chip().FlashWord(0x100), 0xFFFFFFFFu);

  // The adapter leaves after the image was written: the status image read
  // gets no answer.
  TargetBench gone;
  const int before = 1 + static_cast<int>(ConnectAndReadyRequests().size()) + 3;
  gone.hid.device(0).exchangesLeft = before + 4;
  EXPECT_EQ(gone.Run({"-w32", "0x100", "0"}), 4);
}

TEST(FlashController, DirectOperations) {
  TargetBench bench;
  OpenedDevice open(bench);
  // Nothing to erase, nothing to program.
  EXPECT_EQ(ErasePages(open.device, bench.clock, 1024, 7, 3), 1);
  EXPECT_TRUE(bench.Requests().empty());
  EXPECT_EQ(ProgramWords(open.device, 0x100, nullptr, 0), 1);
  EXPECT_TRUE(RequestsAre(bench.Requests(), {kStatusRead}));

  // The option page: bit 1 of the word at 0x014 untouched, no separate start.
  bench.hid.trace.clear();
  bench.chip().SetOptionWord(0, 0);
  EXPECT_EQ(EraseOptionPage(open.device, bench.clock), 1);
  EXPECT_TRUE(
      RequestsAre(bench.Requests(), {TarWrite(kFmc), BlockRead(6), kStatusRead, TarWrite(kFmc),
                                     BlockWrite({0x1FF00000, 0, 0, 8, 0x14, 0}), kStatusRead,
                                     TarWrite(kFmcCtrl), BlockRead(3), kStatusRead}));
  EXPECT_EQ(bench.chip().OptionWord(0), 0xFFFFFFFFu);

  bench.faults().eraseError = {sim::fmc::kErrProgram, {0x1FF00000, 0x1FF00000}};
  EXPECT_EQ(EraseOptionPage(open.device, bench.clock), 4);
  EXPECT_EQ(bench.chip().fmc.status & sim::fmc::kErrorMask, 0u);

  const std::uint32_t words[] = {0x11111111, 0x22222222, 0x33333333};
  bench.hid.trace.clear();
  EXPECT_EQ(ProgramWords(open.device, 0x200, words, 3), 1);
  EXPECT_EQ(bench.Requests().size(), 3u * 6u + 1u);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(bench.chip().FlashWord(0x200 + 4 * i), words[i]);
}

}  // namespace
}  // namespace dravlopro
