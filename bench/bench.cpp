// Dumps 64 KB and 256 KB of simulated SRAM through the whole tool and
// reports the exchanges made and the host CPU time per exchange. The count of
// the dump's own exchanges is checked against what the block reads must cost:
// per piece of at most 256 words, one TAR write, one block read per 14 words
// and one status read.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/harness.h"

namespace {

using dravlopro::Report;

constexpr std::uint32_t kSramBase = 0x20000000;
constexpr std::uint32_t kPieceWords = 256;
constexpr std::uint32_t kBlockWords = 14;
constexpr int kRepeats = 5;

struct Count {
  std::size_t versionReads = 0;  // DAP_Info, one per command word
  std::size_t connectReady = 0;  // the link set-up and the readiness check
  std::size_t dump = 0;          // from the first TAR write of the dump on
  std::size_t indicatorOff = 0;  // the end of the run
};

bool IsTarWrite(const Report& r, std::uint32_t address) {
  return r[1] == 0x05 && r[3] == 1 && r[4] == 0x05 && dravlopro::GetLe32(&r[5]) == address;
}

Count Classify(const std::vector<dravlopro::sim::TraceEntry>& trace) {
  Count count;
  bool inDump = false;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const Report& r = trace[i].request;
    if (r[1] == 0x00) {
      ++count.versionReads;
    } else if (i + 1 == trace.size() && r[1] == 0x01 && r[3] == 0) {
      ++count.indicatorOff;
    } else {
      inDump = inDump || IsTarWrite(r, kSramBase);
      ++(inDump ? count.dump : count.connectReady);
    }
  }
  return count;
}

std::size_t ExpectedDumpExchanges(std::uint32_t words) {
  std::size_t total = 0;
  for (std::uint32_t done = 0; done < words; done += kPieceWords) {
    const std::uint32_t piece = std::min(kPieceWords, words - done);
    total += 1 + (piece + kBlockWords - 1) / kBlockWords + 1;
  }
  return total;
}

}  // namespace

int main() {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "dravlopro-bench-dump.bin";
  std::printf("%-7s %7s %7s %9s %9s %9s %6s %10s %12s\n", "size", "words", "pieces", "connect",
              "dump", "expected", "other", "cpu ms", "us/exchange");
  bool allGood = true;
  for (const std::uint32_t bytes : {64u * 1024u, 256u * 1024u}) {
    const std::uint32_t words = bytes / 4;
    double bestCpuMs = 0;
    Count count;
    std::size_t total = 0;
    int exitCode = 0;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
      dravlopro::testing::Bench bench;
      dravlopro::sim::SimConfig config;
      config.sramSize = bytes;
      bench.hid.AddAdapter(L"12345").target.Configure(config);
      const std::clock_t start = std::clock();
      exitCode = bench.Run({"-q", "-dump", "0x20000000", std::to_string(words), file.string()});
      const double cpuMs = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      if (repeat == 0 || cpuMs < bestCpuMs) bestCpuMs = cpuMs;
      count = Classify(bench.hid.trace);
      total = bench.hid.trace.size();
    }
    const std::size_t expected = ExpectedDumpExchanges(words);
    const bool good =
        exitCode == 0 && count.dump == expected && std::filesystem::file_size(file) == bytes;
    allGood = allGood && good;
    std::printf("%-7s %7u %7u %9zu %9zu %9zu %6zu %10.2f %12.3f%s\n",
                (std::to_string(bytes / 1024) + " KB").c_str(), words,
                (words + kPieceWords - 1) / kPieceWords, count.connectReady, count.dump, expected,
                count.versionReads + count.indicatorOff, bestCpuMs,
                1000.0 * bestCpuMs / static_cast<double>(total), good ? "" : "  MISMATCH");
  }
  std::filesystem::remove(file);
  std::printf(
      "connect: link set-up and readiness check; other: version reads and the\n"
      "indicator switch-off; cpu ms: whole run, best of %d; us/exchange over all\n"
      "exchanges of the run.\n",
      kRepeats);
  return allGood ? 0 : 1;
}
