#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravlopro {

// Checks the whole argument list once, before anything runs, by the
// parameter rules of the command table. Returns 0, 1 or 3; sets quiet, and
// targetId / targetSn from "-id" / "-sn".
int ValidateArguments(const std::vector<std::wstring>& argv, std::wstring& targetSn,
                      std::int32_t& targetId, std::uint32_t& quiet);

}  // namespace dravlopro
