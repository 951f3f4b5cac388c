#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

class StandardStreams : public OutputSink {
 public:
  void Write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  // Without a message box, the message goes to standard error.
  void Alert(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
};

// Standard error: hints, and the progress line when it is a terminal.
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
  static StandardStreams streams;
  return streams;
}

OutputSink& StandardError() {
  static StandardErrorStream stream;
  return stream;
}

bool AlertShowsMessageBox() { return false; }

OutputSink* ProgressTerminal() {
  if (isatty(STDERR_FILENO) != 1) return nullptr;
  return &StandardError();
}

}  // namespace dravlopro::platform
