// The CMSIS-DAP request encoders and answer decoders, byte for byte.
//
// The expected reports are written out by hand from the command layout:
// report number at byte 0, command byte at byte 1, fields little-endian.

#include "protocol/dap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "tests/protocol/report_bytes.h"
#include "tests/sim/sim_bench_util.h"

namespace dravlopro {
namespace {

using protocoltest::Frame;
using protocoltest::SameReport;

// What an earlier request may have left in the buffer.
constexpr std::uint8_t kMarker = 0xAA;

// Runs `encode` over a report holding `fill` in every byte: the fields come
// out as listed from byte 1 on, and the report number and every byte past
// the fields keep `fill`.
template <typename Encode>
::testing::AssertionResult EncodesOver(std::uint8_t fill, Encode encode,
                                       std::initializer_list<std::uint8_t> fields) {
  Report report;
  report.fill(fill);
  encode(report);
  ::testing::AssertionResult same = SameReport(report, Frame(fill, fields, fill));
  if (!same) same << "\n(over a report filled with " << static_cast<int>(fill) << ")";
  return same;
}

// Over a fresh zero-filled buffer (report number 0, zeros after the fields,
// as the request goes out) and over one filled with the marker.
template <typename Encode>
::testing::AssertionResult Encodes(Encode encode, std::initializer_list<std::uint8_t> fields) {
  ::testing::AssertionResult clean = EncodesOver(0x00, encode, fields);
  if (!clean) return clean;
  return EncodesOver(kMarker, encode, fields);
}

// An answer: report number 0, the bytes from byte 1 on, zeros after them.
Report Answer(std::initializer_list<std::uint8_t> bytes) { return Frame(0x00, bytes, 0x00); }

const Report kNoAnswer{};

// --- Encoders -----------------------------------------------------------------

TEST(DapEncoders, AdapterRequests) {
  EXPECT_TRUE(
      Encodes([](Report& r) { dap::EncodeInfo(r, dap::kInfoFirmwareVersion); }, {0x00, 0x04}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeInfo(r, dap::kInfoPacketSize); }, {0x00, 0xFF}));

  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeHostStatus(r, dap::kIndicatorConnect, true); },
                      {0x01, 0x00, 0x01}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeHostStatus(r, dap::kIndicatorConnect, false); },
                      {0x01, 0x00, 0x00}));
  // The running indicator, 1.
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeHostStatus(r, 0x01, true); }, {0x01, 0x01, 0x01}));

  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeConnect(r, dap::kConnectSwd); }, {0x02, 0x01}));
}

TEST(DapEncoders, LinkSetupRequests) {
  EXPECT_TRUE(
      Encodes([](Report& r) { dap::EncodeSwjClock(r, 1000000); }, {0x11, 0x40, 0x42, 0x0F, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwjClock(r, 0x12345678); },
                      {0x11, 0x78, 0x56, 0x34, 0x12}));

  // Idle cycles (byte), WAIT retries (16 bits), match retries (16 bits).
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeTransferConfigure(r, 0, 100, 0); },
                      {0x04, 0x00, 0x64, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeTransferConfigure(r, 0x07, 0x1234, 0xABCD); },
                      {0x04, 0x07, 0x34, 0x12, 0xCD, 0xAB}));

  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwdConfigure(r, 0x00); }, {0x13, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwdConfigure(r, 0x05); }, {0x13, 0x05}));

  // DAP index 0, then the ABORT word.
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeWriteAbort(r, 0x1E); },
                      {0x08, 0x00, 0x1E, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeWriteAbort(r, 0x8070601E); },
                      {0x08, 0x00, 0x1E, 0x60, 0x70, 0x80}));

  // Pin output, pin select, then the wait in microseconds.
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwjPins(r, 0x00, 0x80, 0); },
                      {0x10, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwjPins(r, 0x80, 0x80, 0); },
                      {0x10, 0x80, 0x80, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeSwjPins(r, 0x81, 0x83, 0x00030D40); },
                      {0x10, 0x81, 0x83, 0x40, 0x0D, 0x03, 0x00}));
}

