// dravlopro-sim processes through CreateProcessW. The settings stay in the
// user's application-data folder, which Windows finds in the registry.

#include <windows.h>

#include <string>

#include "base/text.h"
#include "tests/sim/sim_process.h"

namespace dravlopro::testing {

namespace {

// One word of a command line, quoted so that the program's split gives it
// back as it is.
std::wstring CommandLineWord(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // Backslashes before the closing quote are doubled.
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// This process's environment with DRAVLOPRO_SIM_DIR set, as a block for
// CreateProcessW.
std::wstring EnvironmentWith(const std::wstring& benchFolder) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
       entry += std::wcslen(entry) + 1) {
    const std::wstring variable(entry);
    if (ToUpper(variable).rfind(L"DRAVLOPRO_SIM_DIR=", 0) == 0) continue;
    block += variable;
    block += L'\0';
  }
  if (strings != nullptr) FreeEnvironmentStringsW(strings);
  block += L"DRAVLOPRO_SIM_DIR=" + benchFolder;
  block += L'\0';
  block += L'\0';
  return block;
}

// The simulator built beside the test program (under an emulator, the build
// machine's path of it is not one Windows knows).
std::wstring SimProgram() {
  std::wstring name(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  name.resize(length);
  return name.substr(0, name.find_last_of(L"\\/") + 1) + L"dravlopro-sim.exe";
}

}  // namespace

struct SimProcess::Running {
  HANDLE process = nullptr;
};

SimProcess::SimProcess(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                       const std::filesystem::path& output)
    : running_(std::make_unique<Running>()) {
  const std::wstring program = SimProgram();
  std::wstring line = CommandLineWord(program);
  for (const std::string& argument : arguments) line += L" " + CommandLineWord(Widen(argument));
  std::wstring environment = EnvironmentWith((home / "bench").native());

  // Shared for writing: under Wine a console host that took over the child's
  // handles may hold them a moment after the child has ended, and the next
  // run may use the same output file.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = null;
  PROCESS_INFORMATION started = {};
  if (out != INVALID_HANDLE_VALUE &&
      CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr,
                     &startup, &started)) {
    CloseHandle(started.hThread);
    running_->process = started.hProcess;
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
}

SimProcess::~SimProcess() { Wait(); }

int SimProcess::Wait() {
  if (running_->process == nullptr) return -1;
  DWORD code = 0;
  const bool ended = WaitForSingleObject(running_->process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(running_->process, &code);
  CloseHandle(running_->process);
  running_->process = nullptr;
  return ended ? static_cast<int>(code) : -1;
}

}  // namespace dravlopro::testing
