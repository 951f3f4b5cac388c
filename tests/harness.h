#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/console.h"
#include "cli/driver.h"
#include "base/text.h"
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
  Bench() { hid.UseClock(clock); }

  sim::SimBench hid;
  sim::SimClock clock;
  sim::MemorySettingsStore settings;
  StringSink console;
  StringSink errors;  // standard error

  int Run(const std::vector<std::string>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    for (const std::string& w : words) argv.push_back(Widen(w));
    console.out.clear();
    errors.out.clear();
    hid.trace.clear();
    const Environment environment{hid, clock, settings, console, errors};
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

// A folder of its own for one test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Parameterised tests have a "/" in their names.
    std::string name = info ? info->name() : "test";
    std::replace(name.begin(), name.end(), '/', '_');
    path_ = std::filesystem::temp_directory_path() /
            ("dravlopro_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace dravlopro::testing
