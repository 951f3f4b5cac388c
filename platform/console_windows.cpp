#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

// The most UTF-16 units handed to the console at once.
constexpr std::size_t kConsoleChunkUnits = 4096;

// UTF-16 for the console from the tool's UTF-8 text, every "\n" made
// "\r\n" as the runtime's text mode does for a file (so "\r\n" becomes
// "\r\r\n").
std::wstring ConsoleText(std::string_view text) {
  std::wstring out;
  if (text.empty()) return out;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return out;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  out.reserve(wide.size() + wide.size() / 16);
  for (const wchar_t c : wide) {
    if (c == L'\n') out.push_back(L'\r');
    out.push_back(c);
  }
  return out;
}

// One of the standard streams.
//
// On a console the text goes out as UTF-16 through WriteConsoleW, so that
// every character shows as itself whatever the console's code page.
//
// In a file or a pipe the bytes stay the tool's UTF-8, through the
// runtime's text mode ("\n" becomes "\r\n"): the same bytes as the Linux
// build writes apart from the line ends, which scripts that compare the
// output rely on, and every character survives. The console's or the ANSI
// code page would lose each character outside it, and differ from one
// computer to the next.
class StandardStream {
 public:
  StandardStream(std::FILE* file, DWORD handleId) : file_(file), handleId_(handleId) {}

  void Write(std::string_view text) {
    DWORD mode = 0;
    const HANDLE handle = GetStdHandle(handleId_);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0) {
      std::fflush(file_);  // whatever the runtime still holds comes first
      WriteConsole(handle, ConsoleText(text));
      return;
    }
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }

 private:
  static void WriteConsole(HANDLE handle, const std::wstring& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      std::size_t count = text.size() - done;
      if (count > kConsoleChunkUnits) {
        count = kConsoleChunkUnits;
        // A surrogate pair goes out whole.
        if (IS_HIGH_SURROGATE(text[done + count - 1])) --count;
      }
      DWORD written = 0;
      if (WriteConsoleW(handle, text.data() + done, static_cast<DWORD>(count), &written, nullptr) ==
              0 ||
          written == 0) {
        return;
      }
      done += written;
    }
  }

  std::FILE* file_;
  DWORD handleId_;
};

StandardStream& OutputStream() {
  static StandardStream stream(stdout, STD_OUTPUT_HANDLE);
  return stream;
}

StandardStream& ErrorStream() {
  static StandardStream stream(stderr, STD_ERROR_HANDLE);
  return stream;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

// Standard output; an alert is a message box when somebody can see one,
// and a line on standard error otherwise.
class ConsoleAndMessageBox : public OutputSink {
 public:
  void Write(std::string_view text) override { OutputStream().Write(text); }

  void Alert(std::string_view text) override {
    if (AlertShowsMessageBox()) {
      MessageBoxW(nullptr, FromUtf8(text).c_str(), L"Dravlo Pro Commander", MB_OK);
      return;
    }
    ErrorStream().Write(text);
    ErrorStream().Write("\n");
  }
};

// Standard error: hints, and the progress line when it is a console. The
// line uses only a carriage return and blanks, which every console understands.
class StandardErrorStream : public OutputSink {
 public:
  void Write(std::string_view text) override { ErrorStream().Write(text); }

  void Alert(std::string_view text) override {
    Write(text);
    Write("\n");
  }
};

}  // namespace

OutputSink& StandardOutput() {
  static ConsoleAndMessageBox sink;
  return sink;
}

OutputSink& StandardError() {
  static StandardErrorStream sink;
  return sink;
}

OutputSink* ProgressTerminal() {
  DWORD mode = 0;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE || GetConsoleMode(error, &mode) == 0) {
    return nullptr;
  }
  return &StandardError();
}

// A message box waits until somebody closes it. In a session that nobody
// sees (a service, a build agent: a window station without WSF_VISIBLE) it
// would wait for ever, so there the alert goes to standard error; so it
// does when the window station cannot be asked.
bool AlertShowsMessageBox() {
  const HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) == 0) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace dravlopro::platform
