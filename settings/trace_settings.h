#pragma once

#include "base/trace_format.h"
#include "settings/settings.h"

namespace dravlopro {

// A settings store that hands everything to another one and writes to a
// trace what the run read from and saved in the settings file.
class RecordingSettingsStore : public SettingsStore {
 public:
  RecordingSettingsStore(SettingsStore& inner, trace::Writer& writer)
      : inner_(inner), writer_(writer) {}

  bool GetSettingsPath(std::filesystem::path& path) override;
  std::wstring ReadSn(const std::filesystem::path& path) override;
  bool WriteSn(const std::filesystem::path& path, const std::wstring& value) override;
  // The inner store's own cut, not recorded.
  std::wstring CutToBytes(const std::wstring& value, std::size_t maxBytes) const override;

 private:
  SettingsStore& inner_;
  trace::Writer& writer_;
};

}  // namespace dravlopro
