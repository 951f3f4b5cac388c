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
#include "sim/in_process_bench.h"

namespace dravlopro::testing {

// The in-process bench, under the names the tests know it by.
using StringSink = sim::CapturedOutput;
using Bench = sim::InProcessBench;
using sim::RequestsWith;

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
