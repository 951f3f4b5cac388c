#include "trace/hid_recorder.h"

#include "adapter/forwarding.h"
#include "base/text.h"
#include "trace/events.h"

namespace dravlopro::trace {

namespace {

class RecordingConnection : public ForwardingConnection {
 public:
  RecordingConnection(std::unique_ptr<HidConnection> inner, HidRecorder& backend,
                      std::uint32_t index)
      : ForwardingConnection(std::move(inner)), backend_(backend), index_(index) {}

  bool Write(const std::uint8_t* report, std::size_t length) override {
    const bool written = inner().Write(report, length);
    Writer& w = backend_.writer();
    w.Write(w.Event(event::kWrite)
                .Num(field::kExchange, backend_.NextExchange())
                .Bool(field::kOk, written)
                .Str(field::kData, Hex(report, length)));
    return written;
  }

  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    const HidRead read = inner().Read(report, length, timeoutMs);
    Writer& w = backend_.writer();
    Line line = w.Event(event::kRead);
    line.Num(field::kExchange, backend_.LastExchange()).Str(field::kResult, Name(read));
    if (read == HidRead::Received) {
      line.Str(field::kData, Hex(report, length));
    } else {
      line.Num(field::kWaitedMs, timeoutMs);
    }
    w.Write(line);
    return read;
  }

  bool Claim(ClaimWait& wait) override {
    const bool claimed = inner().Claim(wait);
    Writer& w = backend_.writer();
    w.Write(w.Event(event::kClaim).Num(field::kIndex, index_).Bool(field::kOk, claimed));
    return claimed;
  }

 private:
  HidRecorder& backend_;
  std::uint32_t index_;
};

}  // namespace

namespace {

// One pass of the recording backend over a pass of the real one.
class RecordingPass : public HidPass {
 public:
  RecordingPass(std::unique_ptr<HidPass> inner, HidRecorder& backend)
      : inner_(std::move(inner)), backend_(backend) {}
  InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
    return backend_.Record(*inner_, memberIndex, out);
  }

 private:
  std::unique_ptr<HidPass> inner_;
  HidRecorder& backend_;
};

}  // namespace

std::unique_ptr<HidPass> HidRecorder::BeginPass(std::uint16_t vendorId, std::uint16_t productId) {
  writer_.Write(writer_.Event(event::kScan));
  return std::make_unique<RecordingPass>(inner_.BeginPass(vendorId, productId), *this);
}

InterfaceOpen HidRecorder::Record(HidPass& inner, std::uint32_t memberIndex, HidInterface& out) {
  HidInterface found;
  const InterfaceOpen opened = inner.OpenInterface(memberIndex, found);
  std::unique_ptr<HidConnection> connection = std::move(found.connection);
  const std::string& path = found.path;

  // What the interface shows, asked once here so that a replay can show the
  // same whatever the tool asks of it.
  Line line = writer_.Event(event::kDevice);
  line.Num(field::kIndex, memberIndex).Str(field::kOpen, Name(opened));
  if (connection) {
    HidAttributes attributes;
    HidCaps caps;
    std::wstring serial;
    line.Bool(field::kAttributes, connection->GetAttributes(attributes))
        .Num(field::kVid, attributes.vendorId)
        .Num(field::kPid, attributes.productId)
        .Num(field::kVersion, attributes.versionNumber)
        .Bool(field::kCaps, connection->GetCaps(caps))
        .Num(field::kUsage, caps.usage)
        .Num(field::kUsagePage, caps.usagePage)
        .Num(field::kIn, caps.inputReportByteLength)
        .Num(field::kOutLength, caps.outputReportByteLength)
        .Num(field::kFeature, caps.featureReportByteLength);
    if (connection->GetSerialNumber(serial)) {
      line.Str(field::kSerial, Narrow(serial));
    } else {
      line.Null(field::kSerial);
    }
  }
  if (opened != InterfaceOpen::NoInterface) line.Str(field::kPath, path);
  if (!found.openError.empty()) line.Str(field::kOpenError, found.openError);
  // Only a change is written: the time of the line is left out of the
  // comparison.
  std::string text = line.Text();
  const std::string what = text.substr(text.find(",\"" + std::string(field::kEvent) + "\":"));
  std::string& last = seen_[memberIndex];
  if (last != what) {
    last = what;
    writer_.Write(line);
  }

  out.path = found.path;
  out.openError = found.openError;
  if (connection) {
    out.connection =
        std::make_unique<RecordingConnection>(std::move(connection), *this, memberIndex);
  }
  return opened;
}

}  // namespace dravlopro::trace
