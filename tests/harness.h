#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/text.h"
#include "cli/driver.h"
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
  StringSink errors;           // standard error
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

// A file name from UTF-8 text, the way the tool takes a name typed on its
// command line. (Built from narrow text, std::filesystem takes the bytes one
// by one on Windows, while path::string() gives UTF-8 back: a name outside
// ASCII would not survive the round trip.)
inline std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// A file name as UTF-8 text, as Bench::Run takes command-line words.
inline std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The names in a folder, sorted: to show what a run left there.
inline std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(Utf8Name(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
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
    const std::filesystem::path file = path_ / Utf8Path(name);
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