TEST(DapEncoders, SwjSequences) {
  // The line reset: 51 ones.
  const std::array<std::uint8_t, 7> ones = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(Encodes([&](Report& r) { dap::EncodeSwjSequence(r, 51, ones); },
                      {0x12, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  // JTAG to SWD, 0xE79E least significant bit first.
  const std::array<std::uint8_t, 2> jtagToSwd = {0x9E, 0xE7};
  EXPECT_TRUE(Encodes([&](Report& r) { dap::EncodeSwjSequence(r, 16, jtagToSwd); },
                      {0x12, 0x10, 0x9E, 0xE7}));
  const std::array<std::uint8_t, 1> idle = {0x00};
  EXPECT_TRUE(Encodes([&](Report& r) { dap::EncodeSwjSequence(r, 8, idle); }, {0x12, 0x08, 0x00}));
  // The longest sequence, 256 bits, has count 0.
  const std::vector<std::uint8_t> longest(32, 0x5A);
  EXPECT_TRUE(Encodes([&](Report& r) { dap::EncodeSwjSequence(r, 0, longest); },
                      {0x12, 0x00, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                       0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                       0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}));
}

TEST(DapEncoders, NothingIsWrittenPastTheEndOfTheReport) {
  // More bits than a report holds: bytes 3 to 64 take the first 62, and the
  // memory right behind the report stays as it was.
  struct Guarded {
    Report report;
    std::array<std::uint8_t, 16> guard;
  } buffer;
  buffer.report.fill(kMarker);
  buffer.guard.fill(0x3C);
  const std::vector<std::uint8_t> bits(70, 0x11);
  dap::EncodeSwjSequence(buffer.report, 0, bits);
  EXPECT_TRUE(SameReport(buffer.report, Frame(kMarker, {0x12, 0x00}, 0x11)));
  EXPECT_EQ(buffer.guard,
            (std::array<std::uint8_t, 16>{0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C,
                                          0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C}));
}

TEST(DapEncoders, SingleRegisterTransfers) {
  // DAP index 0, one transfer, the request byte, then the word of a write.
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterWrite(r, dap::kWriteDpSelect, 0xF0); },
                      {0x05, 0x00, 0x01, 0x08, 0xF0, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(
      Encodes([](Report& r) { dap::EncodeRegisterWrite(r, dap::kWriteDpCtrlStat, 0x50000000); },
              {0x05, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x50}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterWrite(r, dap::kWriteApCsw, 0x23000052); },
                      {0x05, 0x00, 0x01, 0x01, 0x52, 0x00, 0x00, 0x23}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterWrite(r, dap::kWriteApDrw, 0xA05F0003); },
                      {0x05, 0x00, 0x01, 0x0D, 0x03, 0x00, 0x5F, 0xA0}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeTarWrite(r, 0xE000EDF0); },
                      {0x05, 0x00, 0x01, 0x05, 0xF0, 0xED, 0x00, 0xE0}));

  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterRead(r, dap::kReadDpIdr); },
                      {0x05, 0x00, 0x01, 0x02}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterRead(r, dap::kReadApBank8); },
                      {0x05, 0x00, 0x01, 0x0B}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeRegisterRead(r, dap::kReadApDrw); },
                      {0x05, 0x00, 0x01, 0x0F}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeStatusRead(r); }, {0x05, 0x00, 0x01, 0x06}));

  // A request with no transfers still carries the request byte after it.
  EXPECT_TRUE(Encodes([](Report& r) { dap::BeginTransfer(r, 0).Byte(dap::kReadDpCtrlStat); },
                      {0x05, 0x00, 0x00, 0x06}));
}

