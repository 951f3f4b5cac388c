#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "adapter/hid_backend.h"
#include "trace/writer.h"

namespace dravlopro::trace {

// A HID backend that hands everything to another one and writes what passes
// to a trace: each interface an enumeration pass finds (only when it differs
// from what the last pass found there), each claim, and every report written
// and read with the time since the run started.
class HidRecorder : public HidBackend {
 public:
  HidRecorder(HidBackend& inner, Writer& writer) : inner_(inner), writer_(writer) {}

  std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) override;

  // Hands one interface of a pass on, writing what it shows.
  InterfaceOpen Record(HidPass& inner, std::uint32_t memberIndex, HidInterface& out);

  // Used by the connections.
  Writer& writer() { return writer_; }
  std::int64_t NextExchange() { return exchanges_++; }
  std::int64_t LastExchange() const { return exchanges_ - 1; }

 private:
  HidBackend& inner_;
  Writer& writer_;
  // What was last written for each interface index.
  std::map<std::uint32_t, std::string> seen_;
  std::int64_t exchanges_ = 0;
};

}  // namespace dravlopro::trace
