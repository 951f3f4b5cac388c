#pragma once

#include <string>

namespace dravlopro {

// Told by the driver what the run is doing, for a front end that keeps a
// record of it (a field trace). It prints nothing.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A command word, as typed, is about to run.
  virtual void CommandStarted(const std::wstring& word) = 0;
  // The run talks to the adapter with this serial number and version text.
  virtual void AdapterOpened(const std::wstring& serial, const std::string& version) = 0;
};

}  // namespace dravlopro
