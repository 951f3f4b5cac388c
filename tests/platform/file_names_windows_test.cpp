// File names as they are typed on Windows, for -a, -v and -dump: characters
// outside ASCII, backslashes, drive letters, relative names, the null device,
// and files that are there already, read-only or held open.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro::testing {
namespace {

namespace fs = std::filesystem;

const std::string kFileFailure =
    "Result: There was an error in file access. Please confirm that the file path is correct and "
    "that the file exists.\n";

// Runs in a scratch folder, for names relative to it.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : before_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(before_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  fs::path before_;
};

class FileNamesTest : public ::testing::Test {
 protected:
  FileNamesTest() : adapter_(bench_.hid.AddAdapter(L"12345", "2.0.0")) {}

  // A command line in wide words, as the system hands it over.
  int Run(const std::vector<std::wstring>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    argv.insert(argv.end(), words.begin(), words.end());
    bench_.console.out.clear();
    bench_.hid.trace.clear();
    const Environment environment{bench_.hid, bench_.clock, bench_.settings, bench_.console,
                                  bench_.errors};
    return RunDriver(argv, environment);
  }

  // A 16-byte image under this name, programmed with -a, verified with -v
  // and read back with -dump into `dump`.
  void ProgramVerifyAndDump(const std::wstring& image, const std::wstring& dump,
                            const fs::path& imageFile, const fs::path& dumpFile) {
    std::string bytes;
    for (int i = 0; i < 16; ++i) bytes += static_cast<char>(0xA0 + i + seed_);
    ++seed_;
    fs::create_directories(imageFile.parent_path());
    std::ofstream(imageFile, std::ios::binary) << bytes;
    EXPECT_EQ(Run({L"-a", image, L"-v", image, L"-dump", L"0", L"4", dump}), 0);
    EXPECT_EQ(bench_.output(), kDefaultSelection + kSuccess);
    EXPECT_EQ(ScratchDir::Read(dumpFile), bytes);
  }

  Bench bench_;
  sim::SimAdapter& adapter_;
  ScratchDir dir_;
  int seed_ = 0;
};

TEST_F(FileNamesTest, NamesOutsideAsciiAreTheCharactersTyped) {
  // a-umlaut, b, c, sharp s; a CJK character; an emoji, two UTF-16 units.
  const std::wstring image = L"\u00E4bc\u00DF \u4E2D\U0001F600.bin";
  const std::wstring dump = L"d\u00FCmp \u4E2D\U0001F600.bin";
  const fs::path folder = dir_.path();
  ProgramVerifyAndDump((folder / image).native(), (folder / dump).native(), folder / image,
                       folder / dump);
  EXPECT_EQ(FolderNames(folder),
            (std::vector<std::string>{Utf8Name(fs::path(dump)), Utf8Name(fs::path(image))}));
}

TEST_F(FileNamesTest, FullNamesWithADriveLetterAndEitherSlash) {
  const std::wstring folder = fs::absolute(dir_.path()).native();
  ASSERT_GE(folder.size(), 3u);
  ASSERT_EQ(folder.substr(1, 2), L":\\");  // a drive letter
  ProgramVerifyAndDump(folder + L"\\sub\\app.bin", folder + L"\\sub\\dump.bin",
                       dir_.path() / "sub" / "app.bin", dir_.path() / "sub" / "dump.bin");
  std::wstring forward = folder;
  for (wchar_t& c : forward) {
    if (c == L'\\') c = L'/';
  }
  ProgramVerifyAndDump(forward + L"/sub/app.bin", forward + L"/sub/dump2.bin",
                       dir_.path() / "sub" / "app.bin", dir_.path() / "sub" / "dump2.bin");
  // Doubled backslashes and dots in between name the same files.
  ProgramVerifyAndDump(folder + L"\\sub\\\\.\\app.bin", folder + L"\\sub\\..\\sub\\dump3.bin",
                       dir_.path() / "sub" / "app.bin", dir_.path() / "sub" / "dump3.bin");
  EXPECT_EQ(FolderNames(dir_.path() / "sub"),
            (std::vector<std::string>{"app.bin", "dump.bin", "dump2.bin", "dump3.bin"}));
}

