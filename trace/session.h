#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "base/console.h"
#include "base/run_observer.h"
#include "settings/settings.h"
#include "trace/hid_recorder.h"
#include "trace/settings_recorder.h"
#include "trace/writer.h"

namespace dravlopro::trace {

// The field trace of one run, when the front end was asked for one: it
// writes the run's context (the version text it is given, the platform, the
// command line), hands the front end recording stand-ins for the HID
// backend, the settings store and the console, hears from the driver which command runs on which
// adapter, and ends with the result code. Without a file it stands aside: every Wrap() gives back
// what it was handed and observer() is null.
class Session : public RunObserver {
 public:
  // An empty file name: no trace.
  Session(const std::filesystem::path& file, const std::vector<std::wstring>& argv,
          const std::string& versionText);

  // Why the file named could not be opened; empty when it could, or when
  // no file was named. The run goes on without a trace.
  const std::string& openProblem() const { return openProblem_; }
  // True when the file was opened but a later write failed.
  bool failedLater() const { return writer_.open() == false && opened_; }

  HidBackend& Wrap(HidBackend& hid);
  SettingsStore& Wrap(SettingsStore& settings);
  OutputSink& Wrap(OutputSink& out);
  RunObserver* observer() { return opened_ ? this : nullptr; }

  void CommandStarted(const std::wstring& word) override;
  void AdapterOpened(const std::wstring& serial, const std::string& version) override;
  void End(int resultCode);

 private:
  class TeeOutput;

  Writer writer_;
  bool opened_ = false;
  std::string openProblem_;
  std::wstring lastSerial_;
  std::string lastVersion_;
  bool adapterWritten_ = false;
  std::unique_ptr<HidRecorder> hid_;
  std::unique_ptr<SettingsRecorder> settings_;
  std::unique_ptr<OutputSink> out_;
};

}  // namespace dravlopro::trace
