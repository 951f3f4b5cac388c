#pragma once

#include <cstdint>

#include "adapter/hid_backend.h"
#include "base/clock.h"

namespace dravlopro {

// What one try at something another run may hold gave.
enum class TakeAttempt { Taken, Busy, Failed };

// How the wait for it ended.
enum class TakeOutcome { Taken, Failed, GaveUp };

// Tries `attempt` until it takes or fails, or until boundMs have gone by,
// trying again every pollMs on the clock. `wait`, when given, hears when the
// wait starts (the first busy try) and when it gives up.
template <typename Attempt>
TakeOutcome WaitToTake(Clock& clock, std::uint32_t boundMs, std::uint32_t pollMs, ClaimWait* wait,
                       Attempt attempt) {
  std::uint32_t waited = 0;
  for (;;) {
    switch (attempt()) {
      case TakeAttempt::Taken:
        return TakeOutcome::Taken;
      case TakeAttempt::Failed:
        return TakeOutcome::Failed;
      case TakeAttempt::Busy:
        break;
    }
    if (waited == 0 && wait != nullptr) wait->Started(boundMs);
    if (waited >= boundMs) {
      if (wait != nullptr) wait->GaveUp(boundMs);
      return TakeOutcome::GaveUp;
    }
    const std::uint32_t step = pollMs < boundMs - waited ? pollMs : boundMs - waited;
    clock.SleepMs(step);
    waited += step;
  }
}

}  // namespace dravlopro
