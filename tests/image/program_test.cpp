#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

std::string HexRecord(std::uint16_t address, std::uint8_t type,
                      const std::vector<std::uint8_t>& data) {
  std::string line = ":";
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  char pair[8];
  auto put = [&](unsigned byte) {
    std::snprintf(pair, sizeof pair, "%02X", byte & 0xFF);
    line += pair;
  };
  put(static_cast<unsigned>(data.size()));
  put(address >> 8);
  put(address & 0xFF);
  put(type);
  for (std::uint8_t b : data) {
    put(b);
    sum += b;
  }
  put(0x100 - (sum & 0xFF));
  return line + "\n";
}

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed = 7) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * seed + (i >> 8));
  return bytes;
}

// A HEX text of the bytes at address 0, 16 per record.
std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 16) {
    const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
    text += HexRecord(static_cast<std::uint16_t>(at), 0,
                      std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(at),
                                                bytes.begin() + static_cast<long>(at + n)));
  }
  return text + ":00000001FF\n";
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() : adapter(bench.hid.AddAdapter(L"12345", "2.0.0")) {}
  sim::SimChip& chip() { return adapter.target.chip; }
  sim::SimEngine& engine() { return adapter.target.engine; }
  std::string Path(const std::filesystem::path& file) { return Utf8Name(file); }

  // Words read by block reads from the main flash, and the TAR settings there.
  static bool InMainFlash(std::uint32_t address) { return address < 0x10000000; }
  std::uint32_t WordsRead() {
    std::uint32_t words = 0;
    std::uint32_t tar = 0xFFFFFFFF;
    for (const sim::TraceEntry& e : bench.hid.trace) {
      const Report& r = e.request;
      if (r[1] == 0x05 && r[3] >= 1 && r[4] == 0x05) tar = GetLe32(&r[5]);
      if (r[1] == 0x06 && r[5] == 0x0F && InMainFlash(tar)) words += GetLe16(&r[3]);
    }
    return words;
  }
  std::vector<std::uint32_t> FlashTarWrites() {
    std::vector<std::uint32_t> out;
    for (const Report& r : RequestsWith(bench.hid.trace, 0x05)) {
      if (r[3] >= 1 && r[4] == 0x05 && InMainFlash(GetLe32(&r[5]))) out.push_back(GetLe32(&r[5]));
    }
    return out;
  }

  Bench bench;
  sim::SimAdapter& adapter;
  ScratchDir dir;
};

TEST_F(ProgramTest, ExampleRoundTripsThroughProgramVerifyAndDump) {
  const std::string root = DRAVLOPRO_SOURCE_DIR "/examples/blinky/";
  const std::string bin = ScratchDir::Read(root + "blinky.bin");
  ASSERT_FALSE(bin.empty());
  const std::string dump = Path(dir.path() / "readback.bin");
  const std::string words = std::to_string((bin.size() + 3) / 4);
  EXPECT_EQ(
      bench.Run({"-a", root + "blinky.hex", "-v", root + "blinky.hex", "-dump", "0", words, dump}),
      0);
  EXPECT_EQ(bench.output(), kDefaultSelection + kSuccess);
  std::string back = ScratchDir::Read(dump);
  ASSERT_GE(back.size(), bin.size());
  EXPECT_EQ(back.substr(0, bin.size()), bin);
  // The binary verifies against the same flash too.
  EXPECT_EQ(bench.Run({"-v", root + "blinky.bin"}), 0);
}

TEST_F(ProgramTest, BinaryImageGoesToTheEngineThenTheOptionPageIsErased) {
  const std::vector<std::uint8_t> image = Pattern(130);
  const auto file = dir.Write("APP.BIN", std::string(image.begin(), image.end()));
  chip().SetOptionWord(0, 0x12345678);
  EXPECT_EQ(bench.Run({"-a", Path(file)}), 0);

  const auto headers = RequestsWith(bench.hid.trace, 0x80);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0][11], 0x0E);
  EXPECT_EQ(headers[1][11], 0x06);
  EXPECT_EQ(GetLe32(&headers[1][13]), 130u);
  for (int word = 0; word < 5; ++word) EXPECT_EQ(GetLe32(&headers[1][17 + 4 * word]), 0xFFFFFFFFu);
  const auto packets = RequestsWith(bench.hid.trace, 0x81);
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[2][2], 6);
  EXPECT_EQ(packets[2][9], 0xFF);

  for (std::size_t i = 0; i < image.size(); ++i) ASSERT_EQ(chip().FlashByte(i), image[i]) << i;
  // The option page was erased over the serial-wire link after the download.
  ASSERT_FALSE(chip().eraseLog.empty());
  EXPECT_EQ(chip().eraseLog.back(), 0x1FF00000u);
  EXPECT_EQ(chip().OptionWord(0), 0xFFFFFFFFu);
  std::size_t lastPacket = 0;
  std::size_t firstTransfer = 0;
  for (std::size_t i = 0; i < bench.hid.trace.size(); ++i) {
    if (bench.hid.trace[i].request[1] == 0x81) lastPacket = i;
    if (bench.hid.trace[i].request[1] == 0x05 && firstTransfer == 0) firstTransfer = i;
  }
  EXPECT_GT(firstTransfer, lastPacket);
}

