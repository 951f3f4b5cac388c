#include "settings/ini_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace dravlopro {
namespace {

namespace fs = std::filesystem;

class IniSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("dravlopro-settings-") + info->name() + "-" +
                                        std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static void Store(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
  }
  static std::string Load(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
};

TEST_F(IniSettingsTest, SettingsPathIsInItsOwnFolderWhichIsCreated) {
  const fs::path base = dir_ / "home" / ".config";  // not there yet
  IniSettingsStore store(base);
  fs::path path = "stale";
  ASSERT_TRUE(store.GetSettingsPath(path));
  EXPECT_EQ(path, base / "Vexa Dravlo Pro Commander" / "config.ini");
  EXPECT_TRUE(fs::is_directory(base / "Vexa Dravlo Pro Commander"));
  EXPECT_FALSE(fs::exists(path));

  // A second run finds the folder there and gets the same path.
  fs::path again;
  ASSERT_TRUE(store.GetSettingsPath(again));
  EXPECT_EQ(again, path);
}

TEST_F(IniSettingsTest, AFolderThatCannotBeCreatedStillGivesThePath) {
  Store(dir_ / "file", "");
  IniSettingsStore store(dir_ / "file");
  fs::path path;
  ASSERT_TRUE(store.GetSettingsPath(path));
  EXPECT_EQ(path, dir_ / "file" / "Vexa Dravlo Pro Commander" / "config.ini");
  EXPECT_EQ(store.ReadSn(path), L"");
  EXPECT_FALSE(store.WriteSn(path, L"1"));
}

TEST_F(IniSettingsTest, WithoutABaseFolderNothingIsReadOrWritten) {
  IniSettingsStore store{fs::path()};
  fs::path path = "stale";
  EXPECT_FALSE(store.GetSettingsPath(path));
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(store.ReadSn(path), L"");
  EXPECT_FALSE(store.WriteSn(path, L"12345"));
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(IniSettingsTest, WritesAndReadsTheSerialNumber) {
  IniSettingsStore store(dir_);
  fs::path path;
  ASSERT_TRUE(store.GetSettingsPath(path));
  EXPECT_EQ(store.ReadSn(path), L"");  // no file yet

  ASSERT_TRUE(store.WriteSn(path, L"5A7C9"));
  EXPECT_EQ(Load(path), "[SYSTEM]\nSN=5A7C9\n");
  EXPECT_EQ(store.ReadSn(path), L"5A7C9");

  ASSERT_TRUE(store.WriteSn(path, L""));
  EXPECT_EQ(Load(path), "[SYSTEM]\nSN=\n");
  EXPECT_EQ(store.ReadSn(path), L"");
}

TEST_F(IniSettingsTest, KeepsTheRestOfAnExistingFile) {
  const fs::path path = dir_ / "config.ini";
  Store(path, "; by hand\r\n[Window]\r\nX=10\r\n[system]\r\nsn = \"ab12\" \r\nOther=1\r\n");
  IniSettingsStore store(dir_);
  EXPECT_EQ(store.ReadSn(path), L"ab12");
  ASSERT_TRUE(store.WriteSn(path, L"AB12CD34EF"));
  EXPECT_EQ(Load(path),
            "; by hand\r\n[Window]\r\nX=10\r\n[system]\r\nsn = AB12CD34EF\r\nOther=1\r\n");
  EXPECT_EQ(store.ReadSn(path), L"AB12CD34EF");
}

TEST_F(IniSettingsTest, ValuesAreUtf8AndCutTo255Characters) {
  const fs::path path = dir_ / "config.ini";
  IniSettingsStore store(dir_);
  ASSERT_TRUE(store.WriteSn(path, L"\u00C4B\u20AC"));
  EXPECT_EQ(Load(path),
            "[SYSTEM]\nSN=\xC3\x84"
            "B\xE2\x82\xAC\n");
  EXPECT_EQ(store.ReadSn(path), L"\u00C4B\u20AC");

  Store(path, "[SYSTEM]\nSN=" + std::string(300, '7') + "\n");
  EXPECT_EQ(store.ReadSn(path), std::wstring(255, L'7'));

  // A zero ends the value, as it ends a C string.
  ASSERT_TRUE(store.WriteSn(path, std::wstring(L"12\0"
                                               L"34",
                                               5)));
  EXPECT_EQ(store.ReadSn(path), L"12");
}

}  // namespace
}  // namespace dravlopro
