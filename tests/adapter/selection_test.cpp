#include <gtest/gtest.h>

#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

class SelectionTest : public ::testing::Test {
 protected:
  void TwoAdapters() {
    first = &bench.hid.AddAdapter(L"12345", "2.0.0");
    second = &bench.hid.AddAdapter(L"5A7C9", "2.0.0");
  }
  // The command bytes sent to an adapter, in order.
  std::vector<std::vector<int>> RequestsTo(const std::wstring& serial, std::size_t bytes) {
    std::vector<std::vector<int>> out;
    for (const sim::TraceEntry& e : bench.hid.trace) {
      if (e.serial == serial)
        out.emplace_back(e.request.begin() + 1, e.request.begin() + 1 + bytes);
    }
    return out;
  }

  Bench bench;
  sim::SimAdapter* first = nullptr;
  sim::SimAdapter* second = nullptr;
};

TEST_F(SelectionTest, ListMarksTheSavedAdapter) {
  TwoAdapters();
  bench.settings.sn = L"5A7C9";
  EXPECT_EQ(bench.Run({"-list"}), 0);
  EXPECT_EQ(bench.output(), "ID:0, SN:12345.\r\nID:1, SN:5A7C9(*).\r\n" + kSuccess);
}

TEST_F(SelectionTest, ListWorksWhenTheSelectedAdapterIsMissing) {
  TwoAdapters();
  bench.settings.sn = L"AB12CD34EF";  // used as its first 8 characters
  bench.hid.AddAdapter(L"AB12CD34EF");
  EXPECT_EQ(bench.Run({"-list"}), 0);
  EXPECT_EQ(bench.output(),
            "ID:0, SN:12345.\r\nID:1, SN:5A7C9.\r\nID:2, SN:AB12CD34EF.\r\n" + kSuccess);
  EXPECT_EQ(bench.Run({"-list", "-rst"}), 31);
  EXPECT_EQ(bench.output(),
            "ID:0, SN:12345.\r\nID:1, SN:5A7C9.\r\nID:2, SN:AB12CD34EF.\r\n"
            "This Dravlo Pro/Lite SN=AB12CD34 (Setting comes from INI file).\n"
            "Process: -list (Fail)\n" +
                kAdapterNotFound);
}

TEST_F(SelectionTest, SavedSerialNumberSelectsTheAdapter) {
  TwoAdapters();
  bench.settings.sn = L"5A7C9";
  EXPECT_EQ(bench.Run({"-q"}), 0);
  EXPECT_FALSE(RequestsTo(L"5A7C9", 1).empty());
  EXPECT_TRUE(RequestsTo(L"12345", 1).empty());
}

TEST_F(SelectionTest, IdBeforeListEndsTheRunBeforeListing) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-id", "3", "-list"}), 31);
  EXPECT_EQ(bench.output(), "This Dravlo Pro/Lite ID=3\n" + kAdapterNotFound);
  EXPECT_EQ(bench.Run({"-list", "-id", "3"}), 31);
  EXPECT_EQ(bench.output(),
            "ID:0, SN:12345.\r\nID:1, SN:5A7C9.\r\nThis Dravlo Pro/Lite ID=3\n"
            "Process: -list (Fail)\n" +
                kAdapterNotFound);
}

TEST_F(SelectionTest, QuietListPrintsNothing) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-q", "-list"}), 0);
  EXPECT_EQ(bench.output(), "");
}

