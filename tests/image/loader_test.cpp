// The image loader: HEX and binary files, streams that fail or never end,
// and whole command lines with image files. FIFOs, pipes and devices are in
// loader_posix_test.cpp.

#include "image/loader.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "base/text.h"
#include "tests/image/loader_test_support.h"

namespace dravlopro::loadertest {
namespace {

// A stream source that hands out its text and then either fails like a
// broken device or, given a filler, never ends. Counts what it handed out.
class ScriptedSource : public std::streambuf {
 public:
  ScriptedSource(std::string text, std::optional<char> filler)
      : text_(std::move(text)), filler_(filler) {}
  std::size_t delivered() const { return delivered_; }

 protected:
  int_type underflow() override {
    if (delivered_ < text_.size()) {
      const std::size_t n = std::min<std::size_t>(chunk_.size(), text_.size() - delivered_);
      text_.copy(chunk_.data(), n, delivered_);
      return Hand(n);
    }
    if (!filler_) throw std::ios_base::failure("input/output error");
    chunk_.fill(*filler_);
    return Hand(chunk_.size());
  }

 private:
  int_type Hand(std::size_t n) {
    setg(chunk_.data(), chunk_.data(), chunk_.data() + n);
    delivered_ += n;
    return traits_type::to_int_type(chunk_[0]);
  }

  std::string text_;
  std::optional<char> filler_;
  std::array<char, 512> chunk_{};
  std::size_t delivered_ = 0;
};

TEST(HexText, DigitsPairsAndNumbers) {
  EXPECT_EQ(HexDigitValue(L'0'), 0);
  EXPECT_EQ(HexDigitValue(L'9'), 9);
  EXPECT_EQ(HexDigitValue(L'A'), 10);
  EXPECT_EQ(HexDigitValue(L'f'), 15);
  EXPECT_EQ(HexDigitValue(L'G'), -1);
  EXPECT_EQ(HexDigitValue(L' '), -1);

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
  const std::string indented = Record(0, 2, {2}).insert(0, 1, ' ');
  EXPECT_EQ(LoadLines({Record(0, 0, {1}), indented, kEnd}), HexLoad::BadLine);
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
  EXPECT_STREQ(kHexRejectedMessage, L"File too big or Start address incorrect.");
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

// Records that fill the whole HEX image, 0x40000 bytes from address 0.
TEST_F(LoaderTest, RecordEndingExactlyAtTheHexImageEndCounts) {
  const std::vector<std::uint8_t> bytes = Pattern(kHexImageEnd);
  std::vector<std::string> lines = RecordsOf(bytes);
  lines.push_back(kEnd);
  ASSERT_EQ(LoadText(Join(lines, "\n")), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, kHexImageEnd);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image_.begin()));

  // One byte further and the last record no longer counts; its bytes are
  // still stored.
  lines.pop_back();
  lines.back() = Record(0, 0xFFF0, std::vector<std::uint8_t>(17, 0xA5));
  lines.push_back(kEnd);
  ASSERT_EQ(LoadText(Join(lines, "\n")), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, kHexImageEnd - 16);
  EXPECT_EQ(image_[kHexImageEnd - 1], 0xA5);
  EXPECT_EQ(image_[kHexImageEnd], 0xA5);
}

TEST_F(LoaderTest, LineEndsOfEveryKindLoadTheSameImage) {
  std::vector<std::string> lines = {Upper(0x1FF0), Record(0, 0, {0x0F, 0, 0, 0}),
                                    Record(0, 0x10, {0xFE})};
  for (const std::string& line : RecordsOf(Pattern(300))) lines.push_back(line);
  lines.push_back(kEnd);

  state_.ppTexts.fill(L"FFFFFFFF");
  ASSERT_EQ(LoadText(Join(lines, "\n")), HexLoad::Loaded);
  ASSERT_EQ(state_.imageSize, 300u);
  const std::vector<std::uint8_t> pattern = Pattern(300);
  ASSERT_TRUE(std::equal(pattern.begin(), pattern.end(), image_.begin()));
  ASSERT_EQ(state_.ppTexts[0], L"0000000F");
  ASSERT_EQ(state_.cp0Enabled, 1u);
  const std::vector<std::uint8_t> reference = image_;

  std::string mixed;
  const char* const ends[] = {"\r", "\n", "\r\n"};
  for (std::size_t i = 0; i < lines.size(); ++i) mixed += lines[i] + ends[i % 3];
  std::string unterminated = Join(lines, "\r");
  unterminated.pop_back();
  for (const std::string& text : {Join(lines, "\r"), Join(lines, "\r\n"), mixed, unterminated}) {
    SCOPED_TRACE(text.substr(0, 40));
    image_.assign(kImageBufferSize, 0);
    state_ = ImageState{};
    state_.ppTexts.fill(L"FFFFFFFF");
    ASSERT_EQ(LoadText(text), HexLoad::Loaded);
    EXPECT_EQ(state_.imageSize, 300u);
    EXPECT_EQ(image_, reference);
    EXPECT_EQ(state_.ppTexts[0], L"0000000F");
    EXPECT_EQ(state_.cp0Enabled, 1u);
  }

  // Every line end counts: a bare CR before a CRLF or after a LF ends a blank line.
  EXPECT_EQ(LoadText(Record(0, 0, {1}) + "\r\r\n" + kEnd + "\r\n"), HexLoad::BadLine);
  EXPECT_EQ(LoadText(Record(0, 0, {1}) + "\n\r" + kEnd + "\n"), HexLoad::BadLine);
}

TEST_F(LoaderTest, CrlfLinesLoadWhereverTheReadingSplitsThem) {
  const std::vector<std::uint8_t> bytes = Pattern(4096);
  std::vector<std::string> records = RecordsOf(bytes);
  records.push_back(kEnd);
  const std::string body = Join(records, "\r\n");
  // A first record of count 0, padded so that every CRLF lands at every
  // offset of the text in one of the runs.
  const std::size_t period = records[1].size() + 2;
  for (std::size_t pad = 0; pad < period; ++pad) {
    SCOPED_TRACE(pad);
    image_.assign(kImageBufferSize, 0);
    ASSERT_EQ(LoadText(":00000000" + std::string(2 + pad, '0') + "\r\n" + body), HexLoad::Loaded);
    EXPECT_EQ(state_.imageSize, bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image_.begin()));
  }
}

