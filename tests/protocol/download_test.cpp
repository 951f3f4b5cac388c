// The programming-engine requests and their answers, byte for byte.
//
// Each encoder fills its whole report, so every test starts from a buffer
// full of a marker and compares all 65 bytes.

#include "protocol/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "tests/protocol/report_bytes.h"
#include "tests/sim/sim_bench_util.h"

namespace dravlopro {
namespace {

using protocoltest::Frame;
using protocoltest::SameReport;

constexpr std::uint8_t kMarker = 0xAA;

Report Marked() {
  Report report;
  report.fill(kMarker);
  return report;
}

Report Answer(std::initializer_list<std::uint8_t> bytes) { return Frame(0x00, bytes, 0x00); }

const Report kNoAnswer{};

// 62 image bytes, one full packet.
constexpr std::array<std::uint8_t, 62> kImage = {
    0x00, 0x20, 0x00, 0x20, 0xC1, 0x00, 0x00, 0x00, 0xC3, 0x00, 0x00, 0x00, 0xC5, 0x00, 0x00, 0x00,
    0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F,
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11,
    0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7, 0xF6, 0xF5, 0xF4, 0x5A, 0xA5};

// --- Encoders -----------------------------------------------------------------

TEST(DownloadEncoders, QueryHeaderWithDefaultFields) {
  Report report = Marked();
  download::EncodeHeader(report, download::kQuery, {});
  // Byte 12 is always 0xFF; every byte after the listed ones is zero.
  const Report expected = Frame(0x00,
                                {
                                    0x80, 0x3E,                                      // command, 62
                                    0x51, 0x57, 0x45, 0x52, 0x54, 0x5A, 0x55, 0x49,  // QWERTZUI
                                    0x0E, 0xFF,                                      // operation
                                    0x00, 0x00, 0x00, 0x00,                          // size
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // PP0, PP1
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // PP2, PP3
                                    0xFF, 0xFF, 0xFF, 0xFF                           // cpWord
                                },
                                0x00);
  EXPECT_TRUE(SameReport(report, expected));
}

TEST(DownloadEncoders, ProgramHeaderCarriesEveryField) {
  download::HeaderFields fields;
  fields.imageSize = 0x0001F3A5;
  fields.optionWords = {0xFFFFFFFF, 0x12345678, 0x00000000, 0xA1B2C3D4};
  fields.cpWord = 0xFFFFFFFC;
  Report report = Marked();
  download::EncodeHeader(report, download::kProgram, fields);
  // Byte 12 is always 0xFF; every byte after the listed ones is zero.
  const Report expected = Frame(0x00,
                                {
                                    0x80, 0x3E,                                      // command, 62
                                    0x51, 0x57, 0x45, 0x52, 0x54, 0x5A, 0x55, 0x49,  // QWERTZUI
                                    0x06, 0xFF,                                      // operation
                                    0xA5, 0xF3, 0x01, 0x00,                          // size
                                    0xFF, 0xFF, 0xFF, 0xFF,                          // PP0
                                    0x78, 0x56, 0x34, 0x12,                          // PP1
                                    0x00, 0x00, 0x00, 0x00,                          // PP2
                                    0xD4, 0xC3, 0xB2, 0xA1,                          // PP3
                                    0xFC, 0xFF, 0xFF, 0xFF                           // cpWord
                                },
                                0x00);
  EXPECT_TRUE(SameReport(report, expected));
}

TEST(DownloadEncoders, EraseHeaderIsZeroFromTheSizeOn) {
  // Built over a full program header: none of its fields may stay.
  download::HeaderFields fields;
  fields.imageSize = 130;
  fields.optionWords = {0x11111111, 0x22222222, 0x33333333, 0x44444444};
  fields.cpWord = 0xFFFFFFFD;
  Report report = Marked();
  download::EncodeHeader(report, download::kProgram, fields);
  download::EncodeEraseHeader(report);
  // Byte 12 is always 0xFF; every byte after the listed ones is zero.
  const Report expected = Frame(0x00,
                                {
                                    0x80, 0x3E,                                      // command, 62
                                    0x51, 0x57, 0x45, 0x52, 0x54, 0x5A, 0x55, 0x49,  // QWERTZUI
                                    0x06, 0xFF                                       // operation
                                },
                                0x00);
  EXPECT_TRUE(SameReport(report, expected));

  Report fresh = Marked();
  download::EncodeEraseHeader(fresh);
  EXPECT_TRUE(SameReport(fresh, report));
}

TEST(DownloadEncoders, DataPackets) {
  // A full packet: 62 bytes, count 0x3E, bytes 3 to 64.
  Report full = Marked();
  download::EncodeDataPacket(full, kImage);
  Report expected = Frame(0x00, {0x81, 0x3E}, 0xFF);
  std::copy(kImage.begin(), kImage.end(), expected.begin() + 3);
  EXPECT_TRUE(SameReport(full, expected));

  // The last packet of a 130-byte image: 6 bytes, then 0xFF from byte 9 on,
  // whatever the buffer held before.
  Report last = full;
  const std::array<std::uint8_t, 6> tail = {0x10, 0x00, 0x00, 0x20, 0x00, 0xFF};
  download::EncodeDataPacket(last, tail);
  EXPECT_TRUE(
      SameReport(last, Frame(0x00, {0x81, 0x06, 0x10, 0x00, 0x00, 0x20, 0x00, 0xFF}, 0xFF)));

  Report one = Marked();
  download::EncodeDataPacket(one, std::array<std::uint8_t, 1>{0x7E});
  EXPECT_TRUE(SameReport(one, Frame(0x00, {0x81, 0x01, 0x7E}, 0xFF)));

  Report none = Marked();
  download::EncodeDataPacket(none, {});
  EXPECT_TRUE(SameReport(none, Frame(0x00, {0x81, 0x00}, 0xFF)));

  // More than one packet holds: the first 62 bytes only.
  std::vector<std::uint8_t> more(kImage.begin(), kImage.end());
  more.push_back(0x99);
  Report capped = Marked();
  download::EncodeDataPacket(capped, more);
  EXPECT_TRUE(SameReport(capped, expected));
}

// --- Decoders -----------------------------------------------------------------

TEST(DownloadDecoders, HeaderAnswers) {
  // Accepted, with the engine's version and the flash size in bytes 60 to 64.
  Report accepted = Answer({0x80, 0x00});
  accepted[60] = 0x01;
  accepted[61] = 0x00;
  accepted[62] = 0x00;
  accepted[63] = 0x02;
  accepted[64] = 0x00;
  EXPECT_TRUE(download::DecodeHeaderEcho(accepted));
  EXPECT_TRUE(download::DecodeHeaderAccepted(accepted));

  // Refused: the echo is there, the status is not 0.
  for (const std::uint8_t status : {0x01, 0x02, 0x05, 0xFF}) {
    SCOPED_TRACE(static_cast<int>(status));
    const Report refused = Answer({0x80, status});
    EXPECT_TRUE(download::DecodeHeaderEcho(refused));
    EXPECT_FALSE(download::DecodeHeaderAccepted(refused));
  }

  // No echo: no answer at all, DAP_Invalid, a data packet's answer.
  for (const Report& answer : {kNoAnswer, Answer({0xFF}), Answer({0x81, 0x00})}) {
    EXPECT_FALSE(download::DecodeHeaderEcho(answer));
    EXPECT_FALSE(download::DecodeHeaderAccepted(answer));
  }
}

TEST(DownloadDecoders, DataAnswers) {
  EXPECT_TRUE(download::DecodeDataAccepted(Answer({0x81, 0x00})));
  // Only the echo counts; the engine's own verdict comes with the last packet.
  EXPECT_TRUE(download::DecodeDataAccepted(Answer({0x81, 0x07})));

  EXPECT_FALSE(download::DecodeDataAccepted(kNoAnswer));
  EXPECT_FALSE(download::DecodeDataAccepted(Answer({0xFF})));
  EXPECT_FALSE(download::DecodeDataAccepted(Answer({0x80, 0x00})));
}

// --- Against the simulated adapter --------------------------------------------

// The simulated engine reads the header and the packets with its own
// offsets; what it takes in must be what the encoders put.
TEST(DownloadRequestsOnTheSimulatedAdapter, HeaderFieldsAndImageArrive) {
  sim::testing::TargetDriver bench;
  Report request{};

  download::EncodeHeader(request, download::kQuery, {});
  EXPECT_TRUE(download::DecodeHeaderEcho(bench.Send(request)));

  download::HeaderFields fields;
  fields.imageSize = 68;
  fields.optionWords = {0xFFFFFFFF, 0xFFFF0000, 0x0000FFFF, 0xFFFFFFFF};
  fields.cpWord = 0xFFFFFFFE;
  download::EncodeHeader(request, download::kProgram, fields);
  EXPECT_TRUE(download::DecodeHeaderAccepted(bench.Send(request)));
  ASSERT_EQ(bench.target.engine.headers.size(), 2u);
  const sim::EngineHeader& header = bench.target.engine.headers.back();
  EXPECT_EQ(header.operation, download::kProgram);
  EXPECT_EQ(header.imageSize, 68u);
  EXPECT_EQ(header.optionWords, fields.optionWords);
  EXPECT_EQ(header.cpWord, 0xFFFFFFFEu);

  download::EncodeDataPacket(request, kImage);
  EXPECT_TRUE(download::DecodeDataAccepted(bench.Send(request)));
  const std::array<std::uint8_t, 6> tail = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  download::EncodeDataPacket(request, tail);
  const Report last = bench.Send(request);
  EXPECT_TRUE(download::DecodeDataAccepted(last));
  EXPECT_EQ(last[2], 0x00);  // programmed
  std::vector<std::uint8_t> image(kImage.begin(), kImage.end());
  image.insert(image.end(), tail.begin(), tail.end());
  EXPECT_EQ(bench.target.engine.lastImage, image);

  download::EncodeEraseHeader(request);
  EXPECT_TRUE(download::DecodeHeaderAccepted(bench.Send(request)));
  EXPECT_EQ(bench.target.engine.fullErases, 1);
}

}  // namespace
}  // namespace dravlopro
