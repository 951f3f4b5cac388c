// The Windows settings file, read and written by the profile-string
// services: the file in a folder of the test's own (MakeSettingsStoreIn),
// SN in SYSTEM, files written by hand in each encoding, and the values it
// keeps in the ANSI code page, where the saved serial number counts as its
// first 8 bytes. Nothing here reads or writes the user's settings file.

#include <windows.h>
// windows.h first: shlobj.h relies on its types.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/driver.h"
#include "platform/platform.h"
#include "platform/settings_windows.h"
#include "sim/sim_bench.h"
#include "sim/sim_clock.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

namespace fs = std::filesystem;
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

// Text as UTF-16LE bytes behind a byte-order mark.
std::string Utf16File(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (const wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

std::wstring FromUtf16File(const std::string& bytes) {
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return text;
}

class ProfileSettingsTest : public ::testing::Test {
 protected:
  ProfileSettingsTest()
      : store(platform::MakeSettingsStoreIn(dir.path() / "AppData")),
        folder(dir.path() / "AppData" / "Vexa Dravlo Pro Commander"),
        file(folder / "config.ini") {
    fs::create_directories(dir.path() / "AppData");
  }

  // The settings file with these bytes.
  void WriteFile(const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(file, std::ios::binary) << bytes;
  }

  ScratchDir dir;
  std::unique_ptr<SettingsStore> store;
  fs::path folder;
  fs::path file;
};

TEST_F(ProfileSettingsTest, TheSettingsFolderIsMadeWhenItIsMissing) {
  ASSERT_FALSE(fs::exists(folder));
  fs::path path;
  ASSERT_TRUE(store->GetSettingsPath(path));
  EXPECT_EQ(path, file);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(fs::exists(file));  // the file waits for the first value

  // A folder that is there already keeps what it holds.
  std::ofstream(folder / "other.txt", std::ios::binary) << "kept";
  ASSERT_TRUE(store->GetSettingsPath(path));
  EXPECT_EQ(path, file);
  EXPECT_EQ(ScratchDir::Read(folder / "other.txt"), "kept");

  // An application-data folder that is not there: the path is still given,
  // but nothing can be saved in it and nothing is read from it.
  const auto nowhere = platform::MakeSettingsStoreIn(dir.path() / "none");
  ASSERT_TRUE(nowhere->GetSettingsPath(path));
  EXPECT_EQ(path, dir.path() / "none" / "Vexa Dravlo Pro Commander" / "config.ini");
  EXPECT_FALSE(fs::exists(dir.path() / "none"));
  EXPECT_FALSE(nowhere->WriteSn(path, L"12345"));
  EXPECT_EQ(nowhere->ReadSn(path), L"");
  EXPECT_FALSE(fs::exists(dir.path() / "none"));
}

TEST(ProfileSettingsOfTheUser, TheFileIsInTheRoamingApplicationDataFolder) {
  wchar_t roaming[MAX_PATH] = {};
  ASSERT_TRUE(
      SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming)));
  const auto store = platform::MakeSettingsStore();
  fs::path path;
  ASSERT_TRUE(store->GetSettingsPath(path));
  EXPECT_EQ(path, fs::path(roaming) / "Vexa Dravlo Pro Commander" / "config.ini");
  EXPECT_TRUE(fs::is_directory(path.parent_path()));
}

TEST_F(ProfileSettingsTest, SnIsReadAndWrittenInSystemAndEverythingElseIsKept) {
  const std::string before =
      "; settings\r\n[OTHER]\r\nSN=other\r\nA=1\r\n[SYSTEM]\r\nX=y\r\nSN=OLD1\r\nZ=z\r\n"
      "[LAST]\r\nB=2\r\n";
  WriteFile(before);
  EXPECT_EQ(store->ReadSn(file), L"OLD1");
  ASSERT_TRUE(store->WriteSn(file, L"NEW22"));
  EXPECT_EQ(ScratchDir::Read(file),
            "; settings\r\n[OTHER]\r\nSN=other\r\nA=1\r\n[SYSTEM]\r\nX=y\r\nSN=NEW22\r\nZ=z\r\n"
            "[LAST]\r\nB=2\r\n");
  EXPECT_EQ(store->ReadSn(file), L"NEW22");
  // An empty value clears it.
  ASSERT_TRUE(store->WriteSn(file, L""));
  EXPECT_EQ(store->ReadSn(file), L"");

  // No SYSTEM section yet: it is added after the others.
  WriteFile("[OTHER]\r\nSN=other\r\n[LAST]\r\nB=2\r\n");
  EXPECT_EQ(store->ReadSn(file), L"");
  ASSERT_TRUE(store->WriteSn(file, L"ABC"));
  EXPECT_EQ(ScratchDir::Read(file),
            "[OTHER]\r\nSN=other\r\n[LAST]\r\nB=2\r\n[SYSTEM]\r\nSN=ABC\r\n");
  EXPECT_EQ(store->ReadSn(file), L"ABC");

  // No file yet: it is made with the section alone.
  fs::remove(file);
  EXPECT_EQ(store->ReadSn(file), L"");
  ASSERT_TRUE(store->WriteSn(file, L"12345"));
  EXPECT_EQ(ScratchDir::Read(file), "[SYSTEM]\r\nSN=12345\r\n");
}

