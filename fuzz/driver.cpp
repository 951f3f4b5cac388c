// Whole runs of the tool, in-process, against a simulated bench whose
// adapter answers as the input says: on time, never, late, stale (the
// previous answer once more instead of its own) or with one byte damaged,
// and whose adapters may be lost on the way.
//
// The input is a command line, one word per line (UTF-8), then a zero byte,
// then the bench: one byte of layout (see Layout) and records of four bytes
// [skip, kind, a, b] for the exchanges, counted over the whole run from 0:
// `skip` exchanges go undisturbed, the next one meets the record's fate.
//
//   kind % 5   fate of the answer
//   0          never comes
//   1          late by b ms (a % 4 == 0), b x 50 ms (1), b s (2), or never (3)
//   2          stale: the previous answer of the bench repeated
//   3          byte a % 65 replaced by b
//   4          every adapter is lost: this answer never comes, and nothing
//              reaches an adapter again (a even: they stay on the bus but
//              are mute; a odd: they are unplugged)
//
// Files stay inside a folder of the target's own. The word after "-a" or
// "-v" names one of its image files ("@hex", "@lock" for a HEX image that
// locks the target, "@bin", "@empty", "@bad", "@huge", "@dir"; any other
// word a missing file); the third word after "-dump" names "@dump", an
// existing file, "@dir", or else a new file. Reads of more than
// kMaxReadWords words are not run: they would only make a run slow.
//
// Whatever happens, a run
// - returns one of the result codes of the usage text,
// - leaves no adapter handle open,
// - waits a bounded simulated time (see WaitBoundMs),
// - leaves the folder as it was, but for the dump file written whole (a
//   size some "-dump" of the line asked for) or not at all.

#include "cli/driver.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "protocol/exchange.h"
#include "adapter/hid_device.h"
#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "fuzz/fuzz_check.h"
#include "image/image_state.h"
#include "protocol/download.h"
#include "sim/sim_bench.h"
#include "sim/sim_clock.h"
#include "sim/sim_settings.h"

