// File names are bytes on POSIX systems: the tool opens exactly the bytes it
// was given, UTF-8 or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/harness.h"
#include "tests/shell_run.h"

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Latin-1 "é", which is no UTF-8.
const std::string kLatin1 = "\xE9";

int SimIn(const ScratchDir& scratch, const std::string& words) {
  return RunShell("cd '" + scratch.path().string() + "' && DRAVLOPRO_SIM_DIR=bench " +
                  DRAVLOPRO_SIM_BINARY " -q " + words + " </dev/null 2>&1")
      .status;
}

TEST(FileNameBytes, AnImageNamedInAnotherEncodingIsProgrammed) {
  const ScratchDir scratch;
  std::ofstream(scratch.path() / fs::path("app" + kLatin1 + ".bin")) << "ZZZZZZZZ";
  EXPECT_EQ(SimIn(scratch, "-a 'app" + kLatin1 + ".bin'"), 0);
}

TEST(FileNameBytes, ADumpNamedInAnotherEncodingIsWrittenUnderThatName) {
  const ScratchDir scratch;
  EXPECT_EQ(SimIn(scratch, "-dump 0x20000000 1 'out" + kLatin1 + ".bin'"), 0);
  EXPECT_TRUE(fs::exists(scratch.path() / fs::path("out" + kLatin1 + ".bin")));
  EXPECT_FALSE(fs::exists(scratch.path() / fs::path("out\xC3\xA9.bin")));
}

}  // namespace
}  // namespace dravlopro
