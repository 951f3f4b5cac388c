#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "settings/settings.h"

namespace dravlopro::sim {

// A settings file kept in memory.
class MemorySettingsStore : public SettingsStore {
 public:
  bool GetSettingsPath(std::filesystem::path& path) override {
    path = "memory/Vexa Dravlo Pro Commander/config.ini";
    return true;
  }
  std::wstring ReadSn(const std::filesystem::path&) override { return sn.value_or(L""); }
  bool WriteSn(const std::filesystem::path&, const std::wstring& value) override {
    if (failWrites) return false;
    sn = value;
    ++writes;
    return true;
  }
  std::optional<std::wstring> sn;  // nullopt: no file
  bool failWrites = false;         // the file cannot be written (a full disk, a folder)
  int writes = 0;
};

}  // namespace dravlopro::sim
