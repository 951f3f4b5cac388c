#include "trace/replay.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "base/text.h"
#include "trace/events.h"
#include "trace/request_names.h"

namespace dravlopro::trace {

namespace {

bool Is(const Record& event, std::string_view kind) { return event.Get(field::kEvent) == kind; }

bool IsExchange(const Record& event) { return Is(event, event::kWrite) || Is(event, event::kRead); }

bool IsTrue(const Record& event, std::string_view key) { return event.Get(key) == kTrue; }

constexpr const char* kRequestPrefix = "request ";
constexpr const char* kTraceEnd = "the end of the trace";

std::string Describe(const Record* event) {
  if (event == nullptr) return kTraceEnd;
  if (Is(*event, event::kWrite)) return kRequestPrefix + event->Get(field::kData);
  if (Is(*event, event::kRead)) {
    const std::string result = event->Get(field::kResult);
    return ReadFromName(result) == HidRead::Received ? "answer read"
                                                     : "answer read (" + result + ")";
  }
  return event->Get(field::kEvent);
}

// Where two requests in hex first differ, in bytes (also where the shorter
// one ends); -1 when they do not.
long FirstDifference(const std::string& expected, const std::string& actual) {
  for (std::size_t i = 0; i < expected.size() || i < actual.size(); i += 2) {
    if (expected.compare(i, 2, actual, i, 2) != 0) return static_cast<long>(i / 2);
  }
  return -1;
}

std::uint16_t U16(const Record& event, std::string_view key) {
  return static_cast<std::uint16_t>(event.Int(key, 0));
}

}  // namespace

class Replay::Backend : public HidBackend {
 public:
  explicit Backend(Replay& replay) : replay_(replay) {}

  class Connection : public HidConnection {
   public:
    Connection(Replay& replay, const Device& device) : replay_(replay), device_(device) {}
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
    Replay& replay_;
    // A copy: what the interface showed when it was opened.
    Device device_;
  };

  // A pass shows the interfaces as the recorded passes found them.
  class Pass : public HidPass {
   public:
    explicit Pass(Replay& replay) : replay_(replay) {}
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
    Replay& replay_;
  };

  std::unique_ptr<HidPass> BeginPass(std::uint16_t, std::uint16_t) override {
    replay_.StartScan();
    return std::make_unique<Pass>(replay_);
  }

 private:
  Replay& replay_;
};

class Replay::Settings : public SettingsStore {
 public:
  explicit Settings(Replay& replay) : replay_(replay) {}
  // Nothing is read from or written to this computer's settings.
  bool GetSettingsPath(std::filesystem::path& path) override {
    path = "config.ini";
    return replay_.SettingsPathFound();
  }
  std::wstring ReadSn(const std::filesystem::path&) override { return replay_.SavedSerial(); }
  bool WriteSn(const std::filesystem::path&, const std::wstring&) override { return true; }

 private:
  Replay& replay_;
};

Replay::Replay()
    : backend_(std::make_unique<Backend>(*this)), settings_(std::make_unique<Settings>(*this)) {}

Replay::~Replay() = default;

HidBackend& Replay::hid() { return *backend_; }
SettingsStore& Replay::settings() { return *settings_; }

bool Replay::Load(const std::filesystem::path& file, int run, std::string& problem) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    problem = "cannot read the trace " + file.string();
    return false;
  }
  return Load(in, file.string(), run, problem);
}

bool Replay::Load(std::istream& in, const std::string& name, int run, std::string& problem) {
  int runsSeen = 0;
  // Run `run`'s mark, and whether its lines may still come. Runs of older
  // builds have no mark: their lines follow their run line up to the next.
  std::string mark;
  bool inRun = false;
  std::string text;
  std::size_t lineNumber = 0;
  while (std::getline(in, text)) {
    ++lineNumber;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    Record event;
    if (!ParseLine(text, event)) {
      problem =
          "line " + std::to_string(lineNumber) + " of the trace " + name + " is not a trace event";
      return false;
    }
    if (Is(event, event::kRun)) {
      if (++runsSeen == run) {
        inRun = true;
        mark = event.Get(field::kRunMark);
        const auto argv = event.arrays.find(field::kArgv);
        if (argv != event.arrays.end()) recordedArgv_ = argv->second;
      } else if (mark.empty()) {
        inRun = false;
      }
      continue;
    }
    if (!inRun || event.Get(field::kRunMark) != mark) continue;
    std::vector<std::uint8_t> answer;
    if (Is(event, event::kRead) && ReadFromName(event.Get(field::kResult)) == HidRead::Received &&
        (!FromHex(event.Get(field::kData), answer) || answer.empty())) {
      problem = "line " + std::to_string(lineNumber) + " of the trace " + name +
                " is a read without the bytes read";
      return false;
    }
    if (Is(event, event::kEnd)) recordedResult_ = static_cast<int>(event.Int(field::kResult));
    if (Is(event, event::kOut)) recordedOutput_ += event.Get(field::kText);
    events_.push_back(std::move(event));
  }
  if (!in.eof()) {
    problem = "cannot read the trace " + name + " to its end";
    return false;
  }
  if (runsSeen < run) {
    problem = "the trace " + name + " holds " + std::to_string(runsSeen) + " run(s), not run " +
              std::to_string(run);
    return false;
  }
  // Settings and interfaces as the run first saw them.
  ApplyStateEvents();
  return true;
}

