#include "sim/sim_replay.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "base/text.h"
#include "protocol/dap.h"
#include "protocol/download.h"

namespace dravlopro::sim {

namespace {

bool IsExchange(const trace::Record& event) {
  const std::string kind = event.Get("ev");
  return kind == "write" || kind == "read";
}

std::string Describe(const trace::Record& event) {
  const std::string kind = event.Get("ev");
  if (kind == "write") return "request " + event.Get("data");
  if (kind == "read") {
    const std::string result = event.Get("result");
    return result == "received" ? "answer read" : "answer read (" + result + ")";
  }
  return kind;
}

InterfaceOpen OpenFromName(const std::string& name) {
  if (name == "opened") return InterfaceOpen::Opened;
  if (name == "cannot-open") return InterfaceOpen::CannotOpen;
  if (name == "other-device") return InterfaceOpen::OtherDevice;
  return InterfaceOpen::NoInterface;
}

std::uint16_t U16(const trace::Record& event, const char* key) {
  return static_cast<std::uint16_t>(event.Int(key, 0));
}

}  // namespace

std::string RequestName(std::uint8_t command) {
  switch (command) {
    case dap::kInfo:
      return "DAP_Info";
    case dap::kHostStatus:
      return "DAP_HostStatus";
    case dap::kConnect:
      return "DAP_Connect";
    case 0x03:
      return "DAP_Disconnect";
    case dap::kTransferConfigure:
      return "DAP_TransferConfigure";
    case dap::kTransfer:
      return "DAP_Transfer";
    case dap::kTransferBlock:
      return "DAP_TransferBlock";
    case dap::kWriteAbort:
      return "DAP_WriteABORT";
    case dap::kSwjPins:
      return "DAP_SWJ_Pins";
    case dap::kSwjClock:
      return "DAP_SWJ_Clock";
    case dap::kSwjSequence:
      return "DAP_SWJ_Sequence";
    case dap::kSwdConfigure:
      return "DAP_SWD_Configure";
    case download::kHeaderCommand:
      return "programming header";
    case download::kDataCommand:
      return "programming data";
    default:
      break;
  }
  return "unknown command";
}

class TraceReplay::Backend : public HidBackend {
 public:
  explicit Backend(TraceReplay& replay) : replay_(replay) {}

  class Connection : public HidConnection {
   public:
    Connection(TraceReplay& replay, const Device& device) : replay_(replay), device_(device) {}
    bool GetAttributes(HidAttributes& out) override {
      out = device_.attributes;
      return device_.hasAttributes;
    }
    bool GetCaps(HidCaps& out) override {
      out = device_.caps;
      return device_.hasCaps;
    }
    bool GetSerialNumber(std::wstring& out) override {
      if (!device_.serial) return false;
      out = *device_.serial;
      return true;
    }
    bool Write(const std::uint8_t* report, std::size_t length) override {
      return replay_.Write(report, length);
    }
    HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t) override {
      return replay_.Read(report, length);
    }
    bool Claim(ClaimWait&) override { return replay_.Claim(); }

   private:
    TraceReplay& replay_;
    // A copy: what the interface showed when it was opened.
    Device device_;
  };

  // A pass shows the interfaces as the recorded passes found them.
  class Pass : public HidPass {
   public:
    explicit Pass(TraceReplay& replay) : replay_(replay) {}
    InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
      const Device* device = replay_.FindDevice(memberIndex);
      if (device == nullptr || device->open == InterfaceOpen::NoInterface) {
        return InterfaceOpen::NoInterface;
      }
      out.path = device->path;
      out.openError = device->openError;
      if (device->open == InterfaceOpen::Opened) {
        out.connection = std::make_unique<Connection>(replay_, *device);
      }
      return device->open;
    }

   private:
    TraceReplay& replay_;
  };

  std::unique_ptr<HidPass> BeginPass(std::uint16_t, std::uint16_t) override {
    replay_.StartScan();
    return std::make_unique<Pass>(replay_);
  }

 private:
  TraceReplay& replay_;
};

class TraceReplay::Settings : public SettingsStore {
 public:
  explicit Settings(TraceReplay& replay) : replay_(replay) {}
  // Nothing is read from or written to this computer's settings.
  bool GetSettingsPath(std::filesystem::path& path) override {
    path = "config.ini";
    return replay_.SettingsPathFound();
  }
  std::wstring ReadSn(const std::filesystem::path&) override { return replay_.SavedSerial(); }
  bool WriteSn(const std::filesystem::path&, const std::wstring&) override { return true; }

 private:
  TraceReplay& replay_;
};

TraceReplay::TraceReplay()
    : backend_(std::make_unique<Backend>(*this)), settings_(std::make_unique<Settings>(*this)) {}

TraceReplay::~TraceReplay() = default;

HidBackend& TraceReplay::hid() { return *backend_; }
SettingsStore& TraceReplay::settings() { return *settings_; }

