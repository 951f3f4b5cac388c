// Shared files through the Windows file API. Windows renames over a file
// only when nobody has it open, and moves an open file aside only when every
// handle on it shares deletion; readers here share it.

#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>
#include <system_error>
#include <vector>

#include "platform/shared_file.h"
#include "platform/unique_letters_windows.h"

namespace dravlopro::platform {

namespace {

// Tries of a replacement that another process holds up, and the pause
// between them: a reader takes a few milliseconds for a whole file, a virus
// scanner looking at a new file not much more.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplacePauseMs = 50;
// Names tried before giving up on a temporary file.
constexpr int kTemporaryAttempts = 64;
// FileRenameInfoEx among the classes of SetFileInformationByHandle (Windows 10
// version 1607 on), which headers for older versions leave out.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool WriteAll(HANDLE handle, std::string_view bytes) {
  constexpr std::size_t kMaxChunk = 1u << 30;
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() < kMaxChunk ? bytes.size() : kMaxChunk);
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

// The file's own name, without its folder.
std::wstring BaseName(const std::wstring& file) {
  const std::size_t split = file.find_last_of(L"\\/:");
  return split == std::wstring::npos ? file : file.substr(split + 1);
}

// Gives the open file `handle` the name `name` in its own folder, over a file
// of that name even while readers that share deletion have it open. Only
// file systems with POSIX rename semantics do that (NTFS on Windows 10 and
// later); elsewhere this fails and changes nothing.
bool RenameOverWithPosixSemantics(HANDLE handle, const std::wstring& name) {
  const std::size_t nameBytes = name.size() * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, name.data(), nameBytes);
  return SetFileInformationByHandle(handle, kFileRenameInfoEx, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
}

// Another process has the file open, or has just had: worth another try.
bool HeldUp(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
}

// Puts the temporary file in the place of `target`. The error of the last
// step when it fails.
bool PlaceTemporary(const std::wstring& temporary, const std::wstring& target, DWORD& error) {
  // Nobody has the file open: one rename, in one step.
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  error = GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
  // Readers have it open: the old file moves aside under a name of its own,
  // where they go on reading it, and the new one takes its name. Once the
  // readers are done, the old file goes.
  const std::wstring aside = target + L"." + UniqueLetters() + L".old";
  if (ReplaceFileW(target.c_str(), temporary.c_str(), aside.c_str(),
                   REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                   nullptr)) {
    DeleteFileW(aside.c_str());
    return true;
  }
  error = GetLastError();
  // The old file was moved aside but the new one could not follow: the old
  // one goes back.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(aside.c_str(), target.c_str(), 0);
  return false;
}

}  // namespace

SharedFileReader::SharedFileReader(const std::filesystem::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    opened_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SharedRead::Missing
                                                                             : SharedRead::Failed;
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  opened_ = SharedRead::Read;
}

SharedFileReader::~SharedFileReader() {
  if (opened_ == SharedRead::Read) CloseHandle(AsHandle(handle_));
}

bool SharedFileReader::ReadAll(std::string& out) {
  if (opened_ != SharedRead::Read) return false;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    out.append(buffer, got);
  }
}

SharedRead ReadSharedFile(const std::filesystem::path& file, std::string& out) {
  SharedFileReader reader(file);
  if (reader.opened() != SharedRead::Read) return reader.opened();
  return reader.ReadAll(out) ? SharedRead::Read : SharedRead::Failed;
}

bool ReplaceSharedFile(const std::filesystem::path& file, std::string_view bytes) {
  // A full name: the replacement services do not all take relative ones.
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(file, error);
  const std::wstring target = error ? file.native() : full.native();
  // Only a file is replaced; a folder of that name would be moved aside.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  std::wstring temporary;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kTemporaryAttempts && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = target + L"." + UniqueLetters() + L".tmp";
    handle =
        CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (!WriteAll(handle, bytes)) {
    CloseHandle(handle);
    DeleteFileW(temporary.c_str());
    return false;
  }
  const bool renamed = RenameOverWithPosixSemantics(handle, BaseName(target));
  CloseHandle(handle);
  if (renamed) return true;

  for (int attempt = 1;; ++attempt) {
    DWORD error = 0;
    if (PlaceTemporary(temporary, target, error)) return true;
    if (!HeldUp(error) || attempt == kReplaceAttempts) break;
    Sleep(kReplacePauseMs);
  }
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace dravlopro::platform
