#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/driver.h"
#include "cli/text.h"
#include "sim/sim_bench.h"
#include "sim/sim_clock.h"
#include "sim/sim_settings.h"

namespace dravlopro::testing {

// Captures the console bytes of a run.
class StringSink : public OutputSink {
 public:
  void Write(std::string_view text) override { out.append(text); }
  void Alert(std::string_view text) override { alerts.emplace_back(text); }
  std::string out;
  std::vector<std::string> alerts;
};

// A whole simulated bench: adapters, a clock, a settings file and the
// console. Run() drives one command line in-process.
struct Bench {
  sim::SimBench hid;
  sim::SimClock clock;
  sim::MemorySettingsStore settings;
  StringSink console;

  int Run(const std::vector<std::string>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    for (const std::string& w : words) argv.push_back(Widen(w));
    console.out.clear();
    hid.trace.clear();
    const Environment environment{hid, clock, settings, console};
    return RunDriver(argv, environment);
  }
  const std::string& output() const { return console.out; }
};

}  // namespace dravlopro::testing
