#pragma once

#include <cstdint>
#include <memory>

#include "adapter/forwarding.h"
#include "adapter/hid_backend.h"
#include "base/clock.h"

namespace dravlopro::sim {

// The bench's interfaces over a slow link: each answer reaches the host
// answerMs after its request went out, as over a real link. A write returns
// at once; a read takes the next answer once it is due, waiting for it on
// the clock when it is due within the read's timeout, and otherwise waits
// the whole timeout and finds nothing, the answer staying on its way for a
// later read. Answers come in the order of their requests.
class SlowLink : public ForwardingBackend {
 public:
  SlowLink(HidBackend& inner, Clock& clock, std::uint32_t answerMs)
      : ForwardingBackend(inner), clock_(clock), answerMs_(answerMs) {}

 protected:
  std::unique_ptr<HidConnection> Wrap(std::unique_ptr<HidConnection> connection) override;

 private:
  class Connection;

  Clock& clock_;
  std::uint32_t answerMs_;
};

}  // namespace dravlopro::sim