TEST_F(SelectionTest, PdevBlinksTheChosenAdapterFiveTimes) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-pdev", "id=1"}), 0);
  EXPECT_EQ(bench.output(), "Dravlo Pro/Lite's SN: 5A7C9.\n" + kSuccess);
  // Five on/off cycles, 100 ms apart. The blinking adapter stays the open
  // one, so the end-of-run switch-off goes to it too.
  std::vector<bool> blink;
  for (int i = 0; i < 5; ++i) blink.insert(blink.end(), {true, false});
  std::vector<bool> withFinalOff = blink;
  withFinalOff.push_back(false);
  EXPECT_EQ(second->ledHistory, withFinalOff);
  EXPECT_EQ(bench.clock.sleeps, std::vector<std::uint32_t>(10, 100));
  EXPECT_TRUE(first->ledHistory.empty());
  const auto requests = RequestsTo(L"5A7C9", 3);
  ASSERT_EQ(requests.size(), 11u);
  EXPECT_EQ(requests[0], (std::vector<int>{0x01, 0x00, 0x01}));
  EXPECT_EQ(requests[1], (std::vector<int>{0x01, 0x00, 0x00}));
}

TEST_F(SelectionTest, NextCommandReturnsToTheRunsOwnAdapter) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-pdev", "id=1", "-q"}), 0);
  EXPECT_EQ(second->ledHistory.size(), 10u);
  EXPECT_EQ(first->ledHistory, std::vector<bool>{false});
}

TEST_F(SelectionTest, PdevBySerialAndItsFailures) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-pdev", "sn=5a7c9"}), 0);
  EXPECT_EQ(bench.Run({"-pdev", "sn=XYZ"}), 31);
  EXPECT_EQ(bench.output(), "Process: -pdev (Fail)\n" + kAdapterNotFound);
  EXPECT_EQ(bench.Run({"-pdev", "id=9"}), 1);
  EXPECT_EQ(bench.Run({"-pdev", "id=-1"}), 1);
  EXPECT_EQ(bench.Run({"-pdev", "id=8"}), 21);
  EXPECT_EQ(bench.output(), "Process: -pdev (Fail)\n" + kIdNotFound);
  EXPECT_EQ(bench.Run({"-pdev", "id=2"}), 21);
  EXPECT_EQ(bench.Run({"-pdev", "1"}), 1);
  EXPECT_EQ(bench.output(), "Process: -pdev (Fail)\n" + kInvalid);
  EXPECT_EQ(bench.Run({"-pdev", "id=ABC"}), 0);
  EXPECT_EQ(bench.output(), "Dravlo Pro/Lite's SN: 12345.\n" + kSuccess);
  // Only the first word counts.
  EXPECT_EQ(bench.Run({"-pdev", "id=1", "sn=X"}), 3);
  EXPECT_EQ(bench.Run({"-pdev", "sn=X", "-pdev", "id=1"}), 31);
}

TEST_F(SelectionTest, PdevRunsEvenWhenTheRunsAdapterIsMissing) {
  TwoAdapters();
  bench.settings.sn = L"GONE";
  EXPECT_EQ(bench.Run({"-pdev", "id=0"}), 0);
  EXPECT_EQ(bench.output(), "Dravlo Pro/Lite's SN: 12345.\n" + kSuccess);
}

TEST_F(SelectionTest, SdevSavesClearsAndRefuses) {
  TwoAdapters();
  EXPECT_EQ(bench.Run({"-sdev", "sn=abc"}), 0);
  EXPECT_EQ(bench.output(), "SN: ABC saves in the INI file.\n" + kSuccess);
  EXPECT_EQ(bench.settings.sn, L"ABC");

  EXPECT_EQ(bench.Run({"-sdev", "sn=0X12"}), 0);
  EXPECT_EQ(bench.settings.sn, L"12");

  EXPECT_EQ(bench.Run({"-sdev", "id=1"}), 0);
  EXPECT_EQ(bench.output(), "SN: 5A7C9 saves in the INI file.\n" + kSuccess);
  EXPECT_EQ(bench.settings.sn, L"5A7C9");

  EXPECT_EQ(bench.Run({"-sdev", "null"}), 0);
  EXPECT_EQ(bench.output(), "Setting to default value.\n" + kSuccess);
  EXPECT_EQ(bench.settings.sn, L"");

  const int writes = bench.settings.writes;
  EXPECT_EQ(bench.Run({"-sdev", "id=8"}), 21);
  EXPECT_EQ(bench.Run({"-sdev", "id=-1"}), 1);
  EXPECT_EQ(bench.Run({"-sdev", "sn="}), 1);
  EXPECT_EQ(bench.Run({"-sdev", "x"}), 1);
  EXPECT_EQ(bench.settings.writes, writes);
}