TEST_F(ProgramTest, HexOptionRecordsTravelInTheHeaderAndTheOptionPageIsLeftAlone) {
  std::string hex = HexOf(Pattern(40));
  hex.insert(hex.size() - 12, HexRecord(0, 4, {0x1F, 0xF0}) +
                                  HexRecord(0, 0, {0x0F, 0, 0, 0, 1, 2, 3, 4}) +
                                  HexRecord(0x10, 0, {0xFD}));
  const auto file = dir.Write("opts.hex", hex);
  EXPECT_EQ(bench.Run({"-a", Path(file)}), 0);
  const auto headers = RequestsWith(bench.hid.trace, 0x80);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(GetLe32(&headers[1][13]), 40u);
  EXPECT_EQ(GetLe32(&headers[1][17]), 0x0000000Fu);
  EXPECT_EQ(GetLe32(&headers[1][21]), 0x04030201u);
  EXPECT_EQ(GetLe32(&headers[1][25]), 0xFFFFFFFFu);
  EXPECT_EQ(GetLe32(&headers[1][33]), 0xFFFFFFFDu);
  EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x05).empty());
  EXPECT_EQ(chip().OptionWord(0), 0x0000000Fu);
  EXPECT_EQ(chip().OptionWord(4), 0xFFFFFFFDu);
}

TEST_F(ProgramTest, FileNamesOpenAsTypedAndHexIsJudgedUpperCased) {
  const auto file = dir.Write("app.hex", HexOf(Pattern(20)));
  EXPECT_EQ(bench.Run({"-a", Path(file)}), 0);
  const auto headers = RequestsWith(bench.hid.trace, 0x80);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(GetLe32(&headers[1][13]), 20u);  // the HEX image, not the text's length
}

TEST_F(ProgramTest, FileNamesOutsideAsciiWork) {
  const auto file = dir.Write("pr\xC3\xB6g.bin", "\x01\x02\x03\x04");
  const std::filesystem::path dump = dir.path() / Utf8Path("d\xC3\xBCmp.bin");
  EXPECT_EQ(bench.Run({"-a", Path(file), "-dump", "0", "1", Path(dump)}), 0);
  EXPECT_EQ(ScratchDir::Read(dump), "\x01\x02\x03\x04");
  // The names are the characters typed, o and u with diaereses, and nothing else.
  EXPECT_EQ(file.filename(), std::filesystem::path(u8"pr\u00F6g.bin"));
  std::set<std::filesystem::path> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename());
  }
  EXPECT_EQ(names, (std::set<std::filesystem::path>{u8"pr\u00F6g.bin", u8"d\u00FCmp.bin"}));
}

TEST_F(ProgramTest, LoadFailuresSendNothing) {
  struct Case {
    std::string name;
    std::string content;
    int code;
  };
  const std::string tooBig(0x100001, '\x5A');
  const Case cases[] = {
      {"MISSING.BIN", "", 20},
      {"BIG.BIN", tooBig, 12},
      {"BAD.HEX", ":020000040000FA\n\n:00000001FF\n", 20},
      {"UPPER.HEX", ":02000004FFFFFC\n:0400000001020304F2\n:00000001FF\n", 20},
      {"SHORT.HEX", ":10000000010203\n:00000001FF\n", 20},
  };
  for (const Case& c : cases) {
    std::filesystem::path file = dir.path() / c.name;
    if (c.name != "MISSING.BIN") file = dir.Write(c.name, c.content);
    bench.console.alerts.clear();
    EXPECT_EQ(bench.Run({"-a", Path(file)}), c.code) << c.name;
    EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x80).empty()) << c.name;
    EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x05).empty()) << c.name;
    if (c.name == "UPPER.HEX") {
      EXPECT_EQ(bench.console.alerts,
                std::vector<std::string>{"File too big or Start address incorrect."});
    } else {
      EXPECT_TRUE(bench.console.alerts.empty()) << c.name;
    }
    EXPECT_EQ(engine().imagesProgrammed, 0);
  }
  // The rejection is shown even in quiet mode, where nothing else is printed.
  bench.console.alerts.clear();
  EXPECT_EQ(bench.Run({"-q", "-v", Path(dir.path() / "UPPER.HEX")}), 20);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.console.alerts.size(), 1u);
}

