#pragma once

#include <cstdint>
#include <optional>

#include "base/clock.h"
#include "sim/sim_bench.h"

namespace dravlopro::sim {

// The computer's clock, whose waits the bench's time line follows too: the
// simulated core runs while the tool waits, as on a real board.
class BenchClock : public Clock {
 public:
  explicit BenchClock(SimBench& bench) : bench_(bench) {}
  void SleepMs(std::uint32_t milliseconds) override {
    system_.SleepMs(milliseconds);
    bench_.time().elapsedMs += milliseconds;
  }
  std::uint64_t NowMs() override { return system_.NowMs(); }

 private:
  SystemClock system_;
  SimBench& bench_;
};

// $DRAVLOPRO_SIM_ANSWER_MS: unset or empty gives 0; nullopt when it is not
// a whole number of milliseconds up to a minute.
std::optional<std::uint32_t> AnswerDelayMs();

}  // namespace dravlopro::sim