TEST_F(FileNamesTest, RelativeNamesStartAtTheCurrentFolder) {
  fs::create_directories(dir_.path() / "work");
  InFolder here(dir_.path() / "work");
  ProgramVerifyAndDump(L"app.bin", L"dump.bin", dir_.path() / "work" / "app.bin",
                       dir_.path() / "work" / "dump.bin");
  ProgramVerifyAndDump(L"images\\app.bin", L".\\images\\dump.bin",
                       dir_.path() / "work" / "images" / "app.bin",
                       dir_.path() / "work" / "images" / "dump.bin");
  ProgramVerifyAndDump(L"..\\up.bin", L"..\\work\\..\\updump.bin", dir_.path() / "up.bin",
                       dir_.path() / "updump.bin");
  // The drive's own current folder, after the drive letter.
  const std::wstring drive = fs::current_path().native().substr(0, 2);
  ProgramVerifyAndDump(drive + L"images\\drive.bin", drive + L"drivedump.bin",
                       dir_.path() / "work" / "images" / "drive.bin",
                       dir_.path() / "work" / "drivedump.bin");
}

TEST_F(FileNamesTest, DumpReplacesAnExistingFileEntirely) {
  adapter_.target.chip.SetSramWord(0x20000000, 0x44434241);
  const fs::path file = dir_.Write("dump.bin", std::string(5000, 'x'));
  EXPECT_EQ(Run({L"-dump", L"0x20000000", L"1", file.native()}), 0);
  EXPECT_EQ(ScratchDir::Read(file), "ABCD");
  EXPECT_EQ(FolderNames(dir_.path()), std::vector<std::string>{"dump.bin"});
}

TEST_F(FileNamesTest, DumpIntoTheNullDeviceWorksAndMakesNoFile) {
  InFolder here(dir_.path());
  for (const wchar_t* device : {L"NUL", L"nul", L"\\\\.\\NUL"}) {
    SCOPED_TRACE(Utf8Name(fs::path(device)));
    EXPECT_EQ(Run({L"-dump", L"0x20000000", L"64", device}), 0);
    EXPECT_EQ(bench_.output(), kDefaultSelection + kSuccess);
  }
  EXPECT_TRUE(FolderNames(dir_.path()).empty());
}

TEST_F(FileNamesTest, AReadOnlyFileIsRefusedAndKept) {
  const fs::path file = dir_.Write("readonly.bin", "precious");
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  // Windows refuses to open a read-only file for writing; Wine run by root
  // does not, and the tool cannot be refused what the system allows.
  const HANDLE probe = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this system opens read-only files for writing";
  }
  EXPECT_EQ(Run({L"-dump", L"0x20000000", L"4", file.native()}), 20);
  EXPECT_EQ(bench_.output(), kDefaultSelection + "Process: -dump (Fail)\n" + kFileFailure);
  EXPECT_EQ(ScratchDir::Read(file), "precious");
  EXPECT_EQ(FolderNames(dir_.path()), std::vector<std::string>{"readonly.bin"});
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A program reading the file holds it open without letting it be replaced:
// the new bytes are written into the file itself.
TEST_F(FileNamesTest, AFileAnotherProgramHoldsOpenIsWrittenInPlace) {
  adapter_.target.chip.SetSramWord(0x20000000, 0x44434241);
  const fs::path file = dir_.Write("dump.bin", "old content, longer");
  std::ifstream reader(file, std::ios::binary);
  ASSERT_TRUE(reader.is_open());
  EXPECT_EQ(Run({L"-dump", L"0x20000000", L"1", file.native()}), 0);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "ABCD");
  EXPECT_EQ(ScratchDir::Read(file), "ABCD");
  EXPECT_EQ(FolderNames(dir_.path()), std::vector<std::string>{"dump.bin"});
}

TEST_F(FileNamesTest, MissingImagesAndFoldersFailAsFileErrors) {
  for (const std::wstring& name :
       {(dir_.path() / L"\u00E4bsent.bin").native(), (dir_.path() / L"none\\app.hex").native(),
        dir_.path().native()}) {
    SCOPED_TRACE(Utf8Name(fs::path(name)));
    EXPECT_EQ(Run({L"-a", name}), 20);
    EXPECT_EQ(bench_.output(), kDefaultSelection + "Process: -a (Fail)\n" + kFileFailure);
  }
  EXPECT_EQ(Run({L"-dump", L"0x20000000", L"1", (dir_.path() / L"none\\d.bin").native()}), 20);
  EXPECT_TRUE(FolderNames(dir_.path()).empty());
}

}  // namespace
}  // namespace dravlopro::testing