TEST(DapEncoders, WordTransfers) {
  // TAR, then DRW: two transfers in one request.
  EXPECT_TRUE(
      Encodes([](Report& r) { dap::EncodeWordWrite(r, 0xE000EDF0, 0xA05F0003); },
              {0x05, 0x00, 0x02, 0x05, 0xF0, 0xED, 0x00, 0xE0, 0x0D, 0x03, 0x00, 0x5F, 0xA0}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::EncodeWordRead(r, 0x40080018); },
                      {0x05, 0x00, 0x02, 0x05, 0x18, 0x00, 0x08, 0x40, 0x0F}));
}

TEST(DapEncoders, TransferBlocks) {
  // DAP index 0, 16-bit count, request byte.
  EXPECT_TRUE(Encodes([](Report& r) { dap::BeginTransferBlock(r, 14, dap::kReadApDrw); },
                      {0x06, 0x00, 0x0E, 0x00, 0x0F}));
  EXPECT_TRUE(Encodes([](Report& r) { dap::BeginTransferBlock(r, 0x0102, dap::kReadApDrw); },
                      {0x06, 0x00, 0x02, 0x01, 0x0F}));
  EXPECT_TRUE(Encodes(
      [](Report& r) {
        dap::BeginTransferBlock(r, 2, dap::kWriteApDrw).Le32(0x11223344).Le32(0xDEADBEEF);
      },
      {0x06, 0x00, 0x02, 0x00, 0x0D, 0x44, 0x33, 0x22, 0x11, 0xEF, 0xBE, 0xAD, 0xDE}));

  // The largest write: 5 header bytes and 14 words end at byte 61.
  EXPECT_TRUE(Encodes(
      [](Report& r) {
        RequestWriter writer = dap::BeginTransferBlock(r, dap::kMaxBlockWords, dap::kWriteApDrw);
        for (std::uint32_t word = 0x03020100; word <= 0x37363534; word += 0x04040404) {
          writer.Le32(word);
        }
      },
      {0x06, 0x00, 0x0E, 0x00, 0x0D, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
       0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14,
       0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21,
       0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E,
       0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37}));
}

TEST(DapEncoders, ARequestBuiltOverAnotherKeepsItsTail) {
  // The status read after a word write goes out with the write's bytes
  // behind its own four.
  Report request{};
  dap::EncodeWordWrite(request, 0xE000EDF0, 0xA05F0003);
  dap::EncodeStatusRead(request);
  EXPECT_TRUE(SameReport(
      request,
      Frame(0x00, {0x05, 0x00, 0x01, 0x06, 0xF0, 0xED, 0x00, 0xE0, 0x0D, 0x03, 0x00, 0x5F, 0xA0},
            0x00)));
}

// --- Decoders -----------------------------------------------------------------

TEST(DapInfoDecoding, VersionText) {
  // The length counts the terminating zero, as adapters send strings.
  const Report version = Answer({0x00, 0x06, '2', '.', '1', '.', '0', 0x00});
  EXPECT_EQ(dap::DecodeInfoText(version, 5), "2.1.0");
  EXPECT_EQ(dap::DecodeInfoText(version, 64), "2.1.0");
  EXPECT_EQ(dap::DecodeInfoText(version, 3), "2.1");

  // A length byte larger than the maximum: the first characters only.
  const Report longer =
      Answer({0x00, 0x0B, '1', '.', '1', '0', '.', '2', '-', 'r', 'c', '1', 0x00});
  EXPECT_EQ(dap::DecodeInfoText(longer, 5), "1.10.");

  // A length byte beyond the report itself: never past byte 64.
  const Report overlong = Frame(0x00, {0x00, 0xFF}, 'A');
  EXPECT_EQ(dap::DecodeInfoText(overlong, 5), "AAAAA");
  EXPECT_EQ(dap::DecodeInfoText(overlong, 1000), std::string(62, 'A'));

  // A shorter length byte than the text: the length wins.
  EXPECT_EQ(dap::DecodeInfoText(Answer({0x00, 0x03, '2', '.', '1', '.', '0'}), 5), "2.1");
  EXPECT_EQ(dap::DecodeInfoText(Answer({0x00, 0x00, '2', '.', '1', '.', '0'}), 5), "");

  // A zero inside the text ends it.
  EXPECT_EQ(dap::DecodeInfoText(Answer({0x00, 0x05, '1', 0x00, '2', '3', '4'}), 5), "1");
  EXPECT_EQ(dap::DecodeInfoText(Answer({0x00, 0x05, 0x00, '1', '2', '3', '4'}), 5), "");

  EXPECT_EQ(dap::DecodeInfoText(kNoAnswer, 5), "");
}

