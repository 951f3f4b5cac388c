#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/console.h"

namespace dravlopro::testing {

// A terminal that keeps every write, one entry each.
class Terminal : public OutputSink {
 public:
  void Write(std::string_view text) override { writes.emplace_back(text); }
  void Alert(std::string_view text) override { writes.emplace_back(text); }
  std::string All() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }
  std::vector<std::string> writes;
};

// What a terminal shows after these bytes, on one line: a carriage return
// goes back to its start, every other character overwrites in place.
inline std::string Screen(const std::string& bytes) {
  std::string screen;
  std::size_t column = 0;
  for (const char c : bytes) {
    if (c == '\r') {
      column = 0;
      continue;
    }
    if (column < screen.size()) {
      screen[column] = c;
    } else {
      screen.push_back(c);
    }
    ++column;
  }
  return screen;
}

}  // namespace dravlopro::testing
