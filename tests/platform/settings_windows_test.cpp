// The Windows settings file keeps its values in the ANSI code page: the
// saved serial number counts as its first 8 bytes there. Nothing here reads
// or writes the user's settings file.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

// Code page 1252 (Western European), Wine's and many a Windows computer's
// ANSI code page: one byte for every character it has.
bool AnsiIsWesternEuropean() { return GetACP() == 1252; }

TEST(WindowsSettingsCut, CutsInTheAnsiCodePage) {
  const std::unique_ptr<SettingsStore> store = platform::MakeSettingsStore();
  // ASCII is the same in every ANSI code page.
  EXPECT_EQ(store->CutToBytes(L"AB12CD34EF", 8), L"AB12CD34");
  EXPECT_EQ(store->CutToBytes(L"AB12", 8), L"AB12");
  EXPECT_EQ(store->CutToBytes(L"", 8), L"");
  if (!AnsiIsWesternEuropean()) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  }
  // A byte for each character, where UTF-8 takes two or three.
  EXPECT_EQ(store->CutToBytes(L"\u00E4bcdefghij", 8), L"\u00E4bcdefgh");
  EXPECT_EQ(store->CutToBytes(std::wstring(10, L'\u20AC'), 8), std::wstring(8, L'\u20AC'));
  EXPECT_EQ(store->CutToBytes(L"\u00DF\u00E4\u00F6\u00FC\u00C4\u00D6\u00DC\u00E9\u00E8", 8),
            L"\u00DF\u00E4\u00F6\u00FC\u00C4\u00D6\u00DC\u00E9");
}

// A character outside the code page comes back as one '?', as from a
// settings file in that code page; never as a look-alike (ł as l), which
// could name another adapter.
TEST(WindowsSettingsCut, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  if (!AnsiIsWesternEuropean()) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  }
  const std::unique_ptr<SettingsStore> store = platform::MakeSettingsStore();
  EXPECT_EQ(store->CutToBytes(L"\u0142abcdefgh", 8), L"?abcdefg");
  EXPECT_EQ(store->CutToBytes(L"\u65E5\u672Cabcdefgh", 8), L"??abcdef");
  // A surrogate pair is one character; a lone surrogate is one too.
  EXPECT_EQ(store->CutToBytes(L"\U0001F600abcdefgh", 8), L"?abcdefg");
  const std::wstring lone{static_cast<wchar_t>(0xD800), L'a'};
  EXPECT_EQ(store->CutToBytes(lone, 8), L"?a");
}

// The bench's settings in memory, cut as the Windows settings file cuts.
class AnsiCutSettings : public sim::MemorySettingsStore {
 public:
  std::wstring CutToBytes(const std::wstring& value, std::size_t maxBytes) const override {
    return windows_->CutToBytes(value, maxBytes);
  }

 private:
  std::unique_ptr<SettingsStore> windows_ = platform::MakeSettingsStore();
};

// "-list" marks, and a run without "-sn" or "-id" uses, the adapter whose
// serial number equals the saved one's first 8 ANSI bytes.
TEST(WindowsSettingsCut, TheSavedAdapterIsTheOneOfTheFirstEightAnsiBytes) {
  if (!AnsiIsWesternEuropean()) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  }
  Bench bench;
  AnsiCutSettings settings;
  const std::wstring euros8(8, L'\u20AC');
  bench.hid.AddAdapter(euros8);
  bench.hid.AddAdapter(L"\u20AC\u20AC");  // what 8 bytes of UTF-8 would hold
  settings.sn = std::wstring(10, L'\u20AC');
  const Environment environment{bench.hid, bench.clock, settings, bench.console, bench.errors};
  const auto run = [&](std::vector<std::wstring> argv) {
    bench.console.out.clear();
    argv.insert(argv.begin(), L"dravlopro.exe");
    return RunDriver(argv, environment);
  };
  std::string euros8Utf8;
  for (int i = 0; i < 8; ++i) euros8Utf8 += "\xE2\x82\xAC";

  EXPECT_EQ(run({L"-list"}), 0);
  EXPECT_EQ(bench.output(), "ID:0, SN:" + euros8Utf8 +
                                "(*).\r\n"
                                "ID:1, SN:\xE2\x82\xAC\xE2\x82\xAC.\r\n" +
                                kSuccess);
  EXPECT_EQ(run({L"-halt"}), 0);
  EXPECT_EQ(bench.output(), "This Dravlo Pro/Lite Ver:2.0.0, SN=" + euros8Utf8 +
                                " (Setting comes from INI file).\n" + kSuccess);
}

}  // namespace
}  // namespace dravlopro