TEST(DapInfoDecoding, PacketSize) {
  std::uint16_t size = 0;
  EXPECT_TRUE(dap::DecodeInfoPacketSize(Answer({0x00, 0x02, 0x40, 0x00}), size));
  EXPECT_EQ(size, 64);
  EXPECT_TRUE(dap::DecodeInfoPacketSize(Answer({0x00, 0x02, 0x00, 0x02}), size));
  EXPECT_EQ(size, 512);
  EXPECT_TRUE(dap::DecodeInfoPacketSize(Answer({0x00, 0x02, 0x34, 0x12}), size));
  EXPECT_EQ(size, 0x1234);

  // Anything else is not the packet size, and the size stays as it was.
  size = 7;
  EXPECT_FALSE(dap::DecodeInfoPacketSize(kNoAnswer, size));
  EXPECT_FALSE(dap::DecodeInfoPacketSize(Answer({0x00, 0x01, 0x40}), size));
  EXPECT_FALSE(dap::DecodeInfoPacketSize(Answer({0x00, 0x06, '2', '.', '1', '.', '0'}), size));
  EXPECT_FALSE(dap::DecodeInfoPacketSize(Answer({0x05, 0x02, 0x40, 0x00}), size));
  EXPECT_FALSE(dap::DecodeInfoPacketSize(Answer({0xFF, 0x02, 0x40, 0x00}), size));  // DAP_Invalid
  EXPECT_EQ(size, 7);
}

TEST(DapStatusDecoding, GeneralStatus) {
  for (const std::uint8_t command : {0x04, 0x08, 0x11, 0x12, 0x13}) {
    SCOPED_TRACE(static_cast<int>(command));
    EXPECT_TRUE(dap::DecodeStatus(Answer({command, 0x00}), command));   // DAP_OK
    EXPECT_FALSE(dap::DecodeStatus(Answer({command, 0xFF}), command));  // DAP_ERROR
    // A lost answer reads as all zeros: that is no DAP_OK.
    EXPECT_FALSE(dap::DecodeStatus(kNoAnswer, command));
    // DAP_Invalid, or the answer of another request.
    EXPECT_FALSE(dap::DecodeStatus(Answer({0xFF, 0x00}), command));
    EXPECT_FALSE(dap::DecodeStatus(Answer({0x02, 0x00}), command));
  }
}

TEST(DapStatusDecoding, ConnectAndPins) {
  EXPECT_EQ(dap::DecodeConnect(Answer({0x02, 0x01})), 1);
  EXPECT_EQ(dap::DecodeConnect(Answer({0x02, 0x00})), 0);  // the port could not be connected
  EXPECT_EQ(dap::DecodeConnect(kNoAnswer), 0);

  EXPECT_EQ(dap::DecodeSwjPins(Answer({0x10, 0x80})), 0x80);
  EXPECT_EQ(dap::DecodeSwjPins(Answer({0x10, 0x03})), 0x03);
  EXPECT_EQ(dap::DecodeSwjPins(kNoAnswer), 0);
}

void ExpectTransfer(const Report& answer, std::uint8_t count, std::uint8_t status,
                    std::uint32_t value) {
  const dap::TransferAnswer decoded = dap::DecodeTransfer(answer);
  EXPECT_EQ(decoded.count, count);
  EXPECT_EQ(decoded.status, status);
  EXPECT_EQ(decoded.value, value);
}

