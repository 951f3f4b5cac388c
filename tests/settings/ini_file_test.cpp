#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace dravlopro {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("dravlopro-ini-") + info->name() + "-" +
                                        std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    file_ = dir_ / "config.ini";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void Store(const std::string& text) {
    std::ofstream out(file_, std::ios::binary);
    out << text;
  }
  std::string Load() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::size_t EntriesInFolder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_;
  fs::path file_;
};

TEST_F(IniFileTest, ReadsKeysOfTheirOwnSectionOnly) {
  Store(
      "SN=before any section\n"
      "; comment SN=commented\n"
      "[OTHER]\n"
      "SN=other section\n"
      "\n"
      "  [ System ]  \n"
      "# SN=hash comment\n"
      "Name\n"
      "sn =   AB12 \t\n"
      "SN=second occurrence\n"
      "Quoted = \"  spaced  \"\n"
      "Single='x'\n"
      "Half=\"x\n"
      "Empty=\n"
      "[SYSTEM2]\n"
      "Other=1");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), "AB12");
  EXPECT_EQ(ReadIniValue(file_, "system", "Sn"), "AB12");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Quoted"), "  spaced  ");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Single"), "x");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Half"), "\"x");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Empty"), "");
  EXPECT_EQ(ReadIniValue(file_, "OTHER", "SN"), "other section");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM2", "Other"), "1");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Name"), std::nullopt);
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "Other"), std::nullopt);
  EXPECT_EQ(ReadIniValue(file_, "MISSING", "SN"), std::nullopt);
}

TEST_F(IniFileTest, MissingFileOrFolderHasNoValueAndAFolderIsNotCreated) {
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), std::nullopt);

  const fs::path inMissingFolder = dir_ / "missing" / "config.ini";
  EXPECT_EQ(ReadIniValue(inMissingFolder, "SYSTEM", "SN"), std::nullopt);
  EXPECT_FALSE(WriteIniValue(inMissingFolder, "SYSTEM", "SN", "1"));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(EntriesInFolder(), 0u);
}

TEST_F(IniFileTest, CreatesAMissingFile) {
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "5A7C9"));
  EXPECT_EQ(Load(), "[SYSTEM]\nSN=5A7C9\n");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), "5A7C9");
  EXPECT_EQ(EntriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(IniFileTest, SettingAnExistingKeyRewritesOnlyItsValue) {
  const std::string before =
      "\xEF\xBB\xBF; settings\r\n"
      "[Other]\r\n"
      "SN=keep\r\n"
      "\r\n"
      "[system]\r\n"
      "  sn = OLD VALUE  \r\n"
      "not a key line\r\n"
      "[broken\r\n"
      "=no name\r\n"
      "Tail=1";
  Store(before);
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "NEW"));
  EXPECT_EQ(Load(),
            "\xEF\xBB\xBF; settings\r\n"
            "[Other]\r\n"
            "SN=keep\r\n"
            "\r\n"
            "[system]\r\n"
            "  sn = NEW\r\n"
            "not a key line\r\n"
            "[broken\r\n"
            "=no name\r\n"
            "Tail=1");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), "NEW");
  EXPECT_EQ(ReadIniValue(file_, "Other", "SN"), "keep");
  EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(IniFileTest, WritingAnEmptyValueKeepsTheKey) {
  Store("[SYSTEM]\nSN=12345\nNext=2\n");
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", ""));
  EXPECT_EQ(Load(), "[SYSTEM]\nSN=\nNext=2\n");
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), "");
}

TEST_F(IniFileTest, AddsAKeyAfterTheLastKeyOfTheFirstMatchingSection) {
  Store(
      "[SYSTEM]\r\n"
      "A=1\r\n"
      "B=2\r\n"
      "\r\n"
      "; about the next section\r\n"
      "[NEXT]\r\n"
      "C=3\r\n"
      "[system]\r\n"
      "D=4\r\n");
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "X1"));
  EXPECT_EQ(Load(),
            "[SYSTEM]\r\n"
            "A=1\r\n"
            "B=2\r\n"
            "SN=X1\r\n"
            "\r\n"
            "; about the next section\r\n"
            "[NEXT]\r\n"
            "C=3\r\n"
            "[system]\r\n"
            "D=4\r\n");
}

TEST_F(IniFileTest, AddsAKeyToAnEmptySectionOnTheLastLine) {
  Store("[Other]\nX=1\n[SYSTEM]");
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "7"));
  EXPECT_EQ(Load(), "[Other]\nX=1\n[SYSTEM]\nSN=7\n");
}

TEST_F(IniFileTest, AddsTheSectionAtTheEnd) {
  Store("[Other]\r\nX=1");
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "7"));
  EXPECT_EQ(Load(), "[Other]\r\nX=1\r\n\r\n[SYSTEM]\r\nSN=7\r\n");

  Store("; only a comment\n\n");
  ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", "8"));
  EXPECT_EQ(Load(), "; only a comment\n\n[SYSTEM]\nSN=8\n");
}

TEST_F(IniFileTest, ValuesReadBackAsWritten) {
  for (const std::string value : {" padded ", "\"quoted\"", "'single'", "a=b;c", "\"", "ÄÖÜ"}) {
    ASSERT_TRUE(WriteIniValue(file_, "SYSTEM", "SN", value)) << value;
    EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), value);
  }
}

TEST_F(IniFileTest, RefusesWhatCannotBeStoredAndLeavesTheFileAlone) {
  const std::string before = "[SYSTEM]\nSN=1\n";
  Store(before);
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", "SN", "2\n[EVIL]\nX=1"));
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", "SN", std::string("2\0 3", 4)));
  EXPECT_FALSE(WriteIniValue(file_, "SYS]TEM", "SN", "2"));
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", "S=N", "2"));
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", " ", "2"));
  EXPECT_FALSE(WriteIniValue(file_, "", "SN", "2"));
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", ";SN", "2"));
  EXPECT_EQ(Load(), before);
  EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNotReplaced) {
  fs::create_directory(file_);  // something unreadable where the file belongs
  EXPECT_EQ(ReadIniValue(file_, "SYSTEM", "SN"), std::nullopt);
  EXPECT_FALSE(WriteIniValue(file_, "SYSTEM", "SN", "1"));
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST(IniText, SetAndGetWorkOnText) {
  EXPECT_EQ(SetIniValue("", "SYSTEM", "SN", "1"), "[SYSTEM]\nSN=1\n");
  EXPECT_EQ(SetIniValue("[SYSTEM]\nSN=1\n", "SYSTEM", "SN", "1"), "[SYSTEM]\nSN=1\n");
  EXPECT_EQ(SetIniValue("[SYSTEM]\nSN=\n", "SYSTEM", "SN", "22"), "[SYSTEM]\nSN=22\n");
  EXPECT_EQ(GetIniValue("[SYSTEM]\nSN\t=\t\"\"\n", "SYSTEM", "SN"), "");
  EXPECT_EQ(GetIniValue("[SYSTEM]\r\nSN=1\r\r\n", "SYSTEM", "SN"), "1");
  EXPECT_EQ(SetIniValue("[SYSTEM]\nSN=1\n", "SYSTEM", "SN", "2\r"), std::nullopt);
}

}  // namespace
}  // namespace dravlopro
