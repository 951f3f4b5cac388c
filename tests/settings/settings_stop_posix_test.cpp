// A run stopped while it saves the settings file leaves nothing beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/harness.h"
#include "tests/shell_run.h"

namespace dravlopro::testing {
namespace {

namespace fs = std::filesystem;

TEST(SettingsStop, CtrlCWhileSdevWritesLeavesNoTemporaryFile) {
  if (RunShell("strace -o /dev/null true 2>/dev/null").status != 0) {
    GTEST_SKIP() << "strace is missing or may not trace here (Debian: strace)";
  }
  const ScratchDir scratch;
  const std::string bench = "DRAVLOPRO_SIM_DIR='" + scratch.path().string() + "' ";
  ASSERT_EQ(RunShell(bench + DRAVLOPRO_SIM_BINARY " -q -list").status, 0);
  // Ctrl-C arrives right after the new settings were written to the
  // temporary file, before it takes the place of config.ini.
  const ShellOutcome o =
      RunShell(bench + "strace -o /dev/null -e trace=write -e inject=write:signal=SIGINT:when=1 " +
               DRAVLOPRO_SIM_BINARY " -q -sdev sn=SIM00001 </dev/null 2>/dev/null");
  EXPECT_EQ(o.status, 130);
  std::string left;
  for (const auto& entry : fs::directory_iterator(scratch.path() / "Vexa Dravlo Pro Commander")) {
    left += entry.path().filename().string() + " ";
  }
  EXPECT_EQ(left, "");
}

}  // namespace
}  // namespace dravlopro::testing
