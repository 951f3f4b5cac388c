// A settings file that is not a regular file: no run hangs on it or reads
// it without end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/shell_run.h"
#include "tests/support/sanitizer.h"

namespace dravlopro::testing {
namespace {

class OddSettingsFile : public ::testing::TestWithParam<const char*> {};

TEST_P(OddSettingsFile, ListStillRunsAsWithoutASavedAdapter) {
  const std::filesystem::path bench =
      std::filesystem::path(::testing::TempDir()) / ("odd-settings-" + std::to_string(getpid()));
  std::filesystem::remove_all(bench);
  const std::filesystem::path folder = bench / "Vexa Dravlo Pro Commander";
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / "config.ini";
  if (std::string(GetParam()) == "fifo") {
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  } else {
    std::filesystem::create_symlink("/dev/zero", file);
  }
  // Bounded in time and memory, so that the old behaviour fails rather than
  // hangs (AddressSanitizer's programs need more address space than that).
  const std::string limit = kAddressSanitizer ? "" : "ulimit -v 1000000; ";
  const ShellOutcome o = RunShell(limit + "DRAVLOPRO_SIM_DIR='" + bench.string() +
                                  "' timeout 20 " DRAVLOPRO_SIM_BINARY " -list 2>/dev/null");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("ID:0, SN:SIM00001."), std::string::npos) << o.out;
  std::filesystem::remove_all(bench);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OddSettingsFile, ::testing::Values("fifo", "dev-zero"));

}  // namespace
}  // namespace dravlopro::testing
