#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/probe/probe_bench.h"

namespace dravlopro {
namespace {

using probetest::BlockRead;
using probetest::ConnectAndReadyRequests;
using probetest::Join;
using probetest::kStatusRead;
using probetest::kSuccess;
using probetest::RequestsAre;
using probetest::TargetBench;
using probetest::TarWrite;

constexpr std::uint32_t kSram = 0x20000000;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh directory for the dump files of one test.
struct ScratchDir {
  ScratchDir() {
    path = std::filesystem::temp_directory_path() /
           ("dravlopro-probe-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

TEST(MemoryCommands, R32PrintsFourWordsPerLine) {
  TargetBench bench;
  const std::uint32_t words[] = {0x00000001, 0xDEADBEEF, 0x0000ABCD, 0x80000000, 0x12345678};
  for (std::uint32_t i = 0; i < 5; ++i) bench.chip().SetSramWord(kSram + 4 * i, words[i]);
  EXPECT_EQ(bench.Run({"-r32", "0x20000000", "5"}), 0);
  EXPECT_EQ(bench.output(),
            "This Dravlo Pro/Lite Ver:2.0.0, ID=0 (Setting comes from default value).\n"
            "0x20000000:  00000001 DEADBEEF 0000ABCD 80000000 \r\n"
            "0x20000010:  12345678 \n" +
                kSuccess);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  {TarWrite(kSram), BlockRead(5), kStatusRead}})));

  EXPECT_EQ(bench.Run({"-r32", "0x20000010", "4"}), 0);
  EXPECT_EQ(bench.CommandOutput(),
            "0x20000010:  12345678 00000000 00000000 00000000 \n" + kSuccess);
  EXPECT_EQ(bench.Run({"-r32", "536870912", "1"}), 0);
  EXPECT_EQ(bench.CommandOutput(), "0x20000000:  00000001 \n" + kSuccess);
}

TEST(MemoryCommands, R32QuietReadsButPrintsNothing) {
  TargetBench bench;
  EXPECT_EQ(bench.Run({"-q", "-r32", "0x20000000", "5"}), 0);
  EXPECT_EQ(bench.output(), "");
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  {TarWrite(kSram), BlockRead(5), kStatusRead}})));
}

TEST(MemoryCommands, R32Failures) {
  TargetBench bench;
  // Parameters are converted after the connection.
  EXPECT_EQ(bench.Run({"-r32", "0x2000000G", "4"}), 1);
  EXPECT_TRUE(RequestsAre(bench.Requests(), ConnectAndReadyRequests()));
  EXPECT_EQ(bench.Run({"-r32", "0x20000000", "four"}), 1);

  // A buffer larger than the address space is never asked for.
  EXPECT_EQ(bench.Run({"-r32", "0x20000000", "0xFFFFFFFF"}), 5);
  EXPECT_TRUE(RequestsAre(bench.Requests(), ConnectAndReadyRequests()));
  EXPECT_EQ(bench.Run({"-r32", "0", "0x40000001"}), 5);
  EXPECT_TRUE(RequestsAre(bench.Requests(), ConnectAndReadyRequests()));

  // A bus fault past the end of SRAM.
  const std::uint32_t sramEnd = kSram + bench.chip().config().sramSize;
  EXPECT_EQ(bench.Run({"-r32", Format("0x%08X", sramEnd - 8), "4"}), 5);
  EXPECT_EQ(bench.CommandOutput(),
            "Process: -r32 (Fail)\n"
            "Result: Can't read memory from the specified memory address.\n");

  // Nothing read, nothing printed but the line end.
  EXPECT_EQ(bench.Run({"-r32", "0x20000000", "0"}), 0);
  EXPECT_TRUE(RequestsAre(bench.Requests(), ConnectAndReadyRequests()));
  EXPECT_EQ(bench.CommandOutput(), "\n" + kSuccess);

  TargetBench unreachable;
  unreachable.faults().noTarget = true;
  EXPECT_EQ(unreachable.Run({"-r32", "0xNOTHEX", "4"}), 2);
  EXPECT_EQ(unreachable.Run({"-w32", "0x20000000", "X"}), 2);
  EXPECT_EQ(unreachable.Run({"-dump", "0", "X", "file.bin"}), 2);
  EXPECT_EQ(unreachable.Run({"-se", "ABC"}), 2);
}

TEST(MemoryCommands, DumpWritesTheWordsAsLittleEndianBytes) {
  ScratchDir dir;
  TargetBench bench;
  bench.chip().SetSramWord(kSram, 0x04030201);
  bench.chip().SetSramWord(kSram + 4, 0x08070605);
  bench.chip().SetSramWord(kSram + 8, 0xDDCCBBAA);
  // The file name is taken as typed, letter case and all.
  const std::filesystem::path file = dir.path / "Dump.Bin";
  EXPECT_EQ(bench.Run({"-dump", "0x20000000", "3", file.string()}), 0);
  EXPECT_EQ(ReadFile(file), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\xAA\xBB\xCC\xDD", 12));
  EXPECT_EQ(bench.CommandOutput(), kSuccess);
  // Nothing else is left in the directory.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                          std::filesystem::directory_iterator()),
            1);

  // An existing file is replaced.
  EXPECT_EQ(bench.Run({"-dump", "0x20000004", "1", file.string()}), 0);
  EXPECT_EQ(ReadFile(file), std::string("\x05\x06\x07\x08", 4));
  // Zero words: an empty file.
  EXPECT_EQ(bench.Run({"-dump", "0x20000004", "0", file.string()}), 0);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(ReadFile(file), "");
}

TEST(MemoryCommands, DumpFailuresLeaveExistingFilesAlone) {
  ScratchDir dir;
  TargetBench bench;
  const std::filesystem::path file = dir.path / "keep.bin";
  std::ofstream(file, std::ios::binary) << "precious";

  // A read failure leaves the file exactly as it was.
  bench.faults().accessFaults.push_back({{kSram + 0x40, kSram + 0x40}, sim::ack::kFault});
  EXPECT_EQ(bench.Run({"-dump", "0x20000000", "20", file.string()}), 5);
  EXPECT_EQ(ReadFile(file), "precious");
  EXPECT_EQ(bench.Run({"-dump", "0x20000000", "0xFFFFFFFF", file.string()}), 5);
  EXPECT_EQ(ReadFile(file), "precious");

  // A file that cannot be created: the memory is read first, then 20.
  bench.faults().accessFaults.clear();
  const std::filesystem::path nowhere = dir.path / "missing" / "dump.bin";
  EXPECT_EQ(bench.Run({"-dump", "0x20000000", "4", nowhere.string()}), 20);
  EXPECT_TRUE(RequestsAre(bench.Requests(), Join({ConnectAndReadyRequests(),
                                                  {TarWrite(kSram), BlockRead(4), kStatusRead}})));
  EXPECT_FALSE(std::filesystem::exists(nowhere));
  EXPECT_EQ(bench.CommandOutput(),
            "Process: -dump (Fail)\n"
            "Result: There was an error in file access. Please confirm that the file path is "
            "correct and that the file exists.\n");

  // A directory in the way of the file.
  EXPECT_EQ(bench.Run({"-dump", "0x20000000", "4", dir.path.string()}), 20);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path));
}

}  // namespace
}  // namespace dravlopro