TEST(DapTransferDecoding, CountStatusAndValue) {
  {
    SCOPED_TRACE("one read");
    ExpectTransfer(Answer({0x05, 0x01, 0x01, 0x78, 0x56, 0x34, 0x12}), 1, 1, 0x12345678);
  }
  {
    SCOPED_TRACE("TAR write and DRW read: a write leaves no word in the answer");
    ExpectTransfer(Answer({0x05, 0x02, 0x01, 0xEF, 0xBE, 0xAD, 0xDE}), 2, 1, 0xDEADBEEF);
  }
  {
    SCOPED_TRACE("two reads: the first read's word sits in bytes 4 to 7");
    ExpectTransfer(Answer({0x05, 0x02, 0x01, 0x03, 0xF0, 0x0F, 0xE0, 0x11, 0x00, 0x77, 0x04}), 2, 1,
                   0xE00FF003);
  }
  {
    SCOPED_TRACE("FAULT on the second transfer");
    ExpectTransfer(Answer({0x05, 0x01, 0x04}), 1, 0x04, 0);
  }
  {
    SCOPED_TRACE("WAIT, no acknowledge, protocol error: passed on unchanged");
    ExpectTransfer(Answer({0x05, 0x00, 0x02}), 0, 0x02, 0);
    ExpectTransfer(Answer({0x05, 0x00, 0x07}), 0, 0x07, 0);
    ExpectTransfer(Answer({0x05, 0x00, 0x08}), 0, 0x08, 0);
  }
  {
    SCOPED_TRACE("no answer");
    ExpectTransfer(kNoAnswer, 0, dap::kTransferNoAnswer, 0);
  }
}

