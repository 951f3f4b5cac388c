#pragma once

// Programs started by the Windows tests with an exact command line, and what
// they printed.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dravlopro::testing {

// A program built beside the test program (build paths are those of the
// build machine, which under an emulator are not the paths Windows sees).
inline std::filesystem::path BesideThisProgram(const std::wstring& name) {
  std::vector<wchar_t> buffer(32768);
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::filesystem::path(std::wstring(buffer.data(), length)).parent_path() / name;
}

struct ChildRun {
  bool started = false;
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;  // standard output
  std::string err;  // standard error
};

namespace childprocess {

// Everything a pipe's read end gives until the writer closes it, read on a
// thread of its own so that neither pipe of the child fills up.
inline DWORD WINAPI Drain(void* parameter) {
  auto* pipe = static_cast<std::pair<HANDLE, std::string*>*>(parameter);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe->first, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pipe->second->append(buffer, got);
  }
  return 0;
}

}  // namespace childprocess

// Starts `program` with exactly this command line (its first word included),
// in `folder` when given, and waits for it to end.
inline ChildRun RunChild(const std::filesystem::path& program, const std::wstring& commandLine,
                         const std::filesystem::path& folder = {}) {
  ChildRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr;
  HANDLE outWrite = nullptr;
  HANDLE errRead = nullptr;
  HANDLE errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return run;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return run;
  }
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine;  // CreateProcessW may write into it
  run.started =
      CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                     nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process) != 0;
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  std::pair<HANDLE, std::string*> outPipe{outRead, &run.out};
  std::pair<HANDLE, std::string*> errPipe{errRead, &run.err};
  HANDLE errThread = CreateThread(nullptr, 0, childprocess::Drain, &errPipe, 0, nullptr);
  childprocess::Drain(&outPipe);
  if (errThread != nullptr) {
    WaitForSingleObject(errThread, INFINITE);
    CloseHandle(errThread);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  if (run.started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return run;
}

// A command-line word for a path: in quotes, which a path cannot hold.
inline std::wstring Quoted(const std::filesystem::path& path) {
  return L"\"" + path.native() + L"\"";
}

}  // namespace dravlopro::testing
