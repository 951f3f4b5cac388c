// Measures the tool against the simulated bench:
// - "-dump" of 64 KB and 256 KB of SRAM: the exchanges made, checked against
//   what the block reads must cost (per piece of at most 256 words, one TAR
//   write, one block read per 14 words and one status read), and the host CPU
//   time per exchange;
// - loading a 256 KB Intel HEX image: CPU time per MB of HEX text;
// - "-a" of a 1 MB binary and "-v" of a 256 KB image: reports exchanged and
//   host CPU time per report;
// - finding the adapter among 40 other HID devices: platform enumerations and
//   device opens per command;
// - the debugger server: a load of the example through vFlashErase,
//   vFlashWrite and vFlashDone against "-a" of the same image, 100 single
//   steps each with the register read gdb makes, and a 64 KB memory dump in
//   "m" packets, in reports exchanged.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "debug/target.h"
#include "gdb/packet.h"
#include "gdb/session.h"
#include "image/loader.h"
#include "sim/in_process_bench.h"

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

double CpuMs(std::clock_t start) {
  return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  return bytes;
}

// Intel HEX text of the bytes at address 0: 16 bytes a record, with an
// extended linear address record at every 64 KB.
std::string HexText(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char line[64];
  for (std::size_t at = 0; at < bytes.size(); at += 16) {
    if (at % 0x10000 == 0) {
      const unsigned upper = static_cast<unsigned>(at >> 16);
      std::snprintf(line, sizeof line, ":02000004%04X%02X\n", upper,
                    (0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
      text += line;
    }
    unsigned sum = 16 + ((at >> 8) & 0xFF) + (at & 0xFF);
    std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(at & 0xFFFF));
    text += line;
    for (std::size_t i = 0; i < 16; ++i) {
      std::snprintf(line, sizeof line, "%02X", bytes[at + i]);
      text += line;
      sum += bytes[at + i];
    }
    std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\n";
}

bool BenchHexLoad() {
  const std::vector<std::uint8_t> image = Pattern(256 * 1024);
  const std::string text = HexText(image);
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "dravlopro-bench-image.hex";
  std::ofstream(file, std::ios::binary) << text;
  std::vector<std::uint8_t> buffer(dravlopro::kImageBufferSize, 0xFF);
  double best = 0;
  bool good = true;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    dravlopro::ImageState state;
    const std::clock_t start = std::clock();
    const auto result = dravlopro::LoadHexImage(file, buffer, state);
    const double ms = CpuMs(start);
    if (repeat == 0 || ms < best) best = ms;
    good = good && result == dravlopro::HexLoad::Loaded && state.imageSize == image.size() &&
           std::equal(image.begin(), image.end(), buffer.begin());
  }
  std::filesystem::remove(file);
  const double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);
  std::printf("\nHEX load: 256 KB image, %.2f MB of HEX text: %.2f ms, %.2f ms per MB of text%s\n",
              mb, best, best / mb, good ? "" : "  MISMATCH");
  return good;
}

// Runs one command line on a bench with 1 MB of flash and reports the
// reports exchanged and the CPU time per report.
bool BenchImageCommand(const char* label, const std::vector<std::uint8_t>& image,
                       const std::string& fileName, bool preload,
                       const std::vector<std::string>& words, std::size_t expectedPackets) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / fileName;
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  double best = 0;
  std::size_t reports = 0;
  std::size_t packets = 0;
  int exitCode = 0;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    dravlopro::sim::InProcessBench bench;
    dravlopro::sim::SimConfig config;
    config.flashSize = 1024 * 1024;
    dravlopro::sim::SimAdapter& adapter = bench.hid.AddAdapter(L"12345");
    adapter.target.Configure(config);
    if (preload) adapter.target.chip.SetFlashBytes(0, image);
    std::vector<std::string> line = words;
    line.push_back(file.string());
    const std::clock_t start = std::clock();
    exitCode = bench.Run(line);
    const double ms = CpuMs(start);
    if (repeat == 0 || ms < best) best = ms;
    reports = bench.hid.trace.size();
    packets = dravlopro::sim::RequestsWith(bench.hid.trace, 0x81).size();
  }
  std::filesystem::remove(file);
  const bool good = exitCode == 0 && packets == expectedPackets;
  std::printf("%-28s %9zu %9zu %10.2f %12.3f%s\n", label, reports, packets, best,
              1000.0 * best / static_cast<double>(reports), good ? "" : "  MISMATCH");
  return good;
}