TEST_F(SelectionTest, SdevIdOfAnAdapterWithoutSerialIsNotFound) {
  bench.hid.AddAdapterWithoutSerial();
  EXPECT_EQ(bench.Run({"-sdev", "id=0"}), 21);
}

TEST_F(SelectionTest, LowerCaseSerialNumbersWorkByIdAndBySavedValue) {
  bench.hid.AddAdapter(L"ab12");
  EXPECT_EQ(bench.Run({"-sn", "ab12", "-q"}), 31);
  EXPECT_EQ(bench.Run({"-sdev", "id=0"}), 0);
  EXPECT_EQ(bench.settings.sn, L"ab12");
  EXPECT_EQ(bench.Run({"-list"}), 0);
  EXPECT_EQ(bench.output(), "ID:0, SN:ab12(*).\r\n" + kSuccess);
  EXPECT_EQ(bench.Run({"-q"}), 0);
}

// The saved serial number counts as its first 8 bytes of UTF-8 (the
// settings file's text), cut before a character that would not fit whole.
TEST_F(SelectionTest, SavedSerialNumberIsCutBetweenCharacters) {
  struct Case {
    std::wstring saved;
    std::wstring used;     // what the 8 bytes hold
    std::string usedUtf8;  // the same as "-list" prints it
  };
  const Case cases[] = {
      {L"\u00E4bcdefgh", L"\u00E4bcdefg",
       "\xC3\xA4"
       "bcdefg"},                                                            // ä is 2 bytes
      {L"abcdefg\u00E4", L"abcdefg", "abcdefg"},                             // ä on bytes 8 and 9
      {L"abcdef\u20ACx", L"abcdef", "abcdef"},                               // € on bytes 7 to 9
      {L"abcde\U0001F600", L"abcde", "abcde"},                               // 4 bytes from byte 6
      {L"ab\u20AC\u20AC", L"ab\u20AC\u20AC", "ab\xE2\x82\xAC\xE2\x82\xAC"},  // exactly 8
  };
  for (const Case& c : cases) {
    Bench run;
    run.hid.AddAdapter(c.used);
    // A second adapter named as a cut at byte 8 inside a character would
    // leave the value: the character's first bytes, each read back as a
    // character of its own.
    std::wstring split = c.used;
    for (const char byte : Narrow(c.saved).substr(c.usedUtf8.size(), 8 - c.usedUtf8.size())) {
      split += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    if (split != c.used) run.hid.AddAdapter(split);
    run.settings.sn = c.saved;
    EXPECT_EQ(run.Run({"-list"}), 0) << c.usedUtf8;
    const std::string first = "ID:0, SN:" + c.usedUtf8 + "(*).\r\n";
    EXPECT_EQ(run.output().substr(0, first.size()), first);
    EXPECT_EQ(run.output().find("(*)", first.size()), std::string::npos) << run.output();
    EXPECT_EQ(run.Run({"-halt"}), 0) << c.usedUtf8;
    EXPECT_EQ(run.output(), "This Dravlo Pro/Lite Ver:2.0.0, SN=" + c.usedUtf8 +
                                " (Setting comes from INI file).\n" + kSuccess);
  }
}

TEST_F(SelectionTest, EveryAdapterCommandNeedsAnAdapter) {
  for (const char* command : {"-list", "-pdev", "-sdev"}) {
    Bench empty;
    std::vector<std::string> words{command};
    if (std::string(command) != "-list") words.push_back("null");
    EXPECT_EQ(empty.Run(words), 30) << command;
    EXPECT_EQ(empty.settings.writes, 0);
  }
}

}  // namespace
}  // namespace dravlopro
