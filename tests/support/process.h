#pragma once

// Starts the built programs as a user or a build script would, on every
// platform the tests run on, and collects what they leave.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravlopro::testing {

struct ProcessRun {
  std::string program;                 // a path, UTF-8
  std::vector<std::string> arguments;  // UTF-8, passed word for word
  // Variables set for the program, on top of this process's environment.
  std::vector<std::pair<std::string, std::string>> set;
  // Variables the program must not see.
  std::vector<std::string> unset;
  std::filesystem::path directory;  // the working folder; empty keeps this one
};

struct ProcessOutcome {
  int status = -1;  // the exit status; -1 when the program did not start or end normally
  std::string out;  // standard output, byte for byte
  std::string err;  // standard error
};

ProcessOutcome RunProcess(const ProcessRun& run);

// The bytes console text becomes on standard output: the Windows C runtime
// writes in text mode, which turns every "\n" into "\r\n" (so a "\r\n"
// becomes "\r\r\n"); elsewhere the bytes are the text.
std::string ConsoleBytes(std::string_view text);

}  // namespace dravlopro::testing