TEST_F(ProgramTest, RefusedDownloadGivesTwelve) {
  const auto file = dir.Write("APP.HEX", HexOf(Pattern(100)));
  chip().faults.engineRefuseStatus = 5;
  EXPECT_EQ(bench.Run({"-a", Path(file), "-rst"}), 12);
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -a (Fail)\n" +
                                "Result: Programing or Verification fail.\n");
  chip().faults.engineRefuseStatus = 0;
  chip().faults.engineDropPacket = 1;
  EXPECT_EQ(bench.Run({"-a", Path(file)}), 12);
  EXPECT_EQ(RequestsWith(bench.hid.trace, 0x81).size(), 2u);
}

TEST_F(ProgramTest, VerifyReadsWholeWordsInPiecesAndComparesTheImageOnly) {
  const std::vector<std::uint8_t> image = Pattern(0x1FFE);
  const auto file = dir.Write("END.HEX", HexOf(image));
  chip().SetFlashBytes(0, image);
  chip().SetFlashBytes(0x1FFE, {0x00, 0x00});  // read, but not compared
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 0);
  EXPECT_EQ(WordsRead(), 2048u);
  const std::vector<std::uint32_t> pieces{0, 0x400, 0x800, 0xC00, 0x1000, 0x1400, 0x1800, 0x1C00};
  EXPECT_EQ(FlashTarWrites(), pieces);

  chip().SetFlashBytes(0x1FFD, {0x00});
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 12);
}

TEST_F(ProgramTest, VerifyOfFiveBytesReadsTwoWords) {
  const auto file = dir.Write("FIVE.BIN", "\x01\x02\x03\x04\x05");
  chip().SetFlashBytes(0, {1, 2, 3, 4, 5});
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 0);
  EXPECT_EQ(WordsRead(), 2u);
}

TEST_F(ProgramTest, VerifyOfAnEmptyImageReadsNothingAndSucceeds) {
  const auto file = dir.Write("EMPTY.BIN", "");
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 0);
  EXPECT_EQ(WordsRead(), 0u);
}

TEST_F(ProgramTest, VerifyLeavesTheOptionPageAlone) {
  const auto file = dir.Write("APP.BIN", "\x01\x02\x03\x04");
  chip().SetFlashBytes(0, {1, 2, 3, 4});
  chip().SetOptionWord(0, 0xFFFFFFF0);
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 0);
  EXPECT_TRUE(chip().eraseLog.empty());
  EXPECT_EQ(chip().OptionWord(0), 0xFFFFFFF0u);
}

TEST_F(ProgramTest, VerifyOnALockedOrSilentTarget) {
  const auto file = dir.Write("APP.BIN", "\x01\x02\x03\x04");
  chip().SetLocked(true);
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 14);
  EXPECT_EQ(WordsRead(), 0u);
  chip().SetLocked(false);
  chip().faults.noTarget = true;
  EXPECT_EQ(bench.Run({"-v", Path(file)}), 2);
}

TEST_F(ProgramTest, BinaryProgramOnASilentTargetEndsWithTwo) {
  const auto file = dir.Write("APP.BIN", "\x01\x02\x03\x04");
  chip().faults.neverReady = true;
  EXPECT_EQ(bench.Run({"-a", Path(file)}), 2);
}

TEST_F(ProgramTest, MassEraseAsksTheEngine) {
  chip().SetFlashBytes(0x100, {1, 2, 3});
  EXPECT_EQ(bench.Run({"-me"}), 0);
  const auto headers = RequestsWith(bench.hid.trace, 0x80);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0][11], 0x0E);
  EXPECT_EQ(GetLe32(&headers[0][33]), 0xFFFFFFFFu);  // before any load
  EXPECT_EQ(headers[1][11], 0x06);
  for (std::size_t i = 13; i < kReportLength; ++i) EXPECT_EQ(headers[1][i], 0) << i;
  EXPECT_EQ(chip().FlashByte(0x100), 0xFF);
  EXPECT_TRUE(RequestsWith(bench.hid.trace, 0x05).empty());

  chip().faults.engineRefuseStatus = 2;
  EXPECT_EQ(bench.Run({"-me"}), 11);
  EXPECT_EQ(bench.output(),
            kDefaultSelection + "Process: -me (Fail)\n" + "Result: Can't erase Flash memory.\n");
}

TEST_F(ProgramTest, LaterQueryCarriesTheLastImage) {
  const auto file = dir.Write("APP.BIN", std::string(10, '\x11'));
  EXPECT_EQ(bench.Run({"-a", Path(file), "-me"}), 0);
  const auto headers = RequestsWith(bench.hid.trace, 0x80);
  ASSERT_EQ(headers.size(), 4u);
  EXPECT_EQ(GetLe32(&headers[2][13]), 10u);
}

}  // namespace
}  // namespace dravlopro
