#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "commands/run_context.h"

namespace dravlopro::gdb {

// What the server program needs of the system beyond the tool's
// environment.
struct ProgramHooks {
  std::function<std::unique_ptr<StreamListener>(const std::string& address, std::uint16_t port,
                                                std::string& problem)>
      listen;
  std::function<bool()> stopRequested = [] { return false; };
};

// The debugger server program: argv[0] is the program, then
//   [-id ID | -sn SN] [--port N] [--bind ADDRESS] [--once] [-q]
// It selects the adapter as the tool does, holds it while it serves, and
// serves one client at a time. Returns the exit status (ServerExit).
int RunGdbProgram(const std::vector<std::wstring>& argv, const Environment& environment,
                  const ProgramHooks& hooks);

// The usage text.
std::string GdbUsage(const std::string& program);

}  // namespace dravlopro::gdb