// One adapter behind 40 other HID devices (keyboards, mice, ...), as the
// computer lists them: what each command line costs in platform enumerations
// and in opens of the other devices and of the adapter, with a listing that
// shows the IDs (Linux, macOS) and one that does not (Windows).
bool BenchFindingTheAdapter() {
  using Listing = dravlopro::sim::SimBench::Listing;
  constexpr int kOtherDevices = 40;
  std::printf("\nFinding the adapter behind %d other HID devices\n", kOtherDevices);
  std::printf("%-16s %-9s %6s %12s %12s %14s %6s\n", "command", "listing", "passes", "enumerations",
              "other opens", "adapter opens", "result");
  bool good = true;
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"-r32", "0", "1"}, {"-list"}, {"-pdev", "sn=12345"}}) {
    for (const Listing listing : {Listing::WithIds, Listing::PerIndex}) {
      dravlopro::sim::InProcessBench bench;
      bench.hid.listing = listing;
      for (int i = 0; i < kOtherDevices; ++i) {
        bench.hid.AddOtherDevice(0x046D, static_cast<std::uint16_t>(0xC000 + i));
      }
      bench.hid.AddAdapter(L"12345");
      const int exitCode = bench.Run(words);
      std::string label;
      for (const std::string& w : words) label += (label.empty() ? "" : " ") + w;
      const int adapterOpens = bench.hid.device(kOtherDevices).opens;
      const int otherOpens = bench.hid.OpensOfOtherDevices();
      std::printf("%-16s %-9s %6zu %12zu %12d %14d %6d\n", label.c_str(),
                  listing == Listing::WithIds ? "with IDs" : "per index", bench.hid.passes,
                  bench.hid.enumerations, otherOpens, adapterOpens, exitCode);
      good = good && exitCode == 0 &&
             (listing != Listing::WithIds ||
              (bench.hid.enumerations == bench.hid.passes && otherOpens == 0));
    }
  }
  std::printf(
      "Counted over the whole run of \"dravlopro <command>\". with IDs: one listing per\n"
      "pass that shows the IDs (Linux, macOS); per index: one listing per interface index,\n"
      "every device opened to learn its IDs (Windows).\n");
  return good;
}

// Reports one gdb job costs on the bench, counted from after the attach.
struct GdbBench {
  GdbBench()
      : adapter(bench.hid.AddAdapter(L"12345")),
        device(bench.hid, table),
        target(device, bench.clock),
        session(target, [this](std::string_view bytes) {
          replies.append(bytes);
          return true;
        }) {
    device.Open(0, L"", dravlopro::kAdapterVendorId, dravlopro::kAdapterProductId,
                dravlopro::kMaxAdapters, 0);
    target.Attach();
  }
  // The reply's payload; the acknowledgements before it left out.
  std::string Ask(const std::string& payload) {
    replies.clear();
    const std::string bytes = dravlopro::gdb::EncodePacket(payload);
    session.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const std::size_t start = replies.find('$');
    const std::size_t end = replies.rfind('#');
    return start < end && end != std::string::npos ? replies.substr(start + 1, end - start - 1)
                                                   : "";
  }
  std::string replies;
  dravlopro::sim::InProcessBench bench;
  dravlopro::sim::SimAdapter& adapter;
  dravlopro::AdapterTable table;
  dravlopro::CHidDevice device;
  dravlopro::DebugTarget target;
  dravlopro::gdb::Session session;
};

