#include <windows.h>
// windows.h first: shlobj.h relies on its types.
#include <shlobj.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/settings_windows.h"

namespace dravlopro::platform {

namespace {

constexpr wchar_t kFolderName[] = L"\\Vexa Dravlo Pro Commander";
constexpr wchar_t kFileName[] = L"\\config.ini";
constexpr wchar_t kSection[] = L"SYSTEM";
constexpr wchar_t kSnKey[] = L"SN";
constexpr DWORD kValueBufferLength = 256;

// The settings file in the roaming application-data folder, read and
// written by the profile-string services.
class ProfileSettingsStore : public SettingsStore {
 public:
  // In the user's own folder when `applicationData` is empty.
  explicit ProfileSettingsStore(std::wstring applicationData = {})
      : applicationData_(std::move(applicationData)) {}

  bool GetSettingsPath(std::filesystem::path& path) override {
    path.clear();
    std::wstring folder = applicationData_;
    if (folder.empty()) {
      wchar_t found[MAX_PATH] = {};
      if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, found))) {
        return false;
      }
      folder = found;
    }
    const std::wstring settingsFolder = folder + kFolderName;
    // Fails harmlessly when the folder exists already.
    CreateDirectoryW(settingsFolder.c_str(), nullptr);
    path = settingsFolder + kFileName;
    return true;
  }

  // Without a settings path there is no file to ask: the profile services
  // would fall back to a file in the Windows folder.
  std::wstring ReadSn(const std::filesystem::path& path) override {
    if (path.empty()) return {};
    wchar_t value[kValueBufferLength] = {};
    GetPrivateProfileStringW(kSection, kSnKey, L"", value, kValueBufferLength, path.c_str());
    return value;
  }

  bool WriteSn(const std::filesystem::path& path, const std::wstring& value) override {
    if (path.empty()) return false;
    return WritePrivateProfileStringW(kSection, kSnKey, value.c_str(), path.c_str()) != 0;
  }

 private:
  std::wstring applicationData_;
};

}  // namespace

std::unique_ptr<SettingsStore> MakeSettingsStore() {
  return std::make_unique<ProfileSettingsStore>();
}

std::unique_ptr<SettingsStore> MakeSettingsStoreIn(const std::filesystem::path& applicationData) {
  return std::make_unique<ProfileSettingsStore>(applicationData.native());
}

}  // namespace dravlopro::platform
