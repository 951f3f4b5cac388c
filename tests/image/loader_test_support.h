#pragma once

// What the loader tests share: HEX records written out, a folder of image
// files, and whole command lines on the simulated bench.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "image/loader.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro::loadertest {

namespace fs = std::filesystem;

// One Intel HEX record line with a correct checksum.
inline std::string Record(std::uint8_t type, std::uint16_t address,
                          std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                     static_cast<std::uint8_t>(address >> 8),
                                     static_cast<std::uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  std::string line = ":";
  char pair[3];
  for (std::uint8_t b : bytes) {
    sum = static_cast<std::uint8_t>(sum + b);
    std::snprintf(pair, sizeof pair, "%02X", b);
    line += pair;
  }
  std::snprintf(pair, sizeof pair, "%02X", static_cast<std::uint8_t>(-sum));
  return line + pair;
}

inline std::string Upper(std::uint16_t upper) {
  return Record(4, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

inline const std::string kEnd = ":00000001FF";

inline std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed = 13) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * seed + (i >> 9));
  return bytes;
}

// The HEX records of bytes placed from address 0, 16 per record, with an
// extended address record before every 64 KB; no end record.
inline std::vector<std::string> RecordsOf(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size(); at += 16) {
    if (at % 0x10000 == 0) lines.push_back(Upper(static_cast<std::uint16_t>(at >> 16)));
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    lines.push_back(Record(0, static_cast<std::uint16_t>(at),
                           std::vector<std::uint8_t>(
                               first, first + std::min<std::ptrdiff_t>(16, bytes.end() - first))));
  }
  return lines;
}

inline std::string Join(const std::vector<std::string>& lines, const std::string& eol) {
  std::string text;
  for (const std::string& line : lines) text += line + eol;
  return text;
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("dravlopro_loader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    image_.assign(kImageBufferSize, 0x00);  // not the erased state: a HEX load must refill it
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path WriteText(const std::string& text, const std::string& name = "PROG.HEX") {
    fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  fs::path WriteLines(std::initializer_list<std::string> lines, const char* eol = "\n") {
    std::string text;
    for (const std::string& line : lines) text += line + eol;
    return WriteText(text);
  }

  HexLoad LoadLines(std::initializer_list<std::string> lines, const char* eol = "\n") {
    return LoadHexImage(WriteLines(lines, eol), image_, state_);
  }

  HexLoad LoadText(const std::string& text) {
    return LoadHexImage(WriteText(text), image_, state_);
  }

  fs::path dir_;
  std::vector<std::uint8_t> image_;
  ImageState state_;
};

// Whole command lines on the simulated bench.
class ImageFileCommandTest : public ::testing::Test {
 protected:
  ImageFileCommandTest() : adapter_(bench_.hid.AddAdapter(L"12345", "2.0.0")) {
    sim::SimConfig config;
    config.flashSize = kHexImageEnd;  // the largest target, which a full HEX image fills
    EXPECT_TRUE(adapter_.target.Configure(config));
  }

  sim::SimChip& chip() { return adapter_.target.chip; }

  // The adapter saw only what opening it for a command sends: its version
  // was read and its connect light set; nothing erased, programmed or read.
  void ExpectNothingSent() {
    for (const sim::TraceEntry& e : bench_.hid.trace) {
      const std::uint8_t command = e.request[1];
      EXPECT_TRUE(command == 0x00 || command == 0x01) << "request " << int{command};
    }
    EXPECT_EQ(adapter_.target.engine.imagesProgrammed, 0);
    EXPECT_TRUE(chip().eraseLog.empty());
  }

  std::uint32_t DownloadedSize() {
    const auto headers = testing::RequestsWith(bench_.hid.trace, 0x80);
    return headers.size() == 2 ? GetLe32(&headers[1][13]) : 0xFFFFFFFFu;
  }

  testing::Bench bench_;
  sim::SimAdapter& adapter_;
  testing::ScratchDir dir_;
};

inline const std::string kFileFailure =
    "Result: There was an error in file access. Please confirm that the file path is correct and "
    "that the file exists.\n";

}  // namespace dravlopro::loadertest