TEST_F(ProfileSettingsTest, ValuesAreAtMost255CharactersAndBlanksAroundThemGo) {
  WriteFile("[SYSTEM]\r\nSN = spaced \r\n");
  EXPECT_EQ(store->ReadSn(file), L"spaced");
  WriteFile("[SYSTEM]\r\nSN=" + std::string(300, 'A') + "\r\n");
  EXPECT_EQ(store->ReadSn(file), std::wstring(255, L'A'));
}

// A file written by hand, in each encoding the profile services take, with
// the key in lower case and the value in quotes: both are read, and a value
// written keeps the file in its encoding. (Key names are compared without
// regard to case, so the text after a write is too.)
TEST_F(ProfileSettingsTest, HandWrittenFilesInAnsiUtf16AndUtf8WithAMark) {
  const std::string body = "[OTHER]\r\nA=1\r\n[SYSTEM]\r\nsn=\"12345\"\r\nX=y\r\n";
  const std::wstring after = L"[OTHER]\r\nA=1\r\n[SYSTEM]\r\nSN=67890\r\nX=Y\r\n";
  struct Encoding {
    const char* name;
    std::string bytes;
    std::string mark;  // what the file begins with, before and after
  };
  const Encoding encodings[] = {
      {"ANSI", body, ""},
      {"UTF-16LE", Utf16File(Widen(body)), "\xFF\xFE"},
      {"UTF-8", "\xEF\xBB\xBF" + body, "\xEF\xBB\xBF"},
  };
  for (const Encoding& encoding : encodings) {
    SCOPED_TRACE(encoding.name);
    WriteFile(encoding.bytes);
    EXPECT_EQ(store->ReadSn(file), L"12345");
    ASSERT_TRUE(store->WriteSn(file, L"67890"));
    const std::string written = ScratchDir::Read(file);
    EXPECT_EQ(written.substr(0, encoding.mark.size()), encoding.mark);
    const std::wstring text = encoding.mark == "\xFF\xFE"
                                  ? FromUtf16File(written)
                                  : Widen(written.substr(encoding.mark.size()));
    EXPECT_EQ(ToUpper(text), after);
    EXPECT_EQ(store->ReadSn(file), L"67890");
  }
}

TEST_F(ProfileSettingsTest, AUtf16FileKeepsASerialNumberOfAnyCharacters) {
  // a-umlaut, b, c, sharp s, a CJK character and an emoji (two UTF-16 units).
  const std::wstring serial = L"\u00E4bc\u00DF\u4E2D\U0001F600";
  WriteFile(Utf16File(L"[SYSTEM]\r\nSN=old\r\n"));
  ASSERT_TRUE(store->WriteSn(file, serial));
  EXPECT_EQ(store->ReadSn(file), serial);
  EXPECT_EQ(FromUtf16File(ScratchDir::Read(file)), L"[SYSTEM]\r\nSN=" + serial + L"\r\n");
}

// Whole runs of the tool over the simulated adapters with this store: the
// default adapter saved by -sdev is the one later runs select and list.
TEST_F(ProfileSettingsTest, TheDefaultAdapterIsSavedAndFoundByLaterRuns) {
  sim::SimBench hid;
  sim::SimClock clock;
  hid.UseClock(clock);
  hid.AddAdapter(L"12345", "2.0.0");
  hid.AddAdapter(L"5A7C9", "2.0.0");
  testing::StringSink console;
  testing::StringSink errors;
  const Environment environment{hid, clock, *store, console, errors};
  auto run = [&](std::vector<std::wstring> words) {
    words.insert(words.begin(), L"dravlopro.exe");
    console.out.clear();
    return RunDriver(words, environment);
  };

  EXPECT_EQ(run({L"-sdev", L"sn=5a7c9"}), 0);
  EXPECT_EQ(console.out, "SN: 5A7C9 saves in the INI file.\n" + testing::kSuccess);
  EXPECT_EQ(ScratchDir::Read(file), "[SYSTEM]\r\nSN=5A7C9\r\n");
  EXPECT_EQ(run({L"-list"}), 0);
  EXPECT_EQ(console.out, "ID:0, SN:12345.\r\nID:1, SN:5A7C9(*).\r\n" + testing::kSuccess);

  EXPECT_EQ(run({L"-sdev", L"NULL"}), 0);
  EXPECT_EQ(console.out, "Setting to default value.\n" + testing::kSuccess);
  EXPECT_EQ(ScratchDir::Read(file), "[SYSTEM]\r\nSN=\r\n");
  EXPECT_EQ(run({L"-list"}), 0);
  EXPECT_EQ(console.out, "ID:0, SN:12345.\r\nID:1, SN:5A7C9.\r\n" + testing::kSuccess);
}

}  // namespace
}  // namespace dravlopro