namespace {

namespace fs = std::filesystem;
using dravlopro::Report;
using dravlopro::sim::SimBench;

constexpr std::uint32_t kMaxReadWords = 4096;
const std::wstring kSerial = L"12345";
const std::wstring kOtherSerial = L"67890";
const std::string kOldDump = "the dump file before the run\n";

// --- The folder and its files.

std::string HexRecord(std::uint8_t type, std::uint16_t address,
                      const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                  static_cast<std::uint8_t>(address >> 8),
                                  static_cast<std::uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  std::string line = ":";
  for (std::uint8_t b : bytes) {
    line += dravlopro::Format("%02X", b);
    sum = static_cast<std::uint8_t>(sum + b);
  }
  return line + dravlopro::Format("%02X\n", static_cast<std::uint8_t>(-sum));
}

// A small program and its option bytes; protection 0xFE asks for the
// security lock.
std::string HexImage(std::uint8_t protection) {
  std::vector<std::uint8_t> code(40);
  for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return HexRecord(0, 0x0000, {code.begin(), code.begin() + 16}) +
         HexRecord(0, 0x0010, {code.begin() + 16, code.end()}) + HexRecord(4, 0, {0x1F, 0xF0}) +
         HexRecord(0, 0x0000, std::vector<std::uint8_t>(16, 0xFF)) +
         HexRecord(0, 0x0010, {protection}) + HexRecord(1, 0, {});
}

class Folder {
 public:
  Folder() {
    std::string name = (fs::temp_directory_path() / "dravlopro-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(name.data()) != nullptr);
    path_ = name;
    Write("image.hex", HexImage(0xFF));
    Write("lock.hex", HexImage(0xFE));
    std::string binary(150, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + 5);
    Write("image.bin", binary);
    Write("empty.bin", "");
    Write("bad.hex", "not a record\n");
    Write("huge.bin", "");
    fs::resize_file(path_ / "huge.bin", dravlopro::kImageBufferSize + 1);
    Write("dump.bin", kOldDump);
    for (const auto& entry : fs::directory_iterator(path_)) {
      prepared_.insert(entry.path().filename().string());
    }
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

  const fs::path& path() const { return path_; }
  fs::path operator/(const char* name) const { return path_ / name; }
  const std::set<std::string>& prepared() const { return prepared_; }

  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  fs::path path_;
  std::set<std::string> prepared_;
};

const Folder& TheFolder() {
  static const Folder folder;
  return folder;
}

// --- The command line.

std::vector<std::wstring> Words(std::string_view text) {
  std::vector<std::wstring> argv{L"dravlopro.exe"};
  if (text.empty()) return argv;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    argv.push_back(dravlopro::Widen(std::string(text.substr(start, end - start))));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return argv;
}

std::wstring ImageFile(const std::wstring& word, const Folder& folder) {
  static const std::map<std::wstring, const char*> files{
      {L"@hex", "image.hex"},   {L"@lock", "lock.hex"}, {L"@bin", "image.bin"},
      {L"@empty", "empty.bin"}, {L"@bad", "bad.hex"},   {L"@huge", "huge.bin"}};
  if (word == L"@dir") return folder.path().wstring();
  const auto known = files.find(word);
  if (known != files.end()) return (folder / known->second).wstring();
  const bool hex = dravlopro::ToUpper(word).ends_with(L".HEX");
  return (folder / (hex ? "missing.hex" : "missing.bin")).wstring();
}

std::wstring DumpFile(const std::wstring& word, const Folder& folder) {
  if (word == L"@dump") return (folder / "dump.bin").wstring();
  if (word == L"@dir") return folder.path().wstring();
  return (folder / "new.bin").wstring();
}

struct CommandLine {
  std::vector<std::wstring> argv;
  std::size_t commands = 0;            // words a command could run for
  std::set<std::uintmax_t> dumpSizes;  // what a whole dump file may hold
  bool tooLong = false;                // some read asks for too many words
};

// Points every file word into the folder, the way the driver will find the
// words: the one after "-a" or "-v", the third after "-dump".
CommandLine Prepare(std::vector<std::wstring> argv, const Folder& folder) {
  CommandLine line;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::wstring word = dravlopro::ToLower(argv[i]);
    if (word.empty() || word[0] != L'-') continue;
    ++line.commands;
    if ((word == L"-a" || word == L"-v") && i + 1 < argv.size()) {
      argv[i + 1] = ImageFile(argv[i + 1], folder);
    }
    if (word != L"-r32" && word != L"-dump") continue;
    std::uint32_t count = 0;
    if (i + 2 < argv.size() && dravlopro::ParseUnsigned(dravlopro::ToUpper(argv[i + 2]), count)) {
      if (count > kMaxReadWords) line.tooLong = true;
      line.dumpSizes.insert(4 * static_cast<std::uintmax_t>(count));
    }
    if (word == L"-dump" && i + 3 < argv.size()) argv[i + 3] = DumpFile(argv[i + 3], folder);
  }
  line.argv = std::move(argv);
  return line;
}

// --- The bench.

// Layout byte.
enum Layout : std::uint8_t {
  kSecondAdapter = 1 << 0,  // another adapter after the first
  kOtherDevice = 1 << 1,    // a HID device that is no adapter, enumerated first
  kSavedSerial = 1 << 2,    // the settings file names the first adapter
  kSavedMissing = 1 << 3,   // the settings file names an adapter that is not there
  kLockedTarget = 1 << 4,   // the first adapter's target is secured
  kNoSerial = 1 << 5,       // an adapter without a serial number, enumerated last
  // The first target's flash controller never finishes. Every erase then
  // polls to its limit, which makes a run slow: both top bits are asked for.
  kFlashStuck = 3 << 6,
};

enum class Fate { Never, Late, Stale, Damaged, Lost };

struct Disturbance {
  Fate fate = Fate::Never;
  std::uint8_t a = 0;
  std::uint8_t b = 0;
};

std::uint64_t Lateness(std::uint8_t a, std::uint8_t b) {
  switch (a % 4) {
    case 0:
      return b;
    case 1:
      return 50u * b;
    case 2:
      return 1000u * b;
    default:
      return SimBench::kNever;
  }
}

std::map<std::size_t, Disturbance> Script(std::string_view records) {
  std::map<std::size_t, Disturbance> script;
  std::size_t exchange = 0;
  for (std::size_t at = 0; at + 4 <= records.size(); at += 4) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(records[at + k]); };
    exchange += byte(0);
    script[exchange++] = Disturbance{static_cast<Fate>(byte(1) % 5), byte(2), byte(3)};
  }
  return script;
}

void BuildBench(SimBench& bench, dravlopro::sim::MemorySettingsStore& settings,
                std::uint8_t layout) {
  if (layout & kOtherDevice) bench.AddOtherDevice(0x1234, 0x5678, L"OTHER");
  dravlopro::sim::SimAdapter& first = bench.AddAdapter(kSerial);
  if (layout & kLockedTarget) first.target.chip.SetLocked(true);
  if ((layout & kFlashStuck) == kFlashStuck) first.target.faults().fmcNeverDone = true;
  if (layout & kSecondAdapter) bench.AddAdapter(kOtherSerial);
  if (layout & kNoSerial) bench.AddAdapterWithoutSerial();
  if (layout & kSavedSerial) {
    settings.sn = kSerial;
  } else if (layout & kSavedMissing) {
    settings.sn = L"99999";
  }
}

