#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

std::string Golden(const char* name) {
  std::ifstream in(std::string(DRAVLOPRO_SOURCE_DIR) + "/tests/golden/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Driver, WithoutArgumentsPrintsUsageAndSucceedsWithoutTouchingTheAdapter) {
  Bench bench;
  bench.hid.AddAdapter(L"12345");
  EXPECT_EQ(bench.Run({}), 0);
  const std::string usage = Golden("usage.txt");
  ASSERT_FALSE(usage.empty());
  EXPECT_EQ(bench.output(), usage + kSuccess);
  EXPECT_NE(bench.output().find("Use %errorlevel% to get"), std::string::npos);
  EXPECT_NE(bench.output().find("Please confirm \n"), std::string::npos);
  EXPECT_TRUE(bench.hid.trace.empty());
}

TEST(Driver, HelpAloneIsTheUsageTextAndVersionAloneOneLine) {
  Bench bench;
  bench.hid.AddAdapter(L"12345");
  const std::string usage = Golden("usage.txt");
  for (const char* help : {"--help", "-h"}) {
    EXPECT_EQ(bench.Run({help}), 0) << help;
    EXPECT_EQ(bench.output(), usage + kSuccess) << help;
    EXPECT_TRUE(bench.hid.trace.empty()) << help;
  }
  EXPECT_EQ(bench.Run({"--version"}), 0);
  EXPECT_EQ(bench.output(), "dravlopro v1.0.1.0\n");
  EXPECT_TRUE(bench.hid.trace.empty());
}

TEST(Driver, HelpAndVersionAmongOtherWordsStayUnknownCommands) {
  Bench bench;
  // Without an adapter, an unknown command word never gets its turn.
  EXPECT_EQ(bench.Run({"--help", "-list"}), 30);
  EXPECT_EQ(bench.Run({"-q", "--version"}), 30);
  EXPECT_EQ(bench.output(), "");

  bench.hid.AddAdapter(L"12345");
  EXPECT_EQ(bench.Run({"-q", "--help"}), 3);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.Run({"-rob", "--version"}), 3);
  EXPECT_EQ(bench.Run({"-H"}), 3);
  EXPECT_EQ(bench.Run({"--HELP"}), 3);
}

TEST(Driver, ValidationFailuresPrintOnlyTheResultLineAndRunNothing) {
  struct Case {
    std::vector<std::string> words;
    int code;
  };
  const Case cases[] = {
      {{"-id", "1", "-sn", "123"}, 1},
      {{"-id", "1", "-id", "2"}, 1},
      {{"-id", "10"}, 1},
      {{"-id", "0x1"}, 1},
      {{"-id"}, 1},
      {{"-id", "-list"}, 1},
      {{"-sn", "A", "-sn", "B"}, 1},
      {{"-me", "extra"}, 3},
      {{"list"}, 3},
      {{"-se"}, 1},
      {{"-r32", "0x0"}, 1},
      {{"-r32", "-1", "4"}, 1},
      {{"-w32", "0", ""}, 1},
      {{"-dump", "0", "4", "-x"}, 1},
      {{"-dump", "0", "-4", ""}, 1},
      {{"-pdev"}, 1},
      {{"-sdev", "-list"}, 1},
      {{"-a", ""}, 1},
      {{"-v"}, 1},
      {{"-ob", "cp0=1", "cp1=1", "pp0=1", "pp1=1", "pp2=1", "pp3=1", "pp0=2"}, 3},
      {{"-se", "3", "4", "5"}, 3},
  };
  for (const Case& c : cases) {
    Bench bench;
    bench.hid.AddAdapter(L"12345");
    EXPECT_EQ(bench.Run(c.words), c.code) << c.words[0];
    EXPECT_EQ(bench.output(), c.code == 1 ? kInvalid : kNotApplicable) << c.words[0];
    // The adapter is never opened, so nothing is exchanged with it.
    EXPECT_TRUE(bench.hid.trace.empty()) << c.words[0];
  }
}

TEST(Driver, QuietRunFailingValidationPrintsNothing) {
  Bench bench;
  EXPECT_EQ(bench.Run({"-q", "-me", "extra"}), 3);
  EXPECT_EQ(bench.output(), "");
}

TEST(Driver, NoAdapterEndsAtTheFirstCommandWithoutTrail) {
  Bench bench;
  bench.hid.AddOtherDevice(0x1234, 0x5678, L"KEYBOARD");
  EXPECT_EQ(bench.Run({"-list"}), 30);
  EXPECT_EQ(bench.output(), kNoAdapter);
  EXPECT_EQ(bench.Run({"-q", "-list"}), 30);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.Run({"-q"}), 30);
  EXPECT_EQ(bench.output(), "");
}

