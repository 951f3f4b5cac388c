// Output files through the Windows file API.

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <utility>

#include "platform/output_file.h"
#include "platform/unique_letters_windows.h"

namespace dravlopro::platform {

namespace {

// A handle owned by one object.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  // Closes it; false when the close reported a failure.
  bool Close() { return handle_ == nullptr || CloseHandle(std::exchange(handle_, nullptr)) != 0; }
  void Reset() {
    if (handle_ != nullptr) CloseHandle(std::exchange(handle_, nullptr));
  }

 private:
  HANDLE handle_ = nullptr;
};

// The temporary file that Ctrl-C, Ctrl-Break or closing the console removes
// before the run ends; one at a time. The console runs its handlers on a
// thread of their own, so the name is only touched under the lock.
SRWLOCK pendingLock = SRWLOCK_INIT;
const wchar_t* pendingTemporary = nullptr;

class PendingLocked {
 public:
  PendingLocked() { AcquireSRWLockExclusive(&pendingLock); }
  ~PendingLocked() { ReleaseSRWLockExclusive(&pendingLock); }
  PendingLocked(const PendingLocked&) = delete;
  PendingLocked& operator=(const PendingLocked&) = delete;
};

// Removes the pending temporary file; the next handler, in the end the
// default one, then ends the run.
BOOL WINAPI RemoveTemporaryOnStop(DWORD) {
  PendingLocked locked;
  if (pendingTemporary != nullptr) DeleteFileW(pendingTemporary);
  return FALSE;
}

// Writes all the bytes, however many calls that takes.
bool WriteAll(HANDLE handle, const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kMaxChunk = 1u << 30;
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Copies everything in `from` into `to` from its start, replacing what it held.
bool CopyInto(HANDLE from, HANDLE to) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(to, start, nullptr, FILE_BEGIN) || !SetEndOfFile(to)) return false;
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    if (!WriteAll(to, buffer, got)) return false;
  }
}

// The full name of the file a handle has open, links resolved; empty when
// it cannot be had.
std::wstring FinalName(HANDLE handle) {
  std::wstring name(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(length);
  }
  return {};
}

// Names tried before giving up on a temporary file.
constexpr int kTemporaryAttempts = 64;

}  // namespace

struct OutputFile::State {
  enum class Mode { kClosed, kReplace, kInPlace, kDirect };

  Mode mode = Mode::kClosed;
  bool failed = false;
  DWORD error = 0;        // GetLastError() of the first failure
  bool existing = false;  // the temporary replaces a file that is there
  bool guarded = false;   // this temporary is the one the stop handler removes
  // The destination as opened: written in place and direct.
  Handle destination;
  Handle temporary;
  std::wstring finalName;  // the file the temporary replaces
  std::wstring temporaryName;

  // Keeps the last error as the reason, unless an earlier failure gave one.
  void Note() {
    if (error == 0) error = GetLastError();
  }

  // A temporary file in the folder of finalName.
  bool CreateTemporary() {
    const std::size_t split = finalName.find_last_of(L"\\/:");
    const std::wstring folder = split == std::wstring::npos ? L"" : finalName.substr(0, split + 1);
    const std::wstring base = split == std::wstring::npos ? finalName : finalName.substr(split + 1);
    if (base.empty()) return false;
    SetConsoleCtrlHandler(RemoveTemporaryOnStop, TRUE);
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
      temporaryName = folder + L"." + base + L"." + UniqueLetters() + L".tmp";
      PendingLocked locked;
      temporary = Handle(CreateFileW(temporaryName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!temporary.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        break;
      }
      if (pendingTemporary == nullptr) {
        pendingTemporary = temporaryName.c_str();
        guarded = true;
      }
      break;
    }
    if (!guarded) SetConsoleCtrlHandler(RemoveTemporaryOnStop, FALSE);
    return temporary.valid();
  }

  void DropTemporary() {
    {
      PendingLocked locked;
      temporary.Reset();
      DeleteFileW(temporaryName.c_str());
      if (guarded) pendingTemporary = nullptr;
    }
    Unguard();
  }

  void Unguard() {
    if (!guarded) return;
    SetConsoleCtrlHandler(RemoveTemporaryOnStop, FALSE);
    guarded = false;
  }

  // Writes the opened regular file itself, emptied first as a plain open
  // would empty it.
  bool UseInPlace() {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(destination.get(), start, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(destination.get())) {
      return false;
    }
    mode = Mode::kInPlace;
    return true;
  }

