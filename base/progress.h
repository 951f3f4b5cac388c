#pragma once

#include <cstdint>

namespace dravlopro {

// What a long operation tells while it runs: how far it is, and that it is
// still waiting for the adapter. The operations report through it and never
// print; the commands decide whether and how it is shown. Every call is a
// hint that may be dropped, so the operations call it as often as they like.
class Progress {
 public:
  virtual ~Progress() = default;
  // done of total units are through. total 0: there is nothing to count.
  virtual void Update(std::uint64_t done, std::uint64_t total) {
    static_cast<void>(done);
    static_cast<void>(total);
  }
  // Still waiting for an answer, with nothing new to count: a chance to
  // show the time going by.
  virtual void Waiting() {}
};

// The progress nobody looks at: the operations' default.
inline Progress& NoProgress() {
  static Progress none;
  return none;
}

// The progress itself, or null for NoProgress(): operations that would do
// extra work only to report leave it undone when nobody looks.
inline Progress* Watched(Progress& progress) {
  return &progress == &NoProgress() ? nullptr : &progress;
}

}  // namespace dravlopro