const Record* Replay::Next() { return cursor_ < events_.size() ? &events_[cursor_] : nullptr; }

void Replay::Apply(const Record& event) {
  if (Is(event, event::kDevice)) {
    Device& device = devices_[static_cast<std::uint32_t>(event.Int(field::kIndex, 0))];
    device = Device{};
    device.open = OpenFromName(event.Get(field::kOpen));
    device.path = event.Get(field::kPath);
    device.openError = event.Get(field::kOpenError);
    device.hasAttributes = IsTrue(event, field::kAttributes);
    device.attributes.vendorId = U16(event, field::kVid);
    device.attributes.productId = U16(event, field::kPid);
    device.attributes.versionNumber = U16(event, field::kVersion);
    device.attributes.size = sizeof(HidAttributes);
    device.hasCaps = IsTrue(event, field::kCaps);
    device.caps.usage = U16(event, field::kUsage);
    device.caps.usagePage = U16(event, field::kUsagePage);
    device.caps.inputReportByteLength = U16(event, field::kIn);
    device.caps.outputReportByteLength = U16(event, field::kOutLength);
    device.caps.featureReportByteLength = U16(event, field::kFeature);
    if (event.Has(field::kSerial)) device.serial = Widen(event.Get(field::kSerial));
  } else if (Is(event, event::kClaim)) {
    claims_.push_back(IsTrue(event, field::kOk));
  } else if (Is(event, event::kSettingsRead)) {
    savedSerial_ = Widen(event.Get(field::kSn));
  } else if (Is(event, event::kSettingsPath)) {
    settingsPathFound_ = IsTrue(event, field::kOk);
  }
}

// Takes in everything up to the next exchange or enumeration pass.
void Replay::ApplyStateEvents() {
  while (const Record* event = Next()) {
    if (IsExchange(*event) || Is(*event, event::kScan)) return;
    Apply(*event);
    ++cursor_;
  }
}

void Replay::StartScan() {
  ApplyStateEvents();
  const Record* event = Next();
  if (event != nullptr && Is(*event, event::kScan)) {
    ++cursor_;
    ApplyStateEvents();
  }
}

const Replay::Device* Replay::FindDevice(std::uint32_t index) {
  const auto found = devices_.find(index);
  return found == devices_.end() ? nullptr : &found->second;
}

bool Replay::Claim() {
  ApplyStateEvents();
  if (claims_.empty()) return true;
  const bool claimed = claims_.front();
  claims_.pop_front();
  return claimed;
}

std::wstring Replay::SavedSerial() {
  ApplyStateEvents();
  return savedSerial_;
}

void Replay::Diverge(const Record* expected, const std::string& actual, const std::uint8_t* request,
                     std::size_t length) {
  diverged_ = true;
  Divergence divergence;
  divergence.exchange = writes_;
  divergence.expected = Describe(expected);
  divergence.actual = actual;
  divergence.command = command_;
  if (request != nullptr && length > 1) divergence.request = RequestName(request[1]);
  if (request != nullptr && expected != nullptr && Is(*expected, event::kWrite)) {
    divergence.firstDifference = FirstDifference(expected->Get(field::kData), Hex(request, length));
  }
  if (onDivergence) onDivergence(divergence);
}

bool Replay::Write(const std::uint8_t* report, std::size_t length) {
  if (diverged_) return false;
  ApplyStateEvents();
  const std::string sent = Hex(report, length);
  const Record* event = Next();
  if (event == nullptr || !Is(*event, event::kWrite) || event->Get(field::kData) != sent) {
    Diverge(event, kRequestPrefix + sent, report, length);
    return false;
  }
  ++cursor_;
  ++writes_;
  return IsTrue(*event, field::kOk);
}

HidRead Replay::Read(std::uint8_t* report, std::size_t length) {
  if (diverged_) return HidRead::Failed;
  ApplyStateEvents();
  const Record* event = Next();
  if (event == nullptr || !Is(*event, event::kRead)) {
    Diverge(event, "answer read", nullptr, 0);
    return HidRead::Failed;
  }
  ++cursor_;
  const HidRead result = ReadFromName(event->Get(field::kResult));
  if (result != HidRead::Received) return result;
  std::vector<std::uint8_t> bytes;
  FromHex(event->Get(field::kData), bytes);
  std::memset(report, 0, length);
  if (!bytes.empty()) std::memcpy(report, bytes.data(), std::min(length, bytes.size()));
  return HidRead::Received;
}

bool Replay::Finished(Divergence& out) {
  if (diverged_) return false;
  for (std::size_t i = cursor_; i < events_.size(); ++i) {
    if (!IsExchange(events_[i])) continue;
    out = Divergence{};
    out.exchange = writes_;
    out.expected = Describe(&events_[i]);
    out.actual = "the end of the run";
    out.command = command_;
    return false;
  }
  return true;
}

}  // namespace dravlopro::trace
