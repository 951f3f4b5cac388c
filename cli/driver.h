#pragma once

#include <string>
#include <vector>

#include "base/run_observer.h"
#include "commands/run_context.h"

namespace dravlopro {

// One whole run of the tool: argv[0] is the program, the rest the command
// line. Returns the result code, which is the exit status. The observer, when
// given, hears of each command and of the adapter the run talks to.
int RunDriver(const std::vector<std::wstring>& argv, const Environment& environment,
              RunObserver* observer = nullptr);

}  // namespace dravlopro
