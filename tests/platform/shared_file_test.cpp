// Files that one process replaces while others read them: real files.

#include "platform/shared_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/harness.h"

namespace dravlopro::platform {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

std::vector<std::string> Names(const fs::path& folder) { return testing::FolderNames(folder); }

// Bytes of every value, more than one read takes.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * seed + (i >> 8));
  return bytes;
}

TEST(SharedFile, AReaderKeepsTheWholeOldFileWhileItIsReplaced) {
  ScratchDir dir;
  const fs::path file = dir.path() / "state.bin";
  const std::string before = Pattern(300000, 7);
  const std::string after = Pattern(200000, 11);
  ASSERT_TRUE(ReplaceSharedFile(file, before));
  {
    SharedFileReader reader(file);
    ASSERT_EQ(reader.opened(), SharedRead::Read);
    SharedFileReader second(file);
    ASSERT_EQ(second.opened(), SharedRead::Read);
    EXPECT_TRUE(ReplaceSharedFile(file, after));
    std::string read;
    EXPECT_TRUE(reader.ReadAll(read));
    EXPECT_EQ(read, before);
    // A reader opened now reads the new bytes.
    std::string fresh;
    EXPECT_EQ(ReadSharedFile(file, fresh), SharedRead::Read);
    EXPECT_EQ(fresh, after);
    // Replaced again while both old readers still have files open.
    EXPECT_TRUE(ReplaceSharedFile(file, "third"));
    read.clear();
    EXPECT_TRUE(second.ReadAll(read));
    EXPECT_EQ(read, before);
  }
  EXPECT_EQ(ScratchDir::Read(file), "third");
  // Once the readers are gone, nothing but the file is left.
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"state.bin"});
}

TEST(SharedFile, MissingFilesReadAsMissingAndNewNamesAreCreated) {
  ScratchDir dir;
  const fs::path file = dir.path() / "new.bin";
  std::string read = "kept";
  EXPECT_EQ(ReadSharedFile(file, read), SharedRead::Missing);
  EXPECT_EQ(read, "kept");
  SharedFileReader missing(file);
  EXPECT_EQ(missing.opened(), SharedRead::Missing);
  EXPECT_FALSE(missing.ReadAll(read));

  EXPECT_TRUE(ReplaceSharedFile(file, ""));
  EXPECT_EQ(ReadSharedFile(file, read), SharedRead::Read);
  EXPECT_EQ(read, "kept");  // appended to: nothing
  EXPECT_TRUE(ReplaceSharedFile(file, std::string("a\0b", 3)));
  read.clear();
  EXPECT_EQ(ReadSharedFile(file, read), SharedRead::Read);
  EXPECT_EQ(read, std::string("a\0b", 3));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"new.bin"});
}

TEST(SharedFile, WhatCannotBeWrittenOrReadFailsAndLeavesNothing) {
  ScratchDir dir;
  // No folder to put it in.
  EXPECT_FALSE(ReplaceSharedFile(dir.path() / "none" / "file.bin", "bytes"));
  std::string read;
  EXPECT_NE(ReadSharedFile(dir.path() / "none" / "file.bin", read), SharedRead::Read);
  // A folder is not a file to replace, nor one to read.
  fs::create_directories(dir.path() / "folder");
  EXPECT_FALSE(ReplaceSharedFile(dir.path() / "folder", "bytes"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
  SharedFileReader folder(dir.path() / "folder");
  EXPECT_TRUE(folder.opened() == SharedRead::Failed || !folder.ReadAll(read));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"folder"});
}

}  // namespace
}  // namespace dravlopro::platform
