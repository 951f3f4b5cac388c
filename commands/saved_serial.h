#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// The serial number saved in the settings file, cut to its first 8 bytes in
// the settings store's 8-bit text (UTF-8, or the ANSI code page of the
// Windows settings file), never inside a character.
std::wstring ReadSavedSerialNumber(RunContext& context);

}  // namespace dravlopro
