#include "adapter/trace_hid.h"

#include "base/text.h"

namespace dravlopro {

namespace {

class RecordingConnection : public HidConnection {
 public:
  RecordingConnection(std::unique_ptr<HidConnection> inner, RecordingHidBackend& backend,
                      std::uint32_t index)
      : inner_(std::move(inner)), backend_(backend), index_(index) {}

  bool GetAttributes(HidAttributes& out) override { return inner_->GetAttributes(out); }
  bool GetCaps(HidCaps& out) override { return inner_->GetCaps(out); }
  bool GetSerialNumber(std::wstring& out) override { return inner_->GetSerialNumber(out); }

  bool Write(const std::uint8_t* report, std::size_t length) override {
    const bool written = inner_->Write(report, length);
    trace::Writer& w = backend_.writer();
    w.Write(trace::Line(w.Ms(), "write")
                .Num("n", backend_.NextExchange())
                .Bool("ok", written)
                .Str("data", trace::Hex(report, length)));
    return written;
  }

  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    const HidRead read = inner_->Read(report, length, timeoutMs);
    trace::Writer& w = backend_.writer();
    trace::Line line(w.Ms(), "read");
    line.Num("n", backend_.LastExchange()).Str("result", TraceName(read));
    if (read == HidRead::Received) {
      line.Str("data", trace::Hex(report, length));
    } else {
      line.Num("waitedMs", timeoutMs);
    }
    w.Write(line);
    return read;
  }

  bool Claim(ClaimWait& wait) override {
    const bool claimed = inner_->Claim(wait);
    trace::Writer& w = backend_.writer();
    w.Write(trace::Line(w.Ms(), "claim").Num("index", index_).Bool("ok", claimed));
    return claimed;
  }

 private:
  std::unique_ptr<HidConnection> inner_;
  RecordingHidBackend& backend_;
  std::uint32_t index_;
};

}  // namespace

const char* TraceName(InterfaceOpen value) {
  switch (value) {
    case InterfaceOpen::Opened:
      return "opened";
    case InterfaceOpen::CannotOpen:
      return "cannot-open";
    case InterfaceOpen::OtherDevice:
      return "other-device";
    case InterfaceOpen::NoInterface:
      break;
  }
  return "none";
}

const char* TraceName(HidRead value) {
  switch (value) {
    case HidRead::Received:
      return "received";
    case HidRead::TimedOut:
      return "timeout";
    case HidRead::Failed:
      break;
  }
  return "error";
}

namespace {

// One pass of the recording backend over a pass of the real one.
class RecordingPass : public HidPass {
 public:
  RecordingPass(std::unique_ptr<HidPass> inner, RecordingHidBackend& backend)
      : inner_(std::move(inner)), backend_(backend) {}
  InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
    return backend_.Record(*inner_, memberIndex, out);
  }

 private:
  std::unique_ptr<HidPass> inner_;
  RecordingHidBackend& backend_;
};

}  // namespace

std::unique_ptr<HidPass> RecordingHidBackend::BeginPass(std::uint16_t vendorId,
                                                        std::uint16_t productId) {
  writer_.Write(trace::Line(writer_.Ms(), "scan"));
  return std::make_unique<RecordingPass>(inner_.BeginPass(vendorId, productId), *this);
}

InterfaceOpen RecordingHidBackend::Record(HidPass& inner, std::uint32_t memberIndex,
                                          HidInterface& out) {
  HidInterface found;
  const InterfaceOpen opened = inner.OpenInterface(memberIndex, found);
  std::unique_ptr<HidConnection> connection = std::move(found.connection);
  const std::string& path = found.path;

  // What the interface shows, asked once here so that a replay can show the
  // same whatever the tool asks of it.
  trace::Line line(writer_.Ms(), "device");
  line.Num("index", memberIndex).Str("open", TraceName(opened));
  if (connection) {
    HidAttributes attributes;
    HidCaps caps;
    std::wstring serial;
    line.Bool("attributes", connection->GetAttributes(attributes))
        .Num("vid", attributes.vendorId)
        .Num("pid", attributes.productId)
        .Num("version", attributes.versionNumber)
        .Bool("caps", connection->GetCaps(caps))
        .Num("usage", caps.usage)
        .Num("usagePage", caps.usagePage)
        .Num("in", caps.inputReportByteLength)
        .Num("out", caps.outputReportByteLength)
        .Num("feature", caps.featureReportByteLength);
    if (connection->GetSerialNumber(serial)) {
      line.Str("serial", Narrow(serial));
    } else {
      line.Null("serial");
    }
  }
  if (opened != InterfaceOpen::NoInterface) line.Str("path", path);
  if (!found.openError.empty()) line.Str("openError", found.openError);
  // Only a change is written: the time of the line is left out of the
  // comparison.
  std::string text = line.Text();
  const std::string what = text.substr(text.find(",\"ev\""));
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

}  // namespace dravlopro
