// Where "-dump" puts its bytes, on every system: new names, files that are
// there already, files with two names, and a memory read that fails. Links,
// permissions, FIFOs and devices are in dump_destination_posix_test.cpp.

#include "tests/platform/dump_destination.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/probe/probe_bench.h"

namespace dravlopro::probetest {
namespace {

namespace fs = std::filesystem;
using testing::FolderNames;
using testing::ScratchDir;

TEST(DumpDestinations, NewAndExistingFilesAreReplacedWhole) {
  ScratchDir dir;
  TargetBench bench;
  const std::string first = FillSram(bench, 5);
  const fs::path file = dir.path() / "dump.bin";
  EXPECT_EQ(bench.Run(DumpTo(file, 5)), 0);
  EXPECT_EQ(ScratchDir::Read(file), first);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"dump.bin"});

  // A shorter dump over it leaves nothing of the old bytes.
  const std::string second = FillSram(bench, 3, 0xA0B0C0D0);
  EXPECT_EQ(bench.Run(DumpTo(file, 3)), 0);
  EXPECT_EQ(ScratchDir::Read(file), second);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"dump.bin"});
  EXPECT_EQ(bench.CommandOutput(), testing::kSuccess);
}

TEST(DumpDestinations, AFileWithTwoNamesIsWrittenInPlace) {
  ScratchDir dir;
  TargetBench bench;
  const std::string bytes = FillSram(bench, 2);
  // Both names keep naming the same, new bytes.
  const fs::path one = dir.Write("one.bin", "a longer old content");
  fs::create_hard_link(one, dir.path() / "two.bin");
  EXPECT_EQ(bench.Run(DumpTo(one, 2)), 0);
  EXPECT_EQ(ScratchDir::Read(one), bytes);
  EXPECT_EQ(ScratchDir::Read(dir.path() / "two.bin"), bytes);
  EXPECT_TRUE(fs::equivalent(one, dir.path() / "two.bin"));
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"one.bin", "two.bin"}));
}

TEST(DumpDestinations, FailedReadLeavesFilesAndNewNamesUntouched) {
  ScratchDir dir;
  TargetBench bench;
  FillSram(bench, 20);
  bench.faults().accessFaults.push_back({{kSram + 0x40, kSram + 0x40}, sim::ack::kFault});

  const fs::path file = dir.Write("file.bin", "precious");
  for (const fs::path& destination : {file, dir.path() / "new.bin"}) {
    EXPECT_EQ(bench.Run(DumpTo(destination, 20)), 5) << destination;
  }
  EXPECT_EQ(ScratchDir::Read(file), "precious");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"file.bin"});
}

TEST(DumpDestinations, RefusedDestinationsNameTheReasonOnStandardError) {
  ScratchDir dir;
  TargetBench bench;
  FillSram(bench, 2);
  const fs::path nowhere = dir.path() / "missing" / "dump.bin";
  EXPECT_EQ(bench.Run(DumpTo(nowhere, 2)), 20);
  EXPECT_EQ(bench.CommandOutput(), kFileFailure);
  EXPECT_EQ(bench.errorOutput(),
            "dravlopro: " + testing::Utf8Name(nowhere) + ": No such file or directory\n");
  EXPECT_EQ(bench.Run(DumpTo(dir.path(), 2)), 20);
  EXPECT_EQ(bench.errorOutput().rfind("dravlopro: " + testing::Utf8Name(dir.path()) + ": ", 0), 0u)
      << bench.errorOutput();
}

}  // namespace
}  // namespace dravlopro::probetest
