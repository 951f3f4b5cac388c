#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/run_context.h"

namespace dravlopro {

// Checks the whole argument list once, before anything runs. Returns 0, 1
// or 3; sets quiet, and targetId / targetSn from "-id" / "-sn".
int ValidateArguments(const std::vector<std::wstring>& argv, std::wstring& targetSn,
                      std::int32_t& targetId, std::uint32_t& quiet);

// One whole run of the tool: argv[0] is the program, the rest the command
// line. Returns the result code, which is the exit status.
int RunDriver(const std::vector<std::wstring>& argv, const Environment& environment);

}  // namespace dravlopro
