// A trace that cannot be read to its end is not replayed as far as it
// could be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/shell_run.h"
#include "tests/support/sanitizer.h"

namespace dravlopro::testing {
namespace {

TEST(ReplayOfAnUnreadableTrace, ALineTooLongForMemoryGives91) {
  // AddressSanitizer's programs need more address space than the limit.
  if (kAddressSanitizer) GTEST_SKIP() << "the test limits the address space";
  const std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / ("long-line-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  // A whole recorded run, then a line of a gigabyte (a hole: no disk used)
  // that the replay cannot hold in the memory it is given.
  const std::filesystem::path file = folder / "trace.jsonl";
  std::filesystem::copy_file(DRAVLOPRO_SOURCE_DIR "/tests/golden/traces/locked.jsonl", file);
  std::filesystem::resize_file(file, std::filesystem::file_size(file) + (std::uintmax_t{1} << 30));
  const ShellOutcome o =
      RunShell("cd '" DRAVLOPRO_SOURCE_DIR
               "' && ulimit -v 400000 && timeout 20 " DRAVLOPRO_SIM_BINARY " --replay '" +
               file.string() + "' -rob 2>&1 >/dev/null");
  EXPECT_EQ(o.status, 91);
  EXPECT_EQ(o.out, "dravlopro-sim: cannot read the trace " + file.string() + " to its end\n");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace dravlopro::testing
