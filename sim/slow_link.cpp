#include "sim/slow_link.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace dravlopro::sim {

class SlowLink::Connection : public ForwardingConnection {
 public:
  Connection(std::unique_ptr<HidConnection> inner, SlowLink& link)
      : ForwardingConnection(std::move(inner)), link_(link) {}

  // The bench answers at once: its answers set out now, due later.
  bool Write(const std::uint8_t* report, std::size_t length) override {
    const bool written = inner().Write(report, length);
    const std::uint64_t due = link_.clock_.NowMs() + link_.answerMs_;
    for (;;) {
      Answer answer{std::vector<std::uint8_t>(length == 0 ? 1 : length), due};
      if (inner().Read(answer.bytes.data(), answer.bytes.size(), 0) != HidRead::Received) break;
      onTheWay_.push_back(std::move(answer));
    }
    return written;
  }

  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    if (onTheWay_.empty()) {
      // Nothing on its way: whatever the bench does now (a gone adapter
      // fails the read at once), or the whole timeout.
      const HidRead now = inner().Read(report, length, 0);
      if (now == HidRead::TimedOut) link_.clock_.SleepMs(timeoutMs);
      return now;
    }
    const std::uint64_t now = link_.clock_.NowMs();
    const std::uint64_t due = onTheWay_.front().dueMs;
    if (due > now && due - now > timeoutMs) {
      link_.clock_.SleepMs(timeoutMs);
      return HidRead::TimedOut;
    }
    if (due > now) link_.clock_.SleepMs(static_cast<std::uint32_t>(due - now));
    const std::vector<std::uint8_t>& bytes = onTheWay_.front().bytes;
    std::fill(report, report + length, std::uint8_t{0});
    std::copy_n(bytes.begin(), std::min(length, bytes.size()), report);
    onTheWay_.pop_front();
    return HidRead::Received;
  }

 private:
  struct Answer {
    std::vector<std::uint8_t> bytes;
    std::uint64_t dueMs = 0;
  };

  SlowLink& link_;
  std::deque<Answer> onTheWay_;
};

std::unique_ptr<HidConnection> SlowLink::Wrap(std::unique_ptr<HidConnection> connection) {
  return std::make_unique<Connection>(std::move(connection), *this);
}

}  // namespace dravlopro::sim
