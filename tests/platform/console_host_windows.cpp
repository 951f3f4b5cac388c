// dravlopro_console_host: runs a command line with a console as its
// standard input, output and error, and writes down what the console's
// screen then shows. The console tests start it on a pseudo console, which
// gives it a console of its own but no standard handles to pass on.
//
//   DRAVLOPRO_HOST_COMMAND  the command line to run
//   DRAVLOPRO_HOST_SCREEN   the file that gets the screen's lines: UTF-8,
//                           each line without its trailing blanks, ended by "\n"
//
// The exit status is the command's; 125 when it could not be run, 124 when
// it was still running after 30 s (it is then ended).

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 30000;

std::wstring Variable(const wchar_t* name) {
  std::vector<wchar_t> value(32768);
  const DWORD length = GetEnvironmentVariableW(name, value.data(), 32768);
  if (length == 0 || length >= 32768) return {};
  return std::wstring(value.data(), length);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

// The screen from the top to the cursor's line.
std::string ScreenLines(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(console, &info) == 0) return {};
  std::string lines;
  std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, row.data(), static_cast<DWORD>(row.size()), COORD{0, y},
                                &read);
    std::wstring line(row.data(), read);
    line.erase(line.find_last_not_of(L' ') + 1);
    // The cursor's own line counts only when something is on it.
    if (y == info.dwCursorPosition.Y && line.empty()) break;
    lines += Utf8(line) + "\n";
  }
  return lines;
}

}  // namespace

int main() {
  std::wstring command = Variable(L"DRAVLOPRO_HOST_COMMAND");
  const std::wstring screenFile = Variable(L"DRAVLOPRO_HOST_SCREEN");
  if (command.empty() || screenFile.empty()) return 125;

  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof(inherit);
  inherit.bInheritHandle = TRUE;
  const HANDLE output =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  if (output == INVALID_HANDLE_VALUE || input == INVALID_HANDLE_VALUE) return 125;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process) == 0) {
    return 125;
  }
  DWORD status = 124;
  if (WaitForSingleObject(process.hProcess, kTimeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &status);
  } else {
    TerminateProcess(process.hProcess, 124);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const std::string screen = ScreenLines(output);
  FILE* file = _wfopen(screenFile.c_str(), L"wb");
  if (file == nullptr) return 125;
  std::fwrite(screen.data(), 1, screen.size(), file);
  std::fclose(file);
  return static_cast<int>(status);
}
