#pragma once

#include <cstdint>
#include <string_view>

namespace dravlopro::trace {

// The name of a request's command byte (byte 1 of the report), for the
// messages of a replay; "unknown command" for a byte no request uses.
std::string_view RequestName(std::uint8_t command);

}  // namespace dravlopro::trace
