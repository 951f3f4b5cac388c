#pragma once

#include <filesystem>
#include <memory>

#include "settings/settings.h"

namespace dravlopro::platform {

// The profile-string settings store of MakeSettingsStore(), with its settings
// folder in `applicationData` instead of the user's roaming application-data
// folder: for tests, which must leave the user's own settings alone. (The
// system finds that folder in the registry, not in %APPDATA%.)
std::unique_ptr<SettingsStore> MakeSettingsStoreIn(const std::filesystem::path& applicationData);

}  // namespace dravlopro::platform