TEST_F(LoaderTest, LinesLongerThanAnyRecordEndTheLoad) {
  const std::string record = Record(0, 0x20, {1, 2, 3, 4});
  const std::string longest = record + std::string(kMaxHexLineLength - record.size(), 'F');
  ASSERT_EQ(LoadText(longest + "\n" + kEnd + "\n"), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x24u);
  EXPECT_EQ(image_[0x23], 4);

  for (const char* eol : {"\n", "\r\n", "\r"}) {
    state_.imageSize = 9;
    EXPECT_EQ(LoadText(Record(0, 0, {7}) + eol + longest + "F" + eol + kEnd + eol),
              HexLoad::LongLine);
    EXPECT_EQ(state_.imageSize, 0u);
  }
  // Nothing after the end record is read, however long.
  ASSERT_EQ(LoadText(record + "\n" + kEnd + "\n" + std::string(5000, 'x')), HexLoad::Loaded);
  EXPECT_EQ(state_.imageSize, 0x24u);
}

TEST_F(LoaderTest, EndlessLineStopsSoonAfterTheLongestLine) {
  for (const char* head : {":", ""}) {
    for (char filler : {'0', '\0'}) {
      ScriptedSource source(head, filler);
      std::istream in(&source);
      state_.imageSize = 9;
      EXPECT_EQ(ReadHexImage(in, image_, state_), HexLoad::LongLine);
      EXPECT_EQ(state_.imageSize, 0u);
      EXPECT_LT(source.delivered(), 64u * 1024u);
    }
  }
}

TEST_F(LoaderTest, ReadErrorsFailTheLoad) {
  ScriptedSource hex(Join(RecordsOf(Pattern(5000)), "\n"), std::nullopt);
  std::istream hexIn(&hex);
  state_.imageSize = 9;
  EXPECT_EQ(ReadHexImage(hexIn, image_, state_), HexLoad::ReadFailed);
  EXPECT_EQ(state_.imageSize, 0u);

  ScriptedSource bin(std::string(3000, '\x11'), std::nullopt);
  std::istream binIn(&bin);
  image_.assign(kImageBufferSize, 0x5A);
  state_.imageSize = 9;
  EXPECT_EQ(ReadBinaryImage(binIn, image_, state_), 20);
  EXPECT_EQ(state_.imageSize, 9u);
  EXPECT_EQ(image_, std::vector<std::uint8_t>(kImageBufferSize, 0x5A));

  // A stream that is already failed reads nothing.
  std::istringstream failed("\x01\x02");
  failed.setstate(std::ios::failbit);
  EXPECT_EQ(ReadBinaryImage(failed, image_, state_), 20);
  std::istringstream failedHex(":0100000001FE\n");
  failedHex.setstate(std::ios::failbit);
  EXPECT_EQ(ReadHexImage(failedHex, image_, state_), HexLoad::ReadFailed);
}