TEST(Driver, SelectionLineShowsVersionAndDefaultId) {
  Bench bench;
  bench.hid.AddAdapter(L"12345", "1.2.34");
  EXPECT_EQ(bench.Run({"-id", "0"}), 0);
  EXPECT_EQ(bench.output(), "This Dravlo Pro/Lite Ver:1.2.3, ID=0\n" + kSuccess);
  EXPECT_EQ(bench.Run({"-q", "-q"}), 0);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.Run({"-Q"}), 0);
  EXPECT_EQ(bench.output(), "");
}

TEST(Driver, SelectionLineIsPrintedOnceForTheWholeRun) {
  Bench bench;
  bench.hid.AddAdapter(L"12345", "2.0.0");
  EXPECT_EQ(bench.Run({"-sn", "12345", "-q"}), 0);
  EXPECT_EQ(bench.output(), "");
  bench.settings.sn = L"12345";
  EXPECT_EQ(bench.Run({"-ID", "0X0", "-Id", "0"}), 1);
  EXPECT_EQ(bench.Run({"-sn", "12345", "-sn", "12345"}), 1);
  EXPECT_EQ(bench.Run({"-SN", "12345"}), 0);
  EXPECT_EQ(bench.output(), "This Dravlo Pro/Lite Ver:2.0.0, SN=12345.\n" + kSuccess);
}

TEST(Driver, SerialNumberOnTheCommandLineIsUpperCased) {
  Bench bench;
  bench.hid.AddAdapter(L"12345");
  bench.hid.AddAdapter(L"ABC");
  EXPECT_EQ(bench.Run({"-sn", "abc"}), 0);
  ASSERT_FALSE(bench.hid.trace.empty());
  EXPECT_EQ(bench.hid.trace.front().serial, L"ABC");
}

TEST(Driver, UnknownCommandWordGivesThreeAfterTheSelectionLine) {
  Bench bench;
  bench.hid.AddAdapter(L"12345", "2.0.0");
  EXPECT_EQ(bench.Run({"-foo"}), 3);
  EXPECT_EQ(bench.output(),
            "This Dravlo Pro/Lite Ver:2.0.0, ID=0 (Setting comes from default value).\n" +
                kNotApplicable);
}

TEST(Driver, MissingSelectedAdapterPrintsSelectionWithoutVersionThen31) {
  Bench bench;
  bench.hid.AddAdapter(L"12345", "2.0.0");
  EXPECT_EQ(bench.Run({"-id", "9"}), 31);
  EXPECT_EQ(bench.output(), "This Dravlo Pro/Lite ID=9\n" + kAdapterNotFound);
  EXPECT_EQ(bench.Run({"-id", "8", "-q"}), 31);
  EXPECT_EQ(bench.output(), "");
}

TEST(Driver, FailureTrailNamesTheCommandsUpToTheFailingOne) {
  Bench bench;
  bench.hid.AddAdapter(L"12345", "2.0.0");
  // "-id" and "-q"-like words join the trail; the unknown word does not.
  EXPECT_EQ(bench.Run({"-id", "0", "-sdev", "id=5"}), 21);
  EXPECT_EQ(bench.output(),
            "This Dravlo Pro/Lite Ver:2.0.0, ID=0\n"
            "Process: -id >> -sdev (Fail)\n"
            "Result: This ID was specified by the parameter could not be found.\n");
}

TEST(Driver, CommandsAfterAFailureNeverRun) {
  Bench bench;
  bench.settings.sn = L"OLD";
  bench.hid.AddAdapter(L"12345", "2.0.0");
  EXPECT_EQ(bench.Run({"-sdev", "id=7", "-sdev", "null"}), 21);
  EXPECT_EQ(bench.settings.writes, 0);
  EXPECT_EQ(bench.settings.sn, L"OLD");
}

TEST(Driver, LedIsSwitchedOffAtTheEndOfEveryRunWithArguments) {
  Bench bench;
  sim::SimAdapter& adapter = bench.hid.AddAdapter(L"12345");
  EXPECT_EQ(bench.Run({"-list"}), 0);
  ASSERT_FALSE(adapter.ledHistory.empty());
  EXPECT_FALSE(adapter.ledHistory.back());
  const Report& last = bench.hid.trace.back().request;
  EXPECT_EQ(std::vector<int>(last.begin(), last.begin() + 4), (std::vector<int>{0, 1, 0, 0}));
}

TEST(Driver, TooManyWordsAfterACommandAreRefused) {
  Bench bench;
  bench.hid.AddAdapter(L"12345");
  std::vector<std::string> words{"-q"};
  for (int i = 0; i < 1025; ++i) words.push_back("-q");
  EXPECT_EQ(bench.Run(words), 1);
  EXPECT_TRUE(bench.hid.trace.empty());
  words.pop_back();
  EXPECT_EQ(bench.Run(words), 0);
}

}  // namespace
}  // namespace dravlopro
