// Shared files on Windows, against readers that open files the C runtime's
// way: without sharing deletion, which no replacement can get past.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/shared_file.h"
#include "tests/harness.h"

namespace dravlopro::platform {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

std::size_t Entries(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(SharedFileOnWindows, AReaderThatForbidsTheReplacementIsWaitedForABitThenItFails) {
  ScratchDir dir;
  const fs::path file = dir.Write("state.bin", "old");
  {
    std::ifstream reader(file, std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReplaceSharedFile(file, "new"));
    // It tried again for a while before it gave up, but not for long.
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old");
  }
  EXPECT_EQ(ScratchDir::Read(file), "old");
  EXPECT_EQ(Entries(dir.path()), 1u);  // no temporary file left
}

TEST(SharedFileOnWindows, AReaderThatLetsGoWhileTheReplacementWaitsLetsItThrough) {
  ScratchDir dir;
  const fs::path file = dir.Write("state.bin", "old");
  auto reader = std::make_unique<std::ifstream>(file, std::ios::binary);
  ASSERT_TRUE(reader->is_open());
  std::thread closer([&reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader.reset();
  });
  EXPECT_TRUE(ReplaceSharedFile(file, "new"));
  closer.join();
  EXPECT_EQ(ScratchDir::Read(file), "new");
  EXPECT_EQ(Entries(dir.path()), 1u);
}

}  // namespace
}  // namespace dravlopro::platform