TEST(DapTransferDecoding, BlockWords) {
  constexpr std::uint32_t kUntouched = 0x5A5A5A5A;

  // Two words asked for: the rest of the caller's array is left alone.
  std::array<std::uint32_t, 4> words;
  words.fill(kUntouched);
  const Report two = Answer({0x06, 0x02, 0x00, 0x01, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55,
                             0xCC, 0xBB, 0xAA, 0x99});
  EXPECT_EQ(dap::DecodeTransferBlock(two, std::span(words).first(2)), dap::kTransferOk);
  EXPECT_EQ(words, (std::array<std::uint32_t, 4>{0x11223344, 0x55667788, kUntouched, kUntouched}));

  // An answer holding 15 words: no more than 14 are taken.
  std::array<std::uint32_t, 16> many;
  many.fill(kUntouched);
  const Report fifteen = Frame(0x00, {0x06, 0x0F, 0x00, 0x01}, 0xC3);
  EXPECT_EQ(dap::DecodeTransferBlock(fifteen, many), dap::kTransferOk);
  for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(many[i], 0xC3C3C3C3u) << i;
  EXPECT_EQ(many[14], kUntouched);
  EXPECT_EQ(many[15], kUntouched);

  // A FAULT after one word: the acknowledge, and the words copied all the same.
  words.fill(kUntouched);
  const Report fault = Answer({0x06, 0x01, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(dap::DecodeTransferBlock(fault, std::span(words).first(2)), 0x04);
  EXPECT_EQ(words, (std::array<std::uint32_t, 4>{0x04030201, 0, kUntouched, kUntouched}));

  // A write's answer, read for its acknowledge only.
  EXPECT_EQ(dap::DecodeTransferBlock(Answer({0x06, 0x0E, 0x00, 0x01}), {}), dap::kTransferOk);
  EXPECT_EQ(dap::DecodeTransferBlock(Answer({0x06, 0x03, 0x00, 0x02}), {}), 0x02);

  words.fill(kUntouched);
  EXPECT_EQ(dap::DecodeTransferBlock(kNoAnswer, std::span(words).first(1)), dap::kTransferNoAnswer);
  EXPECT_EQ(words[0], 0u);
}

// --- Against the simulated adapter --------------------------------------------

// The simulated adapter decodes requests with its own offsets; the fields an
// encoder puts must be the ones it reads.
TEST(DapRequestsOnTheSimulatedAdapter, SetupFieldsArriveAndRefusalsDecode) {
  sim::SimTarget target;
  Report request{};
  const auto send = [&] {
    Report answer{};
    EXPECT_TRUE(target.HandleRequest(request, answer));
    return answer;
  };

  dap::EncodeWriteAbort(request, 0x1E);
  EXPECT_FALSE(dap::DecodeStatus(send(), dap::kWriteAbort));  // no port connected yet

  dap::EncodeConnect(request, dap::kConnectSwd);
  EXPECT_EQ(dap::DecodeConnect(send()), dap::kConnectSwd);
  EXPECT_TRUE(target.dap.portConnected);

  dap::EncodeSwjClock(request, 0);
  EXPECT_FALSE(dap::DecodeStatus(send(), dap::kSwjClock));
  dap::EncodeSwjClock(request, 4000000);
  EXPECT_TRUE(dap::DecodeStatus(send(), dap::kSwjClock));
  EXPECT_EQ(target.dap.clockHz, 4000000u);

  dap::EncodeTransferConfigure(request, 2, 0x0123, 0x0456);
  EXPECT_TRUE(dap::DecodeStatus(send(), dap::kTransferConfigure));
  EXPECT_EQ(target.dap.idleCycles, 2);
  EXPECT_EQ(target.dap.waitRetries, 0x0123);
  EXPECT_EQ(target.dap.matchRetries, 0x0456);

  dap::EncodeSwdConfigure(request, 0x01);
  EXPECT_TRUE(dap::DecodeStatus(send(), dap::kSwdConfigure));
  EXPECT_EQ(target.dap.swdConfig, 0x01);

  dap::EncodeSwjPins(request, 0x00, 0x80, 0);
  EXPECT_EQ(dap::DecodeSwjPins(send()) & 0x80, 0);
  EXPECT_FALSE(target.dap.nResetHigh);
  dap::EncodeSwjPins(request, 0x80, 0x80, 0);
  EXPECT_EQ(dap::DecodeSwjPins(send()) & 0x80, 0x80);
  EXPECT_TRUE(target.dap.nResetHigh);
}

TEST(DapRequestsOnTheSimulatedAdapter, TransfersReachTargetMemory) {
  sim::testing::TargetDriver bench;
  bench.Connect();
  Report request{};

  dap::EncodeWordWrite(request, 0x20000010, 0xCAFEF00D);
  dap::TransferAnswer answer = dap::DecodeTransfer(bench.Send(request));
  EXPECT_EQ(answer.count, 2);
  EXPECT_EQ(answer.status, dap::kTransferOk);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000010), 0xCAFEF00Du);

  dap::EncodeWordRead(request, 0x20000010);
  answer = dap::DecodeTransfer(bench.Send(request));
  EXPECT_EQ(answer.count, 2);
  EXPECT_EQ(answer.status, dap::kTransferOk);
  EXPECT_EQ(answer.value, 0xCAFEF00Du);

  dap::EncodeTarWrite(request, 0x20000100);
  EXPECT_EQ(dap::DecodeTransfer(bench.Send(request)).status, dap::kTransferOk);
  dap::BeginTransferBlock(request, 3, dap::kWriteApDrw).Le32(0x01020304).Le32(0x05060708).Le32(9);
  EXPECT_EQ(dap::DecodeTransferBlock(bench.Send(request), {}), dap::kTransferOk);
  EXPECT_EQ(bench.target.chip.SramWord(0x20000108), 9u);

  dap::EncodeTarWrite(request, 0x20000100);
  bench.Send(request);
  dap::BeginTransferBlock(request, 3, dap::kReadApDrw);
  std::array<std::uint32_t, 3> words{};
  EXPECT_EQ(dap::DecodeTransferBlock(bench.Send(request), words), dap::kTransferOk);
  EXPECT_EQ(words, (std::array<std::uint32_t, 3>{0x01020304, 0x05060708, 9}));

  // Nothing answers at 0x30000000: the TAR write goes through, the read faults.
  dap::EncodeWordRead(request, 0x30000000);
  answer = dap::DecodeTransfer(bench.Send(request));
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.status, 0x04);
}

}  // namespace
}  // namespace dravlopro
