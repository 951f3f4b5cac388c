#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

class ConsoleAndMessageBox : public OutputSink {
 public:
  void Write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  void Alert(std::string_view text) override {
    MessageBoxW(nullptr, FromUtf8(text).c_str(), L"Dravlo Pro Commander", MB_OK);
  }
};

// Standard error: hints, and the progress line when it is a console. The
// line uses only a carriage return and blanks, which every console understands.
class StandardErrorStream : public OutputSink {
 public:
  void Write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }

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

}  // namespace dravlopro::platform
