#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/console.h"
#include "base/text.h"
#include "cli/driver.h"
#include "sim/sim_bench.h"
#include "sim/sim_clock.h"
#include "sim/sim_settings.h"

// The tool run in-process against the simulated bench: for the tests and
// the benchmark program.
namespace dravlopro::sim {

// Captures the console bytes of a run.
class CapturedOutput : public OutputSink {
 public:
  void Write(std::string_view text) override { out.append(text); }
  void Alert(std::string_view text) override { alerts.emplace_back(text); }
  std::string out;
  std::vector<std::string> alerts;
};

// A whole simulated bench: adapters, a clock, a settings file and the
// console. Run() drives one command line in-process.
struct InProcessBench {
  InProcessBench() { hid.UseClock(clock); }

  sim::SimBench hid;
  sim::SimClock clock;
  sim::MemorySettingsStore settings;
  CapturedOutput console;
  CapturedOutput errors;       // standard error
  HidBackend* link = nullptr;  // when set, the run reaches `hid` through it

  int Run(const std::vector<std::string>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    for (const std::string& w : words) argv.push_back(Widen(w));
    console.out.clear();
    errors.out.clear();
    hid.trace.clear();
    const Environment environment{link != nullptr ? *link : hid, clock, settings, console, errors};
    return RunDriver(argv, environment);
  }
  const std::string& output() const { return console.out; }
  const std::string& errorOutput() const { return errors.out; }
};

// The requests of one command byte (byte 1), in the order they were sent.
inline std::vector<Report> RequestsWith(const std::vector<sim::TraceEntry>& trace,
                                        std::uint8_t command) {
  std::vector<Report> out;
  for (const sim::TraceEntry& e : trace) {
    if (e.request[1] == command) out.push_back(e.request);
  }
  return out;
}

}  // namespace dravlopro::sim
