#include "probe/memory.h"

#include <gtest/gtest.h>

#include <vector>

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

constexpr std::uint32_t kSram = 0x20000000;

// Every SRAM word holds a value derived from its own address.
void FillSram(sim::SimChip& chip, std::uint32_t words) {
  for (std::uint32_t i = 0; i < words; ++i) chip.SetSramWord(kSram + 4 * i, 0xA5000000 + i);
}

// n block reads of 14 words and the rest.
std::vector<std::string> ChunkedRead(std::uint32_t count) {
  std::vector<std::string> out;
  for (; count > 14; count -= 14) out.push_back(BlockRead(14));
  out.push_back(BlockRead(count));
  return out;
}

// The words printed by "-r32" in order.
std::vector<std::uint32_t> PrintedWords(const std::string& text) {
  std::vector<std::uint32_t> out;
  std::size_t at = 0;
  while ((at = text.find_first_of("0123456789ABCDEFx", at)) != std::string::npos) {
    const std::size_t end = text.find_first_of(" \r\n", at);
    const std::string token = text.substr(at, end - at);
    if (token.back() != ':' && token.find('x') == std::string::npos && token.size() == 8) {
      out.push_back(static_cast<std::uint32_t>(std::stoul(token, nullptr, 16)));
    }
    at = end;
  }
  return out;
}

TEST(TargetMemory, FourteenWordsTakeOneBlockAndFifteenTakeTwo) {
  TargetBench bench;
  FillSram(bench.chip(), 16);
  ASSERT_EQ(bench.Run({"-r32", "0x20000000", "14"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  {TarWrite(kSram), BlockRead(14), kStatusRead}})));
  ASSERT_EQ(bench.Run({"-r32", "0x20000000", "15"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(),
                          Join({ConnectAndReadyRequests(),
                                {TarWrite(kSram), BlockRead(14), BlockRead(1), kStatusRead}})));
  const std::vector<std::uint32_t> words = PrintedWords(bench.CommandOutput());
  ASSERT_EQ(words.size(), 15u);
  for (std::uint32_t i = 0; i < 15; ++i) EXPECT_EQ(words[i], 0xA5000000 + i);
}

TEST(TargetMemory, PiecesOf256WordsSetTarAnewAtTheNextKilobyte) {
  TargetBench bench;
  FillSram(bench.chip(), 300);
  ASSERT_EQ(bench.Run({"-r32", "0x20000000", "256"}), 0);
  EXPECT_TRUE(RequestsAre(
      bench.Requests(),
      Join({ConnectAndReadyRequests(), {TarWrite(kSram)}, ChunkedRead(256), {kStatusRead}})));

  ASSERT_EQ(bench.Run({"-r32", "0x20000000", "257"}), 0);
  EXPECT_TRUE(RequestsAre(
      bench.Requests(), Join({ConnectAndReadyRequests(),
                              {TarWrite(kSram)},
                              ChunkedRead(256),
                              {kStatusRead, TarWrite(kSram + 0x400), BlockRead(1), kStatusRead}})));
  const std::vector<std::uint32_t> words = PrintedWords(bench.CommandOutput());
  ASSERT_EQ(words.size(), 257u);
  for (std::uint32_t i = 0; i < 257; ++i) ASSERT_EQ(words[i], 0xA5000000 + i) << i;
}

TEST(TargetMemory, AReadOffAKilobyteBoundaryStartsANewPieceAtTheBoundary) {
  TargetBench bench;
  FillSram(bench.chip(), 300);
  ASSERT_EQ(bench.Run({"-r32", "0x20000004", "256"}), 0);
  EXPECT_TRUE(RequestsAre(
      bench.Requests(), Join({ConnectAndReadyRequests(),
                              {TarWrite(kSram + 4)},
                              ChunkedRead(255),
                              {kStatusRead, TarWrite(kSram + 0x400), BlockRead(1), kStatusRead}})));
  const std::vector<std::uint32_t> words = PrintedWords(bench.CommandOutput());
  ASSERT_EQ(words.size(), 256u);
  for (std::uint32_t i = 0; i < 256; ++i) ASSERT_EQ(words[i], 0xA5000001 + i) << i;
}

