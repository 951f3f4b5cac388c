#include "cli/trace_session.h"

#include "base/text.h"
#include "cli/results.h"

namespace dravlopro {

class TraceSession::TeeOutput : public OutputSink {
 public:
  TeeOutput(OutputSink& inner, trace::Writer& writer) : inner_(inner), writer_(writer) {}
  void Write(std::string_view text) override {
    inner_.Write(text);
    writer_.Write(trace::Line(writer_.Ms(), "out").Str("text", text));
  }
  void Alert(std::string_view text) override {
    inner_.Alert(text);
    writer_.Write(trace::Line(writer_.Ms(), "alert").Str("text", text));
  }

 private:
  OutputSink& inner_;
  trace::Writer& writer_;
};

TraceSession::TraceSession(const std::filesystem::path& file,
                           const std::vector<std::wstring>& argv) {
  if (file.empty()) return;
  if (!writer_.Open(file, openProblem_)) {
#ifdef _WIN32
    const std::string name = Narrow(file.wstring());
#else
    const std::string name = file.string();
#endif
    openProblem_ = "cannot write the trace file " + name + ": " + openProblem_;
    return;
  }
  opened_ = true;
  std::vector<std::string> words;
  for (const std::wstring& word : argv) words.push_back(Narrow(word));
  writer_.Write(trace::Line("run")
                    .Num("format", 1)
                    .Str("version", kVersionText)
                    .Str("platform", trace::PlatformName())
                    .Strs("argv", words));
}

HidBackend& TraceSession::Wrap(HidBackend& hid) {
  if (!opened_) return hid;
  hid_ = std::make_unique<RecordingHidBackend>(hid, writer_);
  return *hid_;
}

SettingsStore& TraceSession::Wrap(SettingsStore& settings) {
  if (!opened_) return settings;
  settings_ = std::make_unique<RecordingSettingsStore>(settings, writer_);
  return *settings_;
}

OutputSink& TraceSession::Wrap(OutputSink& out) {
  if (!opened_) return out;
  out_ = std::make_unique<TeeOutput>(out, writer_);
  return *out_;
}

void TraceSession::CommandStarted(const std::wstring& word) {
  writer_.Write(trace::Line(writer_.Ms(), "command").Str("word", Narrow(word)));
}

void TraceSession::AdapterOpened(const std::wstring& serial, const std::string& version) {
  // The driver tells for every command; the trace keeps the changes.
  if (adapterWritten_ && serial == lastSerial_ && version == lastVersion_) return;
  adapterWritten_ = true;
  lastSerial_ = serial;
  lastVersion_ = version;
  writer_.Write(
      trace::Line(writer_.Ms(), "adapter").Str("serial", Narrow(serial)).Str("version", version));
}

void TraceSession::End(int resultCode) {
  if (!opened_) return;
  writer_.Write(trace::Line(writer_.Ms(), "end").Num("result", resultCode));
}

}  // namespace dravlopro
