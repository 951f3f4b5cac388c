#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "base/run_observer.h"
#include "settings/settings.h"
#include "trace/format.h"

namespace dravlopro::trace {

// Where a replayed run left its trace.
struct Divergence {
  std::int64_t exchange = 0;  // the exchange, counted from 0 as the trace numbers them
  std::string expected;       // what the trace holds there
  std::string actual;         // what the run did instead
  std::wstring command;       // the command word running then; empty before the first
  std::string request;        // the name of the request's command byte, when it sent one
  // The first byte where the run's request differs from the recorded one;
  // -1 unless both are requests.
  long firstDifference = -1;
};

// A recorded field trace in place of the simulated bench: the enumeration
// shows the interfaces the trace saw, the settings file holds what the
// recorded run read from it, and every request gets the recorded answer as
// long as it equals the recorded request byte for byte. The first request
// (or read) that does not match goes to onDivergence, which is expected not
// to return; without it, every later exchange fails.
class Replay : public RunObserver {
 public:
  Replay();
  ~Replay() override;

  // Loads run number `run` (from 1, counting run lines) of the file: the
  // lines that carry its mark, wherever other runs' lines come between,
  // or, for a run of an older build without a mark, the lines after its run
  // line up to the next. False, with the reason, when the file cannot be
  // read or holds no such run.
  bool Load(const std::filesystem::path& file, int run, std::string& problem);
  // The same from a stream; `name` names it in the reasons.
  bool Load(std::istream& in, const std::string& name, int run, std::string& problem);

  HidBackend& hid();
  SettingsStore& settings();

  // After the run: false, with the divergence, when the trace holds
  // exchanges the run never made.
  bool Finished(Divergence& out);

  std::function<void(const Divergence&)> onDivergence;

  // The recorded end: the result code (-1 when the trace has none) and the
  // standard output.
  int recordedResult() const { return recordedResult_; }
  const std::string& recordedOutput() const { return recordedOutput_; }
  // The recorded run's command line, argv[0] first, as its run line holds it.
  const std::vector<std::string>& recordedArgv() const { return recordedArgv_; }

  void CommandStarted(const std::wstring& word) override { command_ = word; }
  void AdapterOpened(const std::wstring&, const std::string&) override {}

  // Used by the replaying backend and its connections.
  struct Device {
    InterfaceOpen open = InterfaceOpen::NoInterface;
    bool hasAttributes = false;
    HidAttributes attributes;
    bool hasCaps = false;
    HidCaps caps;
    std::optional<std::wstring> serial;
    std::string path;
    std::string openError;
  };
  const Device* FindDevice(std::uint32_t index);
  bool Write(const std::uint8_t* report, std::size_t length);
  HidRead Read(std::uint8_t* report, std::size_t length);
  bool Claim();
  void StartScan();
  std::wstring SavedSerial();
  bool SettingsPathFound() const { return settingsPathFound_; }

 private:
  class Backend;
  class Settings;

  void ApplyStateEvents();
  void Apply(const Record& event);
  void Diverge(const Record* expected, const std::string& actual, const std::uint8_t* request,
               std::size_t length);
  const Record* Next();

  std::vector<Record> events_;
  std::size_t cursor_ = 0;
  std::map<std::uint32_t, Device> devices_;
  std::deque<bool> claims_;
  std::wstring savedSerial_;
  bool settingsPathFound_ = true;
  std::int64_t writes_ = 0;
  bool diverged_ = false;
  std::wstring command_;
  int recordedResult_ = -1;
  std::string recordedOutput_;
  std::vector<std::string> recordedArgv_;
  std::unique_ptr<Backend> backend_;
  std::unique_ptr<Settings> settings_;
};

}  // namespace dravlopro::trace
