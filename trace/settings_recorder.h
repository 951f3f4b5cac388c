#pragma once

#include "settings/settings.h"
#include "trace/writer.h"

namespace dravlopro::trace {

// A settings store that hands everything to another one and writes to a
// trace what the run read from and saved in the settings file.
class SettingsRecorder : public SettingsStore {
 public:
  SettingsRecorder(SettingsStore& inner, Writer& writer) : inner_(inner), writer_(writer) {}

  bool GetSettingsPath(std::filesystem::path& path) override;
  std::wstring ReadSn(const std::filesystem::path& path) override;
  bool WriteSn(const std::filesystem::path& path, const std::wstring& value) override;
  // The inner store's own cut, not recorded.
  std::wstring CutToBytes(const std::wstring& value, std::size_t maxBytes) const override;

 private:
  SettingsStore& inner_;
  Writer& writer_;
};

}  // namespace dravlopro::trace
