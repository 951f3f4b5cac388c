// A field trace, as a user might send one: every line through the line
// reader, then the first run replayed by the tool in-process with the
// command line it recorded.
//
// Whatever the input,
// - a line the reader takes holds hex data that reads back as written;
// - a trace that does not load says why;
// - a trace that loads replays to one of the result codes of the usage
//   text, whether every request matches or the run leaves the trace.
//
// The recorded command line is used as it is, but for its file words: the
// word after "-a" or "-v" names the example HEX image (which the seeds'
// recorded runs programmed), and a line with "-dump" is not run, since it
// would write a file, nor one that reads more than kMaxReadWords words,
// which would only make a run slow.

#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/values.h"
#include "cli/driver.h"
#include "fuzz/fuzz_check.h"
#include "sim/sim_clock.h"
#include "trace/format.h"
#include "trace/replay.h"

namespace {

using namespace dravlopro;

constexpr std::uint32_t kMaxReadWords = 4096;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void CheckLines(std::string_view input) {
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    trace::Record record;
    if (trace::ParseLine(input.substr(start, end - start), record)) {
      for (const auto& [key, value] : record.values) {
        std::vector<std::uint8_t> bytes;
        if (trace::FromHex(value, bytes)) {
          FUZZ_CHECK(trace::Hex(bytes.data(), bytes.size()) == Lower(value));
        }
      }
    }
    start = end + 1;
  }
}

// The recorded command line, ready to run; false for one that is not run.
bool RunnableLine(const std::vector<std::string>& recorded, std::vector<std::wstring>& argv) {
  argv = {L"dravlopro-sim"};
  for (std::size_t i = 1; i < recorded.size(); ++i) {
    const std::wstring word = Widen(recorded[i]);
    const std::wstring lower = ToLower(word);
    if (lower == L"-dump") return false;
    std::uint32_t count = 0;
    if (lower == L"-r32" && i + 2 < recorded.size() &&
        ParseUnsigned(ToUpper(Widen(recorded[i + 2])), count) && count > kMaxReadWords) {
      return false;
    }
    const bool file = i > 1 && (ToLower(argv.back()) == L"-a" || ToLower(argv.back()) == L"-v");
    argv.push_back(file ? Widen(DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex") : word);
  }
  return true;
}

bool InResultTable(int code) {
  static const std::set<int> codes{0, 1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 20, 21, 30, 31};
  return codes.count(code) != 0;
}

class NullSink : public OutputSink {
 public:
  void Write(std::string_view) override {}
  void Alert(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckLines(input);

  trace::Replay replay;
  std::istringstream in(input);
  std::string problem;
  if (!replay.Load(in, "input", 1, problem)) {
    FUZZ_CHECK(!problem.empty());
    return 0;
  }
  std::vector<std::wstring> argv;
  if (!RunnableLine(replay.recordedArgv(), argv)) return 0;

  sim::SimClock clock;
  NullSink console;
  NullSink errors;
  const Environment environment{replay.hid(), clock, replay.settings(), console, errors};
  const int code = RunDriver(argv, environment, &replay);
  FUZZ_CHECK(InResultTable(code));
  trace::Divergence divergence;
  replay.Finished(divergence);
  return 0;
}