TEST(TargetMemory, AFailingSecondBlockEndsTheReadWithItsStatus) {
  TargetBench bench;
  FillSram(bench.chip(), 20);
  // The 16th word answers WAIT for longer than the adapter retries.
  bench.faults().accessFaults.push_back({{kSram + 0x3C, kSram + 0x3C}, sim::ack::kWait});
  EXPECT_EQ(bench.Run({"-r32", "0x20000000", "20"}), 5);
  // No status read after the failed block.
  EXPECT_TRUE(RequestsAre(
      bench.Requests(),
      Join({ConnectAndReadyRequests(), {TarWrite(kSram), BlockRead(14), BlockRead(6)}})));

  OpenedDevice open(bench);
  std::vector<std::uint32_t> words(20, 0xDEADBEEF);
  EXPECT_EQ(ReadTargetWords(open.device, kSram, words.data(), 20, true), 2);
  for (std::uint32_t i = 0; i < 14; ++i) EXPECT_EQ(words[i], 0xA5000000 + i);
  for (std::uint32_t i = 14; i < 20; ++i) EXPECT_EQ(words[i], 0xDEADBEEF);
  EXPECT_EQ(bench.hid.trace.size(), 3u);
}

TEST(TargetMemory, AWriteWhoseTarIsRefusedSendsNoBlock) {
  TargetBench bench;
  bench.faults().accessFaults.push_back(
      {{kSram + 0x100, kSram + 0x1FF}, sim::ack::kFault, -1, /*onTarWrite=*/true});
  EXPECT_EQ(bench.Run({"-w32", "0x20000100", "0x12345678"}), 4);
  EXPECT_TRUE(
      RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(), {TarWrite(kSram + 0x100)}})));
  EXPECT_EQ(bench.chip().SramWord(kSram + 0x100), 0u);
}

TEST(TargetMemory, BlockWritesChunkBy14AndPieceBy256) {
  TargetBench bench;
  OpenedDevice open(bench);
  std::vector<std::uint32_t> words(257);
  for (std::uint32_t i = 0; i < words.size(); ++i) words[i] = 0x5A000000 + i;

  EXPECT_EQ(WriteTargetBlock(open.device, kSram, words.data(), 15), 1);
  EXPECT_TRUE(RequestsAre(
      bench.Requests(),
      {TarWrite(kSram), BlockWrite(std::vector<std::uint32_t>(words.begin(), words.begin() + 14)),
       BlockWrite({words[14]}), kStatusRead}));

  bench.hid.trace.clear();
  EXPECT_EQ(WriteTargetBlock(open.device, kSram + 0x800, words.data(), 257), 1);
  const std::vector<Report> sent = bench.Requests();
  ASSERT_EQ(sent.size(), 1u + 19u + 1u + 3u);
  EXPECT_TRUE(
      RequestsAre(sent, {TarWrite(kSram + 0xC00), BlockWrite({words[256]}), kStatusRead}, 21));
  for (std::uint32_t i = 0; i < 257; ++i) {
    ASSERT_EQ(bench.chip().SramWord(kSram + 0x800 + 4 * i), words[i]) << i;
  }

  // Without the status read, and a write that crosses a kilobyte boundary
  // when it starts off one.
  bench.hid.trace.clear();
  EXPECT_EQ(WriteTargetWords(open.device, kSram + 0x10, words.data(), 2, false), 1);
  EXPECT_TRUE(
      RequestsAre(bench.Requests(), {TarWrite(kSram + 0x10), BlockWrite({words[0], words[1]})}));
  bench.hid.trace.clear();
  EXPECT_EQ(WriteTargetBlock(open.device, kSram + 0x3F8, words.data(), 3), 1);
  EXPECT_TRUE(RequestsAre(bench.Requests(),
                          {TarWrite(kSram + 0x3F8), BlockWrite({words[0], words[1]}), kStatusRead,
                           TarWrite(kSram + 0x400), BlockWrite({words[2]}), kStatusRead}));
  EXPECT_EQ(bench.chip().SramWord(kSram + 0x400), words[2]);
}

TEST(TargetMemory, RequestsKeepTheFieldsOfEarlierRequestsOfTheSameOperation) {
  TargetBench bench;
  ASSERT_EQ(bench.Run({"-halt"}), 0);
  const std::vector<Report> sent = bench.Requests();
  // The readiness block read follows the TAR write of 0x40080310 in the same
  // buffer: its bytes past the block header still hold the address.
  Report expected{};
  const std::vector<std::uint8_t> bytes = probetest::Bytes("06 00 04 00 0F 03 08 40");
  std::copy(bytes.begin(), bytes.end(), expected.begin() + 1);
  EXPECT_EQ(sent.at(22), expected);
}

}  // namespace
}  // namespace dravlopro
