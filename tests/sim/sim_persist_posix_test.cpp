// A damaged saved target is refused before any memory is set aside for it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "sim/sim_target.h"
#include "tests/support/sanitizer.h"

namespace dravlopro::sim {
namespace {

using testing::kAddressSanitizer;

std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

TEST(SavedTarget, HugeSizesWithoutTheirBytesAreRefusedWithoutAllocating) {
  if (kAddressSanitizer)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the test allows";
  // 511 MB of flash and 512 MB of SRAM, and not one byte of either.
  std::string config;
  for (std::uint32_t v : {0x1FF00000u, 1024u, 0u, 0x20080000u, 0x0BC11477u, 0u, 0u, 1u}) {
    config += Le32(v);
  }
  const std::string saved = std::string("DRAVLOPRO-SIM 1\n") + "\x06" + "config" +
                            Le32(static_cast<std::uint32_t>(config.size())) + config;
  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{256u << 20, 256u << 20};  // far below what the sizes ask for
    setrlimit(RLIMIT_DATA, &limit);
    SimTarget target;
    _exit(target.LoadSaved(saved) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace dravlopro::sim