bool TraceReplay::Load(const std::filesystem::path& file, int run, std::string& problem) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    problem = "cannot read the trace " + file.string();
    return false;
  }
  int runsSeen = 0;
  std::string text;
  std::size_t lineNumber = 0;
  while (std::getline(in, text)) {
    ++lineNumber;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    trace::Record event;
    if (!trace::ParseLine(text, event)) {
      problem = "line " + std::to_string(lineNumber) + " of the trace " + file.string() +
                " is not a trace event";
      return false;
    }
    if (event.Get("ev") == "run") {
      if (++runsSeen == run) {
        const auto argv = event.arrays.find("argv");
        if (argv != event.arrays.end()) recordedArgv_ = argv->second;
      }
      continue;
    }
    if (runsSeen != run) continue;
    const std::string kind = event.Get("ev");
    std::vector<std::uint8_t> answer;
    if (kind == "read" && event.Get("result") == "received" &&
        (!trace::FromHex(event.Get("data"), answer) || answer.empty())) {
      problem = "line " + std::to_string(lineNumber) + " of the trace " + file.string() +
                " is a read without the bytes read";
      return false;
    }
    if (kind == "end") recordedResult_ = static_cast<int>(event.Int("result"));
    if (kind == "out") recordedOutput_ += event.Get("text");
    events_.push_back(std::move(event));
  }
  if (!in.eof()) {
    problem = "cannot read the trace " + file.string() + " to its end";
    return false;
  }
  if (runsSeen < run) {
    problem = "the trace " + file.string() + " holds " + std::to_string(runsSeen) +
              " run(s), not run " + std::to_string(run);
    return false;
  }
  // Settings and interfaces as the run first saw them.
  ApplyStateEvents();
  return true;
}

const trace::Record* TraceReplay::Next() {
  return cursor_ < events_.size() ? &events_[cursor_] : nullptr;
}

void TraceReplay::Apply(const trace::Record& event) {
  const std::string kind = event.Get("ev");
  if (kind == "device") {
    Device& device = devices_[static_cast<std::uint32_t>(event.Int("index", 0))];
    device = Device{};
    device.open = OpenFromName(event.Get("open"));
    device.path = event.Get("path");
    device.openError = event.Get("openError");
    device.hasAttributes = event.Get("attributes") == "true";
    device.attributes.vendorId = U16(event, "vid");
    device.attributes.productId = U16(event, "pid");
    device.attributes.versionNumber = U16(event, "version");
    device.attributes.size = sizeof(HidAttributes);
    device.hasCaps = event.Get("caps") == "true";
    device.caps.usage = U16(event, "usage");
    device.caps.usagePage = U16(event, "usagePage");
    device.caps.inputReportByteLength = U16(event, "in");
    device.caps.outputReportByteLength = U16(event, "out");
    device.caps.featureReportByteLength = U16(event, "feature");
    if (event.Has("serial")) device.serial = Widen(event.Get("serial"));
  } else if (kind == "claim") {
    claims_.push_back(event.Get("ok") == "true");
  } else if (kind == "settings-read") {
    savedSerial_ = Widen(event.Get("sn"));
  } else if (kind == "settings-path") {
    settingsPathFound_ = event.Get("ok") == "true";
  }
}

// Takes in everything up to the next exchange or enumeration pass.
void TraceReplay::ApplyStateEvents() {
  while (const trace::Record* event = Next()) {
    if (IsExchange(*event) || event->Get("ev") == "scan") return;
    Apply(*event);
    ++cursor_;
  }
}

void TraceReplay::StartScan() {
  ApplyStateEvents();
  const trace::Record* event = Next();
  if (event != nullptr && event->Get("ev") == "scan") {
    ++cursor_;
    ApplyStateEvents();
  }
}

const TraceReplay::Device* TraceReplay::FindDevice(std::uint32_t index) {
  const auto found = devices_.find(index);
  return found == devices_.end() ? nullptr : &found->second;
}

bool TraceReplay::Claim() {
  ApplyStateEvents();
  if (claims_.empty()) return true;
  const bool claimed = claims_.front();
  claims_.pop_front();
  return claimed;
}

std::wstring TraceReplay::SavedSerial() {
  ApplyStateEvents();
  return savedSerial_;
}

void TraceReplay::Diverge(const std::string& expected, const std::string& actual,
                          const std::uint8_t* request, std::size_t length) {
  diverged_ = true;
  Divergence divergence;
  divergence.exchange = writes_;
  divergence.expected = expected;
  divergence.actual = actual;
  divergence.command = command_;
  if (request != nullptr && length > 1) divergence.request = RequestName(request[1]);
  if (onDivergence) onDivergence(divergence);
}

bool TraceReplay::Write(const std::uint8_t* report, std::size_t length) {
  if (diverged_) return false;
  ApplyStateEvents();
  const std::string actual = "request " + trace::Hex(report, length);
  const trace::Record* event = Next();
  if (event == nullptr) {
    Diverge("the end of the trace", actual, report, length);
    return false;
  }
  if (event->Get("ev") != "write" || event->Get("data") != trace::Hex(report, length)) {
    Diverge(Describe(*event), actual, report, length);
    return false;
  }
  ++cursor_;
  ++writes_;
  return event->Get("ok") == "true";
}

HidRead TraceReplay::Read(std::uint8_t* report, std::size_t length) {
  if (diverged_) return HidRead::Failed;
  ApplyStateEvents();
  const trace::Record* event = Next();
  if (event == nullptr || event->Get("ev") != "read") {
    Diverge(event == nullptr ? "the end of the trace" : Describe(*event), "answer read", nullptr,
            0);
    return HidRead::Failed;
  }
  ++cursor_;
  const std::string result = event->Get("result");
  if (result == "timeout") return HidRead::TimedOut;
  if (result != "received") return HidRead::Failed;
  std::vector<std::uint8_t> bytes;
  trace::FromHex(event->Get("data"), bytes);
  std::memset(report, 0, length);
  std::memcpy(report, bytes.data(), std::min(length, bytes.size()));
  return HidRead::Received;
}

bool TraceReplay::Finished(Divergence& out) {
  if (diverged_) return false;
  for (std::size_t i = cursor_; i < events_.size(); ++i) {
    if (!IsExchange(events_[i])) continue;
    out = Divergence{};
    out.exchange = writes_;
    out.expected = Describe(events_[i]);
    out.actual = "the end of the run";
    out.command = command_;
    return false;
  }
  return true;
}

}  // namespace dravlopro::sim
