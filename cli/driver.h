#pragma once

#include <string>
#include <vector>

#include "commands/run_context.h"

namespace dravlopro {

// One whole run of the tool: argv[0] is the program, the rest the command
// line. Returns the result code, which is the exit status.
int RunDriver(const std::vector<std::wstring>& argv, const Environment& environment);

}  // namespace dravlopro
