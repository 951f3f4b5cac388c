#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// The serial number saved in the settings file, cut to its first 8 bytes.
std::wstring ReadSavedSerialNumber(RunContext& context);

}  // namespace dravlopro
