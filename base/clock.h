#pragma once

#include <cstdint>

namespace dravlopro {

// Every wait of the tool goes through a clock so tests can run without
// sleeping; the time it tells paces what is shown while the tool works.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(std::uint32_t milliseconds) = 0;
  // Milliseconds since some start of its own; never goes back.
  virtual std::uint64_t NowMs() = 0;
};

class SystemClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override;
  std::uint64_t NowMs() override;
};

}  // namespace dravlopro
