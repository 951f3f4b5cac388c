#pragma once

#include <filesystem>
#include <string>

#include "settings/settings.h"

namespace dravlopro {

inline constexpr char kSettingsFolderName[] = "Vexa Dravlo Pro Commander";
inline constexpr char kSettingsFileName[] = "config.ini";
inline constexpr char kSettingsSection[] = "SYSTEM";
inline constexpr char kSettingsSnKey[] = "SN";
// The longest value read back: what a 256-character buffer holds.
inline constexpr std::size_t kSettingsValueMaxLength = 255;

// The settings file kept in a per-user base folder with the portable INI
// reader and writer (UTF-8 text).
class IniSettingsStore : public SettingsStore {
 public:
  // base: the per-user folder the settings folder goes into; empty when it
  // could not be determined.
  explicit IniSettingsStore(std::filesystem::path base);

  // base / "Vexa Dravlo Pro Commander" / "config.ini", creating the folder
  // (a failure to create it is ignored). False, with an empty path, when
  // there is no base folder.
  bool GetSettingsPath(std::filesystem::path& path) override;
  // "SN" in "SYSTEM"; empty when the path is empty or the file, section or
  // key is missing.
  std::wstring ReadSn(const std::filesystem::path& path) override;
  // Sets "SN" in "SYSTEM" (an empty value keeps the key with nothing after
  // "="). False when the path is empty or the file could not be written.
  bool WriteSn(const std::filesystem::path& path, const std::wstring& value) override;

 private:
  std::filesystem::path base_;
};

}  // namespace dravlopro
