#include <windows.h>

#include <map>
#include <thread>

#include "base/text.h"
#include "tests/support/process.h"

namespace dravlopro::testing {

namespace {

struct Handle {
  HANDLE value = nullptr;
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  void Close() {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    value = nullptr;
  }
};

// One word of a command line, quoted the way the C runtime and
// CommandLineToArgvW split it again: backslashes count only before a quote.
std::wstring Quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      quoted.append(backslashes * 2 + 1, L'\\');
    else
      quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

// This process's environment with the run's changes, as the sorted block
// CreateProcessW takes. Names compare without regard to case, as Windows does.
std::wstring EnvironmentBlock(const ProcessRun& run) {
  struct NoCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
      return _wcsicmp(a.c_str(), b.c_str()) < 0;
    }
  };
  std::map<std::wstring, std::wstring, NoCase> variables;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    const std::size_t equals = text.find(L'=', 1);  // "=C:=C:\..." entries start with '='
    if (equals == std::wstring::npos) continue;
    variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  if (strings != nullptr) FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : run.set) variables[Widen(name)] = Widen(value);
  for (const std::string& name : run.unset) variables.erase(Widen(name));
  std::wstring block;
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  block.push_back(L'\0');
  return block;
}

void ReadAll(HANDLE pipe, std::string& sink) {
  char chunk[4096];
  DWORD n = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n > 0) sink.append(chunk, n);
}

}  // namespace

ProcessOutcome RunProcess(const ProcessRun& run) {
  ProcessOutcome outcome;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&outRead.value, &outWrite.value, &inherit, 0) ||
      !CreatePipe(&errRead.value, &errWrite.value, &inherit, 0)) {
    return outcome;
  }
  SetHandleInformation(outRead.value, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.value, HANDLE_FLAG_INHERIT, 0);

  std::wstring program = Widen(run.program);
  for (wchar_t& c : program) c = c == L'/' ? L'\\' : c;
  std::wstring commandLine = Quoted(program);
  for (const std::string& argument : run.arguments) commandLine += L" " + Quoted(Widen(argument));
  std::wstring environment = EnvironmentBlock(run);
  const std::wstring directory = run.directory.wstring();

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite.value;
  startup.hStdError = errWrite.value;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process);
  outWrite.Close();
  errWrite.Close();
  if (!started) return outcome;
  Handle processHandle, threadHandle;
  processHandle.value = process.hProcess;
  threadHandle.value = process.hThread;

  std::thread errors([&] { ReadAll(errRead.value, outcome.err); });
  ReadAll(outRead.value, outcome.out);
  errors.join();
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (GetExitCodeProcess(process.hProcess, &code)) outcome.status = static_cast<int>(code);
  return outcome;
}

std::string ConsoleBytes(std::string_view text) {
  std::string bytes;
  for (const char c : text) {
    if (c == '\n') bytes.push_back('\r');
    bytes.push_back(c);
  }
  return bytes;
}

}  // namespace dravlopro::testing
