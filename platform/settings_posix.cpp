#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "settings/ini_settings.h"

namespace dravlopro::platform {

namespace {

std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return {};
  std::filesystem::path path(value);
  return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path HomeFolder() {
  std::filesystem::path home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) return home;
  // No usable $HOME: the account's home folder from the user database.
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// The per-user folder that application settings belong in.
std::filesystem::path PerUserSettingsFolder() {
#ifdef __APPLE__
  const std::filesystem::path home = HomeFolder();
  if (home.empty()) return {};
  return home / "Library" / "Application Support";
#else
  std::filesystem::path config = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
  if (!config.empty()) return config;
  const std::filesystem::path home = HomeFolder();
  if (home.empty()) return {};
  return home / ".config";
#endif
}

}  // namespace

std::unique_ptr<SettingsStore> MakeSettingsStore() {
  return std::make_unique<IniSettingsStore>(PerUserSettingsFolder());
}

}  // namespace dravlopro::platform
