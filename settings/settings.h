#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace dravlopro {

// The per-user settings file that remembers the default adapter: section
// "SYSTEM", key "SN".
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The settings-file path; creates its folder. False when the per-user
  // folder cannot be determined (the path stays empty).
  virtual bool GetSettingsPath(std::filesystem::path& path) = 0;
  // The saved value of "SN" (empty when the file, section or key is
  // missing), at most 255 characters.
  virtual std::wstring ReadSn(const std::filesystem::path& path) = 0;
  virtual bool WriteSn(const std::filesystem::path& path, const std::wstring& value) = 0;
  // The value cut to at most maxBytes bytes of the 8-bit text the store
  // keeps its values in, never inside a character, and read back. Here
  // that text is UTF-8; a store that keeps another encoding overrides it.
  virtual std::wstring CutToBytes(const std::wstring& value, std::size_t maxBytes) const;
};

}  // namespace dravlopro