  void Open(const std::filesystem::path& name) {
    destination =
        Handle(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!destination.valid()) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) {
        OpenNew(name);
      } else {
        Note();
      }
      return;
    }
    // NUL, CON, COM1, pipes: written as they are.
    if (GetFileType(destination.get()) != FILE_TYPE_DISK) {
      mode = Mode::kDirect;
      return;
    }
    // A file with other names keeps them all.
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(destination.get(), &information) ||
        information.nNumberOfLinks > 1) {
      UseInPlace();
      return;
    }
    finalName = FinalName(destination.get());
    if (!finalName.empty() && CreateTemporary()) {
      existing = true;
      mode = Mode::kReplace;
      return;
    }
    UseInPlace();
  }

  // A name where there is no file yet.
  void OpenNew(const std::filesystem::path& name) {
    finalName = name.native();
    if (CreateTemporary()) {
      mode = Mode::kReplace;
      return;
    }
    // Where no temporary file can be made, the plain open decides.
    destination =
        Handle(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!destination.valid()) return Note();
    mode = GetFileType(destination.get()) == FILE_TYPE_DISK ? Mode::kInPlace : Mode::kDirect;
  }

  // Puts the temporary file in the place of the existing file; the replaced
  // file's attributes and security go to its successor. The old file is
  // moved aside under a name of this run's choosing and then removed: left
  // to choose one, Wine's ReplaceFileW leaves a file of its own behind when
  // the replacement fails.
  bool ReplaceExisting() {
    const std::size_t split = finalName.find_last_of(L"\\/:");
    const std::wstring folder = split == std::wstring::npos ? L"" : finalName.substr(0, split + 1);
    const std::wstring base = split == std::wstring::npos ? finalName : finalName.substr(split + 1);
    const std::wstring aside = folder + L"." + base + L"." + UniqueLetters() + L".old";
    if (ReplaceFileW(finalName.c_str(), temporaryName.c_str(), aside.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr)) {
      DeleteFileW(aside.c_str());
      return true;
    }
    // Moved aside, but the new file could not follow: the old one goes back.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      MoveFileExW(aside.c_str(), finalName.c_str(), 0);
    }
    return false;
  }

  bool Replace() {
    if (!FlushFileBuffers(temporary.get())) {
      Note();
      DropTemporary();
      return false;
    }
    destination.Reset();
    bool placed = false;
    {
      PendingLocked locked;
      temporary.Reset();
      placed = existing ? ReplaceExisting()
                        : MoveFileExW(temporaryName.c_str(), finalName.c_str(),
                                      MOVEFILE_REPLACE_EXISTING) != 0;
      if (placed && guarded) pendingTemporary = nullptr;
    }
    if (placed) {
      Unguard();
      return true;
    }
    // A file that cannot be replaced is written in place.
    bool copied = false;
    if (existing) {
      Handle from(CreateFileW(temporaryName.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      Handle to(CreateFileW(finalName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      copied = from.valid() && to.valid() && CopyInto(from.get(), to.get()) && to.Close();
    }
    if (!copied) Note();
    DropTemporary();
    return copied;
  }
};

OutputFile::OutputFile(const std::filesystem::path& name) : state_(std::make_unique<State>()) {
  state_->Open(name);
  if (state_->mode == State::Mode::kClosed) state_->destination.Reset();
}

OutputFile::~OutputFile() {
  if (state_->mode == State::Mode::kReplace) state_->DropTemporary();
}

bool OutputFile::is_open() const { return state_->mode != State::Mode::kClosed; }

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  State& s = *state_;
  if (s.failed) return false;
  switch (s.mode) {
    case State::Mode::kClosed:
      s.failed = true;
      break;
    case State::Mode::kReplace:
      s.failed = !WriteAll(s.temporary.get(), bytes.data(), bytes.size());
      break;
    case State::Mode::kInPlace:
    case State::Mode::kDirect:
      s.failed = !WriteAll(s.destination.get(), bytes.data(), bytes.size());
      break;
  }
  if (s.failed) s.Note();
  return !s.failed;
}

bool OutputFile::Commit() {
  State& s = *state_;
  const State::Mode mode = std::exchange(s.mode, State::Mode::kClosed);
  if (mode == State::Mode::kClosed) return false;
  if (mode == State::Mode::kReplace) {
    if (s.failed) {
      s.DropTemporary();
      return false;
    }
    return s.Replace();
  }
  const bool closed = s.destination.Close();
  if (!closed) s.Note();
  return closed && !s.failed;
}

// The common reasons in the words the other systems use ("No such file or
// directory", "Permission denied"); the rest in the system's own.
std::error_code OutputFile::error() const {
  switch (state_->error) {
    case 0:
      return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    default:
      return std::error_code(static_cast<int>(state_->error), std::system_category());
  }
}

}  // namespace dravlopro::platform