// Gives each disturbed answer its fate.
void Disturb(SimBench& bench, const std::map<std::size_t, Disturbance>& script) {
  for (const auto& [exchange, d] : script) {
    if (d.fate == Fate::Late) bench.lateAnswers[exchange] = Lateness(d.a, d.b);
  }
  bench.onAnswer = [&bench, &script, previous = Report{}](std::size_t exchange, const Report&,
                                                          Report& answer) mutable {
    const Report own = answer;
    const auto found = script.find(exchange);
    bool delivered = true;
    if (found != script.end()) {
      const Disturbance& d = found->second;
      switch (d.fate) {
        case Fate::Never:
          delivered = false;
          break;
        case Fate::Late:
          break;
        case Fate::Stale:
          answer = previous;
          break;
        case Fate::Damaged:
          answer[d.a % answer.size()] = d.b;
          break;
        case Fate::Lost:
          for (std::size_t i = 0; i < bench.deviceCount(); ++i) {
            if (d.a % 2 == 0) {
              bench.device(i).exchangesLeft = 0;
            } else {
              bench.device(i).present = false;
            }
          }
          delivered = false;
          break;
      }
    }
    previous = own;
    return delivered;
  };
}

// --- The properties.

bool InResultTable(int code) {
  static const std::set<int> codes{0, 1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 20, 21, 30, 31};
  return codes.count(code) != 0;
}

// The longest a run may wait, in simulated milliseconds. An undisturbed
// adapter answers at once and its target is ready at the first look, so
// only these waits remain:
// - per command word: one wait for the target to be ready (five pauses of
//   110 to 150 ms, 650 ms), or the LED blinking of "-pdev" (10 x 100 ms);
//   and one erase that polls up to its limit (2,000 polls 1 ms apart) before
//   it fails and ends the command;
// - per exchange whose answer was disturbed or never sent: the full read
//   timeout (180 s for the programming engine, 5 s for everything else),
//   then bringing the link back in step (at most kResyncMaxAnswers reads of
//   5 s), and one more erase poll that the damaged answer may have caused.
// A disturbance may also end the link for good; later exchanges on that
// handle then fail at once and add nothing.
std::uint64_t WaitBoundMs(const CommandLine& line, const SimBench& bench,
                          const std::map<std::size_t, Disturbance>& script) {
  constexpr std::uint64_t kPerCommandMs = 650 + 1000 + 2000;
  std::uint64_t bound = kPerCommandMs * line.commands;
  for (std::size_t k = 0; k < bench.trace.size(); ++k) {
    const dravlopro::sim::TraceEntry& entry = bench.trace[k];
    if (entry.answered && script.count(k) == 0) continue;
    const std::uint8_t command = entry.request[1];
    const bool engine =
        command == dravlopro::download::kHeaderCommand || command == dravlopro::download::kDataCommand;
    bound += engine ? dravlopro::kEngineReadTimeoutMs : dravlopro::kDapReadTimeoutMs;
    bound += dravlopro::kResyncMaxAnswers * dravlopro::kDapReadTimeoutMs + 1;
  }
  return bound;
}

// The folder holds what it held, but for a dump file that is either as it
// was or whole.
void CheckFolder(const Folder& folder, const CommandLine& line) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    names.insert(entry.path().filename().string());
  }
  std::set<std::string> allowed = folder.prepared();
  allowed.insert("new.bin");
  for (const std::string& name : names) FUZZ_CHECK(allowed.count(name) != 0);
  for (const std::string& name : folder.prepared()) FUZZ_CHECK(names.count(name) != 0);

  const std::string dump = Folder::Read(folder / "dump.bin");
  FUZZ_CHECK(dump == kOldDump || line.dumpSizes.count(dump.size()) != 0);
  if (names.count("new.bin") != 0) {
    FUZZ_CHECK(line.dumpSizes.count(fs::file_size(folder / "new.bin")) != 0);
  }
}

class NullSink : public dravlopro::OutputSink {
 public:
  void Write(std::string_view) override {}
  void Alert(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view words = input.substr(0, split);
  const std::string_view bench =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  const Folder& folder = TheFolder();
  const CommandLine line = Prepare(Words(words), folder);
  if (line.tooLong) return 0;
  if (Folder::Read(folder / "dump.bin") != kOldDump) folder.Write("dump.bin", kOldDump);
  std::error_code ignored;
  fs::remove(folder / "new.bin", ignored);

  SimBench hid;
  dravlopro::sim::SimClock clock;
  hid.UseClock(clock);
  dravlopro::sim::MemorySettingsStore settings;
  BuildBench(hid, settings, bench.empty() ? 0 : static_cast<std::uint8_t>(bench[0]));
  const std::map<std::size_t, Disturbance> script = Script(bench.empty() ? bench : bench.substr(1));
  Disturb(hid, script);

  NullSink console;
  NullSink errors;
  const dravlopro::Environment environment{hid, clock, settings, console, errors};
  const int code = dravlopro::RunDriver(line.argv, environment);

  FUZZ_CHECK(InResultTable(code));
  FUZZ_CHECK(hid.openHandles == 0);
  FUZZ_CHECK(clock.elapsedMs <= WaitBoundMs(line, hid, script));
  CheckFolder(folder, line);
  return 0;
}
