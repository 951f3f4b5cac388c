#include "trace/session.h"

#include "base/text.h"
#include "platform/trace_file.h"
#include "trace/events.h"

namespace dravlopro::trace {

class Session::TeeOutput : public OutputSink {
 public:
  TeeOutput(OutputSink& inner, Writer& writer) : inner_(inner), writer_(writer) {}
  void Write(std::string_view text) override {
    inner_.Write(text);
    writer_.Write(writer_.Event(event::kOut).Str(field::kText, text));
  }
  void Alert(std::string_view text) override {
    inner_.Alert(text);
    writer_.Write(writer_.Event(event::kAlert).Str(field::kText, text));
  }

 private:
  OutputSink& inner_;
  Writer& writer_;
};

Session::Session(const std::filesystem::path& file, const std::vector<std::wstring>& argv,
                 const std::string& versionText) {
  if (file.empty()) return;
  if (!writer_.Open(file, openProblem_)) {
    openProblem_ = "cannot write the trace file " + platform::NameText(file) + ": " + openProblem_;
    return;
  }
  opened_ = true;
  std::vector<std::string> words;
  for (const std::wstring& word : argv) words.push_back(Narrow(word));
  writer_.Write(writer_.First(event::kRun)
                    .Num(field::kFormat, kFormatNumber)
                    .Str(field::kVersion, versionText)
                    .Str(field::kPlatform, platform::TracePlatformName())
                    .Strs(field::kArgv, words));
}

HidBackend& Session::Wrap(HidBackend& hid) {
  if (!opened_) return hid;
  hid_ = std::make_unique<HidRecorder>(hid, writer_);
  return *hid_;
}

SettingsStore& Session::Wrap(SettingsStore& settings) {
  if (!opened_) return settings;
  settings_ = std::make_unique<SettingsRecorder>(settings, writer_);
  return *settings_;
}

OutputSink& Session::Wrap(OutputSink& out) {
  if (!opened_) return out;
  out_ = std::make_unique<TeeOutput>(out, writer_);
  return *out_;
}

void Session::CommandStarted(const std::wstring& word) {
  writer_.Write(writer_.Event(event::kCommand).Str(field::kWord, Narrow(word)));
}

void Session::AdapterOpened(const std::wstring& serial, const std::string& version) {
  // The driver tells for every command; the trace keeps the changes.
  if (adapterWritten_ && serial == lastSerial_ && version == lastVersion_) return;
  adapterWritten_ = true;
  lastSerial_ = serial;
  lastVersion_ = version;
  writer_.Write(writer_.Event(event::kAdapter)
                    .Str(field::kSerial, Narrow(serial))
                    .Str(field::kVersion, version));
}

void Session::End(int resultCode) {
  if (!opened_) return;
  writer_.Write(writer_.Event(event::kEnd).Num(field::kResult, resultCode));
}

}  // namespace dravlopro::trace
