#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "protocol/report.h"

// Whole reports written out byte by byte, and a comparison that names the
// bytes that differ.
namespace dravlopro::protocoltest {

// A whole report: `reportNumber` at byte 0, `fields` from byte 1 on and
// `rest` in every byte after them.
inline Report Frame(std::uint8_t reportNumber, std::initializer_list<std::uint8_t> fields,
                    std::uint8_t rest) {
  Report report;
  report.fill(rest);
  report[0] = reportNumber;
  std::size_t at = 1;
  for (const std::uint8_t byte : fields) report.at(at++) = byte;
  return report;
}

inline std::string Hex(const Report& report) {
  std::string text;
  char digits[4];
  for (const std::uint8_t byte : report) {
    std::snprintf(digits, sizeof digits, "%02X ", byte);
    text += digits;
  }
  return text;
}

// All 65 bytes are the same.
inline ::testing::AssertionResult SameReport(const Report& actual, const Report& expected) {
  std::string differences;
  char line[48];
  for (std::size_t i = 0; i < kReportLength; ++i) {
    if (actual[i] == expected[i]) continue;
    std::snprintf(line, sizeof line, "byte %zu is %02X, expected %02X\n", i, actual[i],
                  expected[i]);
    differences += line;
  }
  if (differences.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << differences << "report   " << Hex(actual) << "\nexpected " << Hex(expected);
}

}  // namespace dravlopro::protocoltest
