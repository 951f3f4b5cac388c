#include "image/loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace dravlopro {
namespace {

namespace fs = std::filesystem;

// One Intel HEX record line with a correct checksum.
std::string Record(std::uint8_t type, std::uint16_t address, std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                     static_cast<std::uint8_t>(address >> 8),
                                     static_cast<std::uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  std::string line = ":";
  char pair[3];
  for (std::uint8_t b : bytes) {
    sum = static_cast<std::uint8_t>(sum + b);
    std::snprintf(pair, sizeof pair, "%02X", b);
    line += pair;
  }
  std::snprintf(pair, sizeof pair, "%02X", static_cast<std::uint8_t>(-sum));
  return line + pair;
}

std::string Upper(std::uint16_t upper) {
  return Record(4, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

const std::string kEnd = ":00000001FF";

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("dravlopro_loader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    image_.assign(kImageBufferSize, 0x00);  // not the erased state: a HEX load must refill it
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path WriteText(const std::string& text, const std::string& name = "PROG.HEX") {
    fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  fs::path WriteLines(std::initializer_list<std::string> lines, const char* eol = "\n") {
    std::string text;
    for (const std::string& line : lines) text += line + eol;
    return WriteText(text);
  }

  HexLoad LoadLines(std::initializer_list<std::string> lines, const char* eol = "\n") {
    return LoadHexImage(WriteLines(lines, eol), image_, state_);
  }

  fs::path dir_;
  std::vector<std::uint8_t> image_;
  ImageState state_;
};

TEST(HexText, DigitsPairsAndNumbers) {
  EXPECT_EQ(hexDigitValue(L'0'), 0);
  EXPECT_EQ(hexDigitValue(L'9'), 9);
  EXPECT_EQ(hexDigitValue(L'A'), 10);
  EXPECT_EQ(hexDigitValue(L'f'), 15);
  EXPECT_EQ(hexDigitValue(L'G'), 0);
  EXPECT_EQ(hexDigitValue(L' '), 0);

  EXPECT_EQ(HexPairToByte(L":1Fa0", 1), 0x1F);
  EXPECT_EQ(HexPairToByte(L":1Fa0", 3), 0xA0);
  EXPECT_EQ(HexPairToByte(L"x7", 0), 0x07);
  EXPECT_EQ(HexPairToByte(L"7", 0), 0x70);  // past the end reads as digit 0

  EXPECT_EQ(HexTextToUInt(L""), 0u);
  EXPECT_EQ(HexTextToUInt(L"FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(HexTextToUInt(L"0000000F"), 0xFu);
  EXPECT_EQ(HexTextToUInt(L"deadBEEF"), 0xDEADBEEFu);
  EXPECT_EQ(HexTextToUInt(L"123456789"), 0x23456789u);  // only the last 8 digits survive
  EXPECT_EQ(HexTextToUInt(L"1G2"), 0x102u);
}

TEST(HexFileName, DecidedByTheUpperCasedNameAlone) {
  EXPECT_TRUE(IsHexFileName(L"PROG.HEX"));
  EXPECT_TRUE(IsHexFileName(L"AB.HEX"));
  EXPECT_FALSE(IsHexFileName(L"A.HEX"));  // five characters: binary
  EXPECT_FALSE(IsHexFileName(L"PROG.H86"));
  EXPECT_FALSE(IsHexFileName(L"PROG.BIN"));
  EXPECT_FALSE(IsHexFileName(L"prog.hex"));  // the driver upper-cases first
  EXPECT_FALSE(IsHexFileName(L"PROG.HEX.BIN"));
}

TEST_F(LoaderTest, OutOfOrderRecordsSizeTheImageAndLeaveGapsErased) {
  ASSERT_EQ(LoadLines({Record(0, 0x1FFC, {1, 2, 3, 4}), Record(0, 0x0000, {0xAA, 0xBB}),
                       Record(0, 0x1000, {0xCC}), kEnd}),
            HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x2000u);
  EXPECT_EQ(image_[0x0000], 0xAA);
  EXPECT_EQ(image_[0x0001], 0xBB);
  EXPECT_EQ(image_[0x0002], 0xFF);
  EXPECT_EQ(image_[0x0FFF], 0xFF);
  EXPECT_EQ(image_[0x1000], 0xCC);
  EXPECT_EQ(image_[0x1FFC], 1);
  EXPECT_EQ(image_[0x1FFF], 4);
  EXPECT_EQ(image_[0x2000], 0xFF);
  EXPECT_EQ(image_[kImageBufferSize - 1], 0xFF);
  EXPECT_EQ(image_.size(), kImageBufferSize);
}

TEST_F(LoaderTest, RecordPastTheHexImageEndIsStoredButNotCounted) {
  std::vector<std::uint8_t> data(32);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_EQ(LoadLines({Record(0, 0x0100, {9, 9, 9, 9}), Upper(0x0003), Record(0, 0xFFF0, data)}),
            HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x104u);
  EXPECT_EQ(image_[0x3FFF0], 1);
  EXPECT_EQ(image_[0x3FFFF], 16);
  EXPECT_EQ(image_[0x40000], 17);
  EXPECT_EQ(image_[0x4000F], 32);
  EXPECT_EQ(image_[0x40010], 0xFF);

  // Every record counts toward the size, the end record too: under upper
  // address 0x0003 it ends at 0x30000.
  ASSERT_EQ(
      LoadLines({Record(0, 0x0100, {9, 9, 9, 9}), Upper(0x0003), Record(0, 0xFFF0, data), kEnd}),
      HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x30000u);
}

TEST_F(LoaderTest, ExtendedAddressRecordCountsTowardTheSize) {
  ASSERT_EQ(LoadLines({Upper(0x0000), kEnd}), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 2u);
}

TEST_F(LoaderTest, OptionRecordSetsTheFourWordsAsStoredInFlash) {
  state_.ppTexts.fill(L"FFFFFFFF");
  state_.cp0Enabled = 0;
  state_.cp1Enabled = 1;
  std::vector<std::uint8_t> data = {0x0F, 0x00, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0xA1, 0xB2,
                                    0xC3, 0xD4, 0x01, 0x02, 0x03, 0x04, 0xFC, 0xFC, 0xFC, 0xFC};
  ASSERT_EQ(LoadLines({Upper(0x1FF0), Record(0, 0x0000, data), kEnd}), HexLoad::Loaded);
  EXPECT_EQ(state_.ppTexts[0], L"0000000F");
  EXPECT_EQ(state_.ppTexts[1], L"44332211");
  EXPECT_EQ(state_.ppTexts[2], L"D4C3B2A1");
  EXPECT_EQ(state_.ppTexts[3], L"04030201");
  // Bytes past the sixteenth are not option word 4.
  EXPECT_EQ(state_.cp0Enabled, 0u);
  EXPECT_EQ(state_.cp1Enabled, 1u);
  // Only the extended address record counts toward the size.
  EXPECT_EQ(state_.imageSize, 2u);
}

TEST_F(LoaderTest, OptionTextsKeepTheFileCharactersAndFollowTheCount) {
  state_.ppTexts.fill(L"FFFFFFFF");
  // Lower-case digits are copied as they stand; a count of 7 sets PP0 only.
  ASSERT_EQ(LoadLines({Upper(0x1FF0), ":070000000f0a0b0c11223344", kEnd}), HexLoad::Loaded);
  EXPECT_EQ(state_.ppTexts[0], L"0c0b0a0f");
  EXPECT_EQ(state_.ppTexts[1], L"FFFFFFFF");
}

TEST_F(LoaderTest, OptionRecordNotAtTheFirstWordIsIgnored) {
  state_.ppTexts.fill(L"FFFFFFFF");
  ASSERT_EQ(LoadLines({Upper(0x1FF0), Record(0, 0x0004, {1, 2, 3, 4}), kEnd}), HexLoad::Loaded);
  for (const std::wstring& text : state_.ppTexts) EXPECT_EQ(text, L"FFFFFFFF");
}

TEST_F(LoaderTest, ProtectionFlagsFromOptionWordFour) {
  struct Case {
    std::uint8_t byte;
    std::uint32_t cp0;
    std::uint32_t cp1;
  };
  for (const Case& c : {Case{0xFC, 1, 1}, Case{0xFE, 1, 0}, Case{0xFD, 0, 1}, Case{0xFF, 0, 0}}) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    state_.cp0Enabled = 7;
    state_.cp1Enabled = 7;
    ASSERT_EQ(LoadLines({Upper(0x1FF0), Record(0, 0x0010, {c.byte, 0xFF, 0xFF, 0xFF}), kEnd}),
              HexLoad::Loaded);
    EXPECT_EQ(state_.cp0Enabled, c.cp0);
    EXPECT_EQ(state_.cp1Enabled, c.cp1);
  }
}

TEST_F(LoaderTest, BlankLineFailsBeforeTheEndRecordOnly) {
  state_.imageSize = 123;
  EXPECT_EQ(LoadLines({Record(0, 0, {1}), "", kEnd}), HexLoad::BadLine);
  EXPECT_EQ(state_.imageSize, 0u);

  ASSERT_EQ(LoadLines({Record(0, 0, {1}), kEnd, "", "garbage"}), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 1u);
}

TEST_F(LoaderTest, LineWithoutColonFails) {
  state_.imageSize = 5;
  EXPECT_EQ(LoadLines({Record(0, 0, {1}), " " + Record(0, 2, {2}), kEnd}), HexLoad::BadLine);
  EXPECT_EQ(state_.imageSize, 0u);
}

TEST_F(LoaderTest, ShortLinesAreSkippedAndMissingEndRecordIsFine) {
  ASSERT_EQ(LoadLines({":10", Record(0, 0x10, {5, 6}), ":0000"}), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x12u);
  EXPECT_EQ(image_[0x10], 5);
}

TEST_F(LoaderTest, SegmentAddressRecordsAreIgnored) {
  ASSERT_EQ(LoadLines({Record(2, 0, {0x10, 0x00}), Record(0, 0x0010, {0x42}), kEnd}),
            HexLoad::Loaded);
  EXPECT_EQ(image_[0x10], 0x42);
  EXPECT_EQ(state_.imageSize, 0x11u);
}

TEST_F(LoaderTest, UpperAddressesOutsideImageAndOptionBytesAreRejected) {
  for (std::uint16_t upper : {0xFFFF, 0x8000, 0x0004, 0x1FF1}) {
    SCOPED_TRACE(upper);
    state_.imageSize = 9;
    EXPECT_EQ(LoadLines({Record(0, 0, {1, 2}), Upper(upper), Record(0, 0, {3}), kEnd}),
              HexLoad::Rejected);
    EXPECT_EQ(state_.imageSize, 0u);
    EXPECT_EQ(image_.size(), kImageBufferSize);
  }
  EXPECT_EQ(LoadLines({Upper(0x0003), kEnd}), HexLoad::Loaded);
  EXPECT_STREQ(kHexRejectedMessageNarrow, "File too big or Start address incorrect.");
  EXPECT_EQ(std::wstring(kHexRejectedMessage), L"File too big or Start address incorrect.");
}

TEST_F(LoaderTest, LowerCaseDigitsAndStrayCharacters) {
  ASSERT_EQ(LoadLines({":04000000deadbeef00", ":0200040012G4", kEnd}), HexLoad::Loaded);
  EXPECT_EQ(image_[0], 0xDE);
  EXPECT_EQ(image_[3], 0xEF);
  EXPECT_EQ(image_[4], 0x12);
  EXPECT_EQ(image_[5], 0x04);  // 'G' reads as 0
  EXPECT_EQ(state_.imageSize, 6u);
}

TEST_F(LoaderTest, CrlfLinesLoadLikeLfLines) {
  state_.ppTexts.fill(L"FFFFFFFF");
  ASSERT_EQ(
      LoadLines({Record(0, 0, {1, 2, 3}), Upper(0x1FF0), Record(0, 0, {0x0F, 0, 0, 0}), kEnd, ""},
                "\r\n"),
      HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 3u);
  EXPECT_EQ(image_[2], 3);
  EXPECT_EQ(state_.ppTexts[0], L"0000000F");
}

TEST_F(LoaderTest, RecordShorterThanItsCountFailsInOrder) {
  state_.imageSize = 7;
  // Four bytes announced, three and a half given.
  EXPECT_EQ(LoadLines({":0400000011223344", ":040010001122334", kEnd}), HexLoad::ShortRecord);
  EXPECT_EQ(state_.imageSize, 0u);

  state_.ppTexts.fill(L"FFFFFFFF");
  EXPECT_EQ(LoadLines({Upper(0x1FF0), ":080000000F000000112233", kEnd}), HexLoad::ShortRecord);
  EXPECT_EQ(state_.ppTexts[1], L"FFFFFFFF");

  EXPECT_EQ(LoadLines({":0200000400", kEnd}), HexLoad::ShortRecord);
}

TEST_F(LoaderTest, MissingFileKeepsTheImageSize) {
  state_.imageSize = 77;
  EXPECT_EQ(LoadHexImage(dir_ / "NOPE.HEX", image_, state_), HexLoad::CannotOpen);
  EXPECT_EQ(LoadHexImage(dir_, image_, state_), HexLoad::CannotOpen);
  EXPECT_EQ(state_.imageSize, 77u);
  EXPECT_EQ(LoadBinaryImage(dir_ / "NOPE.BIN", image_, state_), 20);
  EXPECT_EQ(LoadBinaryImage(dir_, image_, state_), 20);
  EXPECT_EQ(state_.imageSize, 77u);
}

TEST_F(LoaderTest, BinaryFilesLoadAtAddressZero) {
  state_.imageSize = 50;
  EXPECT_EQ(LoadBinaryImage(WriteText("", "EMPTY.BIN"), image_, state_), 0);
  EXPECT_EQ(state_.imageSize, 0u);

  EXPECT_EQ(
      LoadBinaryImage(WriteText(std::string("\x01\x02\x00\xFF\r\n", 6), "A.HEX"), image_, state_),
      0);
  EXPECT_EQ(state_.imageSize, 6u);
  EXPECT_EQ(image_[0], 0x01);
  EXPECT_EQ(image_[2], 0x00);
  EXPECT_EQ(image_[3], 0xFF);
  EXPECT_EQ(image_[4], '\r');
  EXPECT_EQ(image_[5], '\n');
  EXPECT_EQ(image_[6], 0x00);  // the rest is left as it was
}

TEST_F(LoaderTest, BinaryLongerThanTheBufferIsRefused) {
  image_.assign(kImageBufferSize, 0x5A);
  EXPECT_EQ(LoadBinaryImage(WriteText(std::string(kImageBufferSize + 1, '\x11'), "BIG.BIN"), image_,
                            state_),
            12);
  EXPECT_EQ(state_.imageSize, kImageBufferSize + 1);
  EXPECT_EQ(image_, std::vector<std::uint8_t>(kImageBufferSize, 0x5A));

  EXPECT_EQ(
      LoadBinaryImage(WriteText(std::string(kImageBufferSize, '\x11'), "FULL.BIN"), image_, state_),
      0);
  EXPECT_EQ(state_.imageSize, kImageBufferSize);
  EXPECT_EQ(image_[kImageBufferSize - 1], 0x11);
}

}  // namespace
}  // namespace dravlopro
