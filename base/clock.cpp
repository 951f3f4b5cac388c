#include "base/clock.h"

#include <chrono>
#include <thread>

namespace dravlopro {

void SystemClock::SleepMs(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace dravlopro