TEST_F(LoaderTest, BinaryStreamsAreReadToTheirEndUpToOneBytePastTheBuffer) {
  std::istringstream full(std::string(kImageBufferSize, '\x22'));
  EXPECT_EQ(ReadBinaryImage(full, image_, state_), 0);
  EXPECT_EQ(state_.imageSize, kImageBufferSize);
  EXPECT_EQ(image_, std::vector<std::uint8_t>(kImageBufferSize, 0x22));

  image_.assign(kImageBufferSize, 0x5A);
  std::istringstream over(std::string(kImageBufferSize + 1, '\x22'));
  EXPECT_EQ(ReadBinaryImage(over, image_, state_), 12);
  EXPECT_EQ(state_.imageSize, kImageBufferSize + 1);

  ScriptedSource endless("", '\0');
  std::istream endlessIn(&endless);
  state_.imageSize = 0;
  EXPECT_EQ(ReadBinaryImage(endlessIn, image_, state_), 12);
  EXPECT_EQ(state_.imageSize, kImageBufferSize + 1);
  EXPECT_LT(endless.delivered(), 2 * kImageBufferSize);
  EXPECT_EQ(image_, std::vector<std::uint8_t>(kImageBufferSize, 0x5A));
}

TEST_F(ImageFileCommandTest, HexWithBareCarriageReturnsProgramsEveryRecord) {
  const std::vector<std::uint8_t> bytes = Pattern(200);
  std::vector<std::string> lines = RecordsOf(bytes);
  lines.push_back(kEnd);
  const fs::path file = dir_.Write("MAC.HEX", Join(lines, "\r"));
  ASSERT_EQ(bench_.Run({"-a", file.string()}), 0);
  EXPECT_EQ(DownloadedSize(), 200u);
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(chip().FlashByte(i), bytes[i]) << i;
  EXPECT_EQ(bench_.Run({"-v", file.string()}), 0);
}

TEST_F(ImageFileCommandTest, FullSizeHexKeepsItsLastRecord) {
  const std::vector<std::uint8_t> bytes = Pattern(kHexImageEnd);
  std::vector<std::string> lines = RecordsOf(bytes);
  lines.push_back(kEnd);
  const fs::path file = dir_.Write("FULL.HEX", Join(lines, "\r\n"));
  ASSERT_EQ(bench_.Run({"-a", file.string()}), 0);
  EXPECT_EQ(DownloadedSize(), kHexImageEnd);
  EXPECT_EQ(chip().FlashByte(kHexImageEnd - 1), bytes.back());
  chip().SetFlashBytes(kHexImageEnd - 1, {static_cast<std::uint8_t>(~bytes.back())});
  EXPECT_EQ(bench_.Run({"-v", file.string()}), 12);
}

TEST_F(ImageFileCommandTest, ImageFileWithALineTooLongSendsNothing) {
  const std::string record = Record(0, 0, {1, 2, 3, 4});
  const std::string tooLong = record + std::string(kMaxHexLineLength + 1 - record.size(), '0');
  const std::string file = dir_.Write("LONG.HEX", tooLong + "\n" + kEnd + "\n").string();
  for (const char* command : {"-a", "-v"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(bench_.Run({command, file}), 20);
    EXPECT_EQ(bench_.output(),
              testing::kDefaultSelection + "Process: " + command + " (Fail)\n" + kFileFailure);
    EXPECT_TRUE(bench_.console.alerts.empty());
    ExpectNothingSent();
  }
}

TEST_F(ImageFileCommandTest, RefusedFilesNameTheFileAndTheReasonOnStandardError) {
  const std::string missing = testing::Utf8Name(dir_.path() / "NOPE.HEX");
  const std::string folder = testing::Utf8Name(dir_.path());
  std::string seventeen;
  for (int i = 0; i < 16; ++i) seventeen += Record(0, static_cast<std::uint16_t>(i), {1}) + "\n";
  const std::string badLine = dir_.Write("BAD.HEX", seventeen + "x\n").string();
  struct Case {
    std::string file;
    std::string why;
  };
  for (const Case& c : {Case{missing, "No such file or directory"}, Case{folder, "Is a directory"},
                        Case{badLine, "line 17 does not begin with ':'"}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(bench_.Run({"-a", c.file}), 20);
    EXPECT_EQ(bench_.output(), testing::kDefaultSelection + "Process: -a (Fail)\n" + kFileFailure);
    EXPECT_EQ(bench_.errorOutput(), "dravlopro: " + c.file + ": " + c.why + "\n");
    ExpectNothingSent();
  }
  const std::string longLine =
      dir_.Write("LONG.HEX", ":\n:\n" + std::string(kMaxHexLineLength + 1, '0')).string();
  EXPECT_EQ(bench_.Run({"-v", longLine}), 20);
  EXPECT_EQ(bench_.errorOutput(),
            "dravlopro: " + longLine + ": line 3 is longer than 1,024 characters\n");
  // "-q" keeps standard error as quiet as standard output.
  EXPECT_EQ(bench_.Run({"-q", "-a", missing}), 20);
  EXPECT_EQ(bench_.errorOutput(), "");
}

}  // namespace
}  // namespace dravlopro::loadertest
