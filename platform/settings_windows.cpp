#include <windows.h>
// windows.h first: shlobj.h relies on its types.
#include <shlobj.h>

#include <cstddef>
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

// One character (one or two UTF-16 units) in the ANSI code page. A
// character the code page lacks becomes one '?', never a look-alike (no
// best-fit mapping). UTF-8 as the ANSI code page holds every character.
std::string ToAnsi(const wchar_t* character, int units) {
  char bytes[8] = {};
  BOOL lacking = FALSE;
  const int length = GetACP() == CP_UTF8
                         ? WideCharToMultiByte(CP_UTF8, 0, character, units, bytes, sizeof(bytes),
                                               nullptr, nullptr)
                         : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, character, units,
                                               bytes, sizeof(bytes), "?", &lacking);
  if (length <= 0 || lacking) return "?";
  return std::string(bytes, static_cast<std::size_t>(length));
}

std::wstring FromAnsi(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, out.data(), length);
  return out;
}

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

  // The profile services create the file in the ANSI code page, so a value
  // is cut in that code page's bytes, a whole character at a time, and read
  // back from them. A character the code page lacks comes back as '?', as
  // it would from such a file: the value then matches no adapter rather
  // than one whose serial number holds a look-alike.
  std::wstring CutToBytes(const std::wstring& value, std::size_t maxBytes) const override {
    std::string bytes;
    std::size_t i = 0;
    while (i < value.size()) {
      const bool pair =
          IS_HIGH_SURROGATE(value[i]) && i + 1 < value.size() && IS_LOW_SURROGATE(value[i + 1]);
      const int units = pair ? 2 : 1;
      const std::string character = ToAnsi(value.data() + i, units);
      if (bytes.size() + character.size() > maxBytes) break;
      bytes += character;
      i += static_cast<std::size_t>(units);
    }
    return FromAnsi(bytes);
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