bool BenchGdb() {
  const std::filesystem::path example =
      std::filesystem::path(DRAVLOPRO_SOURCE_DIR) / "examples/blinky";
  std::ifstream in(example / "blinky.bin", std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  dravlopro::sim::InProcessBench tool;
  tool.hid.AddAdapter(L"12345");
  const int loaded = tool.Run({"-q", "-a", (example / "blinky.hex").string()});
  const std::size_t toolReports = tool.hid.trace.size();

  // As gdb does it: the stop reply and the registers on connecting, then the
  // load; on a blank chip (whose core is locked up) and on one running the
  // example.
  auto loadOnce = [&image](GdbBench& bench) {
    bench.Ask("QStartNoAckMode");
    bench.Ask("?");
    bench.Ask("g");
    const std::size_t start = bench.bench.hid.exchangeCount;
    bench.Ask("vFlashErase:0,400");
    bench.Ask("vFlashWrite:0:" + image);
    const bool done = bench.Ask("vFlashDone") == "OK";
    return done ? bench.bench.hid.exchangeCount - start : 0;
  };
  GdbBench reload;
  reload.adapter.target.chip.SetFlashBytes(0,
                                           std::vector<std::uint8_t>(image.begin(), image.end()));
  reload.target.Reset(false);
  const std::size_t reloadReports = loadOnce(reload);
  GdbBench load;
  const std::size_t loadReports = loadOnce(load);

  // A 32 KB image, both ways, on a core running the example.
  std::vector<std::uint8_t> large(32 * 1024);
  for (std::size_t k = 0; k < large.size(); ++k) large[k] = static_cast<std::uint8_t>(k * 7 + 1);
  const std::filesystem::path largeFile = std::filesystem::temp_directory_path() / "large.bin";
  std::ofstream(largeFile, std::ios::binary)
      .write(reinterpret_cast<const char*>(large.data()),
             static_cast<std::streamsize>(large.size()));
  dravlopro::sim::InProcessBench largeTool;
  largeTool.hid.AddAdapter(L"12345");
  const int largeLoaded = largeTool.Run({"-q", "-a", largeFile.string()});
  const std::size_t largeToolReports = largeTool.hid.trace.size();
  std::filesystem::remove(largeFile);
  GdbBench largeLoad;
  largeLoad.adapter.target.chip.SetFlashBytes(
      0, std::vector<std::uint8_t>(image.begin(), image.end()));
  largeLoad.target.Reset(false);
  largeLoad.Ask("QStartNoAckMode");
  largeLoad.Ask("?");
  largeLoad.Ask("g");
  std::size_t start = largeLoad.bench.hid.exchangeCount;
  largeLoad.Ask("vFlashErase:0,8000");
  for (std::size_t at = 0; at < large.size(); at += 0x1000) {
    char head[40];
    std::snprintf(head, sizeof head, "vFlashWrite:%zx:", at);
    largeLoad.Ask(head + std::string(large.begin() + static_cast<std::ptrdiff_t>(at),
                                     large.begin() + static_cast<std::ptrdiff_t>(at + 0x1000)));
  }
  const bool largeDone = largeLoad.Ask("vFlashDone") == "OK";
  const std::size_t largeLoadReports = largeLoad.bench.hid.exchangeCount - start;
  std::size_t before = 0;

  load.Ask("qRcmd," + dravlopro::gdb::ToHex("reset halt"));
  before = load.bench.hid.exchangeCount;
  for (int i = 0; i < 100; ++i) {
    load.Ask("vCont;s");
    load.Ask("g");
  }
  const std::size_t stepReports = load.bench.hid.exchangeCount - before;

  GdbBench dump;
  dravlopro::sim::SimConfig config;
  config.sramSize = 64 * 1024;
  dump.adapter.target.Configure(config);
  dump.target.Attach();
  dump.Ask("?");
  before = dump.bench.hid.exchangeCount;
  char packet[32];
  for (std::uint32_t at = 0; at < 64 * 1024; at += 0x2000) {
    std::snprintf(packet, sizeof packet, "m%x,2000", 0x20000000 + at);
    dump.Ask(packet);
  }
  const std::size_t dumpReports = dump.bench.hid.exchangeCount - before;

  std::printf("\n%-44s %9s\n", "debugger server job", "reports");
  std::printf("%-44s %9zu\n", "\"-a blinky.hex\" (whole run)", toolReports);
  std::printf("%-44s %9zu  (%.2f x \"-a\")\n", "load of blinky, core running it", reloadReports,
              static_cast<double>(reloadReports) / static_cast<double>(toolReports));
  std::printf("%-44s %9zu  (%.2f x \"-a\")\n", "load of blinky, blank chip", loadReports,
              static_cast<double>(loadReports) / static_cast<double>(toolReports));
  std::printf("%-44s %9zu\n", "\"-a\" of a 32 KB binary (whole run)", largeToolReports);
  std::printf("%-44s %9zu  (%.2f x \"-a\")\n", "load of the same 32 KB", largeLoadReports,
              static_cast<double>(largeLoadReports) / static_cast<double>(largeToolReports));
  std::printf("%-44s %9zu\n", "100 x stepi (vCont;s and g)", stepReports);
  std::printf("%-44s %9zu\n", "64 KB of SRAM in m packets of 8 KB", dumpReports);
  std::printf("At 1 ms per answer each report costs about 1 ms.\n");
  return loaded == 0 && reloadReports != 0 && loadReports != 0 && largeLoaded == 0 && largeDone;
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
      dravlopro::sim::InProcessBench bench;
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

  allGood = BenchHexLoad() && allGood;

  std::printf("\n%-28s %9s %9s %10s %12s\n", "command", "reports", "packets", "cpu ms",
              "us/report");
  const std::vector<std::uint8_t> megabyte = Pattern(1024 * 1024);
  allGood = BenchImageCommand("-a, 1 MB binary", megabyte, "dravlopro-bench-1m.bin", false,
                              {"-q", "-a"}, (megabyte.size() + 61) / 62) &&
            allGood;
  const std::vector<std::uint8_t> quarter = Pattern(256 * 1024);
  allGood = BenchImageCommand("-v, 256 KB binary", quarter, "dravlopro-bench-256k.bin", true,
                              {"-q", "-v"}, 0) &&
            allGood;
  std::printf("cpu ms: whole run, best of %d; us/report over all reports of the run.\n", kRepeats);

  allGood = BenchFindingTheAdapter() && allGood;
  allGood = BenchGdb() && allGood;
  return allGood ? 0 : 1;
}
