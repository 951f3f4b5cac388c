#pragma once

#include <cstddef>
#include <cstdint>

#include "adapter/hid_device.h"
#include "base/progress.h"
#include "protocol/report.h"

namespace dravlopro {

// How one request and its answer went. Only Answered leaves the answer
// meaningful; the callers decide what every other outcome means to them.
enum class ExchangeOutcome {
  Answered,      // the request went out and its own answer came back
  WriteFailed,   // the request could not be sent
  TimedOut,      // no answer came within the timeout
  ReadFailed,    // reading the answer failed
  EchoMismatch,  // an answer came, but it does not echo the request's command byte
  LinkRetired    // the link was given up earlier: nothing was sent
};

// The lengths and the wait of one exchange.
struct ExchangeShape {
  std::size_t writeLength = kReportLength;
  std::size_t readLength = kReportLength;
  std::uint32_t timeoutMs = kDapReadTimeoutMs;
  // The answer is read even when the request could not be sent; the outcome
  // is WriteFailed all the same.
  bool readAfterFailedWrite = false;
  // Told Waiting() while the answer is awaited. The wait is then made of
  // reads of at most kWaitSliceMs that add up to timeoutMs, so that a long
  // wait can show its time; no answer is lost between them.
  Progress* progress = nullptr;
};

// The longest single read of an exchange that reports its wait.
constexpr std::uint32_t kWaitSliceMs = 250;

// How long the link may take to come back in step after a lost answer: at
// most this many answers are read, each waiting at most the CMSIS-DAP read
// timeout, and the first read that times out ends the attempt.
constexpr std::size_t kResyncMaxAnswers = 4;

// Writes one request and reads one answer. When the read times out, the
// late answer may still come and would be taken by the next request as its
// own; so the link is brought back in step first: a DAP_Info request for
// the packet size, whose answer nothing else resembles, goes out, and every
// answer up to and including its own is dropped. When that does not work
// within its bound, the device's link is retired and every later exchange
// on this handle fails at once with LinkRetired.
ExchangeOutcome ExchangeReport(CHidDevice& device, const Report& request, Report& answer,
                               const ExchangeShape& shape = {});

// The one way the operations talk to the adapter: one request buffer and one
// answer buffer for a whole operation. The request buffer keeps its bytes
// from one request to the next, so a request built over an earlier one
// carries the earlier bytes past its own fields, exactly as sent before.
// After any outcome but Answered the answer is all zeros, which no answer
// check accepts.
class Link {
 public:
  explicit Link(CHidDevice& device, const ExchangeShape& shape = {})
      : device_(device), shape_(shape) {}

  Report& request() { return request_; }
  // The request buffer zero-filled, for a request that must start clean.
  Report& cleared() {
    request_.fill(0);
    return request_;
  }
  ExchangeShape& shape() { return shape_; }

  // Sends the request buffer and takes in its answer.
  ExchangeOutcome Send() { return Send(request_); }
  // Sends a request built elsewhere.
  ExchangeOutcome Send(const Report& request);
  const Report& answer() const { return answer_; }

 private:
  CHidDevice& device_;
  ExchangeShape shape_;
  Report request_{};
  Report answer_{};
};

}  // namespace dravlopro
