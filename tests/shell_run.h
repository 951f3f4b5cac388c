#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace dravlopro::testing {

// What a command line run through the shell left.
struct ShellOutcome {
  int status = -1;  // the exit status, -1 when it did not exit normally
  std::string out;  // standard output
};

// Runs a command line through the shell and collects its standard output;
// the command line itself redirects whatever else it wants kept.
inline ShellOutcome RunShell(const std::string& command) {
  ShellOutcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 4096> chunk{};
  std::size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
    outcome.out.append(chunk.data(), n);
  }
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

}  // namespace dravlopro::testing
