#include "settings/ini_settings.h"

#include <optional>
#include <system_error>
#include <utility>

#include "settings/ini_file.h"
#include "base/text.h"

namespace dravlopro {

IniSettingsStore::IniSettingsStore(std::filesystem::path base) : base_(std::move(base)) {}

bool IniSettingsStore::GetSettingsPath(std::filesystem::path& path) {
  path.clear();
  if (base_.empty()) return false;
  const std::filesystem::path folder = base_ / kSettingsFolderName;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  path = folder / kSettingsFileName;
  return true;
}

std::wstring IniSettingsStore::ReadSn(const std::filesystem::path& path) {
  if (path.empty()) return {};
  const std::optional<std::string> value = ReadIniValue(path, kSettingsSection, kSettingsSnKey);
  if (!value) return {};
  std::wstring text = Widen(*value);
  text = text.substr(0, text.find(L'\0'));
  if (text.size() > kSettingsValueMaxLength) text.resize(kSettingsValueMaxLength);
  return text;
}

bool IniSettingsStore::WriteSn(const std::filesystem::path& path, const std::wstring& value) {
  if (path.empty()) return false;
  // The value is a C string to the profile services: it ends at a zero.
  const std::wstring upToZero = value.substr(0, value.find(L'\0'));
  return WriteIniValue(path, kSettingsSection, kSettingsSnKey, Narrow(upToZero));
}

}  // namespace dravlopro
