#pragma once

#include <cstdint>
#include <vector>

#include "base/clock.h"

namespace dravlopro::sim {

// A clock that records the waits instead of sleeping. Its time moves on
// only by the waits, and by the simulated bench's report reads.
class SimClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    elapsedMs += milliseconds;
  }
  std::uint64_t NowMs() override { return elapsedMs; }
  std::vector<std::uint32_t> sleeps;
  std::uint64_t elapsedMs = 0;
};

}  // namespace dravlopro::sim
