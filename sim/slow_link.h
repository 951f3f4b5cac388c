#pragma once

#include <cstdint>
#include <memory>

#include "adapter/hid_backend.h"
#include "base/clock.h"

namespace dravlopro::sim {

// The bench's interfaces over a slow link: each answer reaches the host
// answerMs after its request went out, as over a real link. A write returns
// at once; a read takes the next answer once it is due, waiting for it on
// the clock when it is due within the read's timeout, and otherwise waits
// the whole timeout and finds nothing, the answer staying on its way for a
// later read. Answers come in the order of their requests.
class SlowLink : public HidBackend {
 public:
  SlowLink(HidBackend& inner, Clock& clock, std::uint32_t answerMs)
      : inner_(inner), clock_(clock), answerMs_(answerMs) {}

  std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) override;

 private:
  class Pass;
  class Connection;

  HidBackend& inner_;
  Clock& clock_;
  std::uint32_t answerMs_;
};

}  // namespace dravlopro::sim
