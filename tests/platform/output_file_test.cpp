// An output file whose bytes are not in place yet, when it is given up or
// finished, and destinations that cannot be opened. What a stop signal does
// is in output_file_posix_test.cpp.

#include "platform/output_file.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/platform/output_file_writes.h"

namespace dravlopro {
namespace {

namespace fs = std::filesystem;
using platform::OutputFile;
using testing::ScratchDir;

using testing::Names;
using testing::WriteText;

TEST(OutputFileStop, FileGivenUpBeforeItIsDoneLeavesTheDestinationAsItWas) {
  ScratchDir dir;
  const fs::path file = dir.Write("dump.bin", "old bytes");
  {
    OutputFile out(file);
    ASSERT_TRUE(out.is_open());
    EXPECT_TRUE(WriteText(out, "new"));
  }
  EXPECT_EQ(ScratchDir::Read(file), "old bytes");
  {
    OutputFile out(dir.path() / "new.bin");
    ASSERT_TRUE(out.is_open());
    EXPECT_TRUE(WriteText(out, "new"));
  }
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dump.bin"});

  // Once done, it takes nothing more.
  OutputFile out(file);
  EXPECT_TRUE(WriteText(out, "done"));
  EXPECT_TRUE(out.Commit());
  EXPECT_FALSE(WriteText(out, "more"));
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(ScratchDir::Read(file), "done");
}

TEST(OutputFileOpen, FoldersAndNamesInMissingFoldersAreNotOpened) {
  ScratchDir dir;
  fs::create_directories(dir.path() / "folder");
  for (const fs::path& name : {dir.path() / "folder", dir.path() / "none" / "file.bin"}) {
    OutputFile out(name);
    EXPECT_FALSE(out.is_open()) << name;
    EXPECT_FALSE(WriteText(out, "bytes")) << name;
    EXPECT_FALSE(out.Commit()) << name;
  }
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"folder"});
  EXPECT_TRUE(Names(dir.path() / "folder").empty());
}

TEST(OutputFileOpen, NothingWrittenStillReplacesTheFileWithAnEmptyOne) {
  ScratchDir dir;
  const fs::path file = dir.Write("dump.bin", "old bytes");
  OutputFile out(file);
  ASSERT_TRUE(out.is_open());
  EXPECT_TRUE(out.Commit());
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(ScratchDir::Read(file), "");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dump.bin"});
}

}  // namespace
}  // namespace dravlopro
