#pragma once

#include <cstdint>

namespace dravlopro {

// Every wait of the tool goes through a clock so tests can run without
// sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(std::uint32_t milliseconds) = 0;
};

class SystemClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override;
};

}  // namespace dravlopro
