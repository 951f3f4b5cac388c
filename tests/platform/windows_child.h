#pragma once

// Running a program as a child process on Windows, for the tests of what
// only Windows shows: its standard output and error in files or pipes, in
// a window station of the test's choice, never for longer than a timeout.

#include <windows.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dravlopro::testing {

struct ChildOutcome {
  bool finished = false;  // false: still running at the timeout, then ended by force
  DWORD exitCode = 0;
  std::string out;  // the bytes of standard output
  std::string err;  // the bytes of standard error
};

enum class Capture { Files, Pipes };

struct ChildSetup {
  std::wstring commandLine;
  // Set in the child's environment.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  // "STATION\DESKTOP" to start the child there; empty: the test's own.
  std::wstring desktop;
  Capture capture = Capture::Files;
  DWORD timeoutMs = 30000;
};

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~UniqueHandle() { Close(); }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = nullptr;
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = nullptr;
};

// A program path as the system takes it (the build names it with forward
// slashes, and under Wine without a drive).
inline std::wstring WindowsPath(const std::filesystem::path& path) {
  return std::filesystem::absolute(path).make_preferred().wstring();
}

inline std::wstring Quoted(const std::wstring& word) { return L"\"" + word + L"\""; }

// Sets environment variables for as long as it lives; children started
// meanwhile inherit them.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    for (const auto& [name, value] : values) {
      wchar_t old[32768];
      const DWORD length = GetEnvironmentVariableW(name.c_str(), old, 32768);
      if (length > 0 && length < 32768) {
        saved_.emplace_back(name, std::wstring(old, length));
      } else {
        unset_.push_back(name);
      }
      SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name.c_str(), value.c_str());
    for (const std::wstring& name : unset_) SetEnvironmentVariableW(name.c_str(), nullptr);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> saved_;
  std::vector<std::wstring> unset_;
};

namespace child_detail {

inline SECURITY_ATTRIBUTES Inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.bInheritHandle = TRUE;
  return attributes;
}

// A file the child writes to, deleted when the handle closes.
inline UniqueHandle TemporaryFile() {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, folder);
  GetTempFileNameW(folder, L"drv", 0, name);
  SECURITY_ATTRIBUTES attributes = Inheritable();
  return UniqueHandle(CreateFileW(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &attributes, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

inline std::string ReadToEnd(HANDLE handle) {
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(handle, chunk, sizeof(chunk), &got, nullptr) != 0 && got > 0) {
    bytes.append(chunk, got);
  }
  return bytes;
}

inline std::string ReadFileFromStart(HANDLE handle) {
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  return ReadToEnd(handle);
}

}  // namespace child_detail

// Runs the command line and waits for it, at most setup.timeoutMs.
inline ChildOutcome RunChild(const ChildSetup& setup) {
  using namespace child_detail;
  ChildOutcome outcome;
  UniqueHandle out;
  UniqueHandle err;
  UniqueHandle outRead;
  UniqueHandle errRead;
  if (setup.capture == Capture::Files) {
    out = TemporaryFile();
    err = TemporaryFile();
  } else {
    SECURITY_ATTRIBUTES attributes = Inheritable();
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &attributes, 0);
    outRead = UniqueHandle(readEnd);
    out = UniqueHandle(writeEnd);
    CreatePipe(&readEnd, &writeEnd, &attributes, 0);
    errRead = UniqueHandle(readEnd);
    err = UniqueHandle(writeEnd);
    // The child gets the write ends only.
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);
  }
  SECURITY_ATTRIBUTES attributes = Inheritable();
  UniqueHandle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                              OPEN_EXISTING, 0, nullptr));
  if (!out.valid() || !err.valid() || !in.valid()) return outcome;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.get();
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  std::wstring desktop = setup.desktop;
  if (!desktop.empty()) startup.lpDesktop = desktop.data();
  std::wstring commandLine = setup.commandLine;
  PROCESS_INFORMATION process{};
  {
    const ScopedEnvironment environment(setup.environment);
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process) == 0) {
      return outcome;
    }
  }
  const UniqueHandle processHandle(process.hProcess);
  const UniqueHandle threadHandle(process.hThread);

  std::thread outReader;
  std::thread errReader;
  if (setup.capture == Capture::Pipes) {
    // Only the child holds the write ends now: its end is the pipes' end.
    out.Close();
    err.Close();
    outReader = std::thread([&] { outcome.out = ReadToEnd(outRead.get()); });
    errReader = std::thread([&] { outcome.err = ReadToEnd(errRead.get()); });
  }
  if (WaitForSingleObject(process.hProcess, setup.timeoutMs) == WAIT_OBJECT_0) {
    outcome.finished = true;
  } else {
    TerminateProcess(process.hProcess, 999);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  if (setup.capture == Capture::Pipes) {
    outReader.join();
    errReader.join();
  } else {
    outcome.out = ReadFileFromStart(out.get());
    outcome.err = ReadFileFromStart(err.get());
  }
  return outcome;
}

}  // namespace dravlopro::testing
