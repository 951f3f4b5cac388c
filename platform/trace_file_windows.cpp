#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "platform/trace_file.h"

namespace dravlopro::platform {

namespace {

// The C library's reason for what the system answered, as its own file
// functions would give it.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EINVAL;
  }
}

}  // namespace

struct TraceFile::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
};

TraceFile::TraceFile() : handle_(std::make_unique<Handle>()) {}

TraceFile::~TraceFile() { Close(); }

bool TraceFile::Open(const std::filesystem::path& name, std::string& reason) {
  Close();
  // Appending only: every write goes to the end of the file in one step,
  // whoever else appends at the same time.
  handle_->file = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_->file == INVALID_HANDLE_VALUE) {
    reason = std::strerror(ErrnoOf(GetLastError()));
    return false;
  }
  return true;
}

bool TraceFile::Write(std::string_view line) {
  if (handle_->file == INVALID_HANDLE_VALUE) return false;
  while (!line.empty()) {
    DWORD written = 0;
    const DWORD chunk = line.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(line.size());
    if (!WriteFile(handle_->file, line.data(), chunk, &written, nullptr) || written == 0) {
      return false;
    }
    line.remove_prefix(written);
  }
  return true;
}

void TraceFile::Close() {
  if (handle_->file != INVALID_HANDLE_VALUE) CloseHandle(handle_->file);
  handle_->file = INVALID_HANDLE_VALUE;
}

bool TraceFile::is_open() const { return handle_->file != INVALID_HANDLE_VALUE; }

std::filesystem::path TraceFileName() {
  const wchar_t* named = _wgetenv(L"DRAVLOPRO_TRACE");
  return named != nullptr ? std::filesystem::path(named) : std::filesystem::path();
}

std::string NameText(const std::filesystem::path& name) { return Narrow(name.wstring()); }

const char* TracePlatformName() { return "windows"; }

}  // namespace dravlopro::platform
