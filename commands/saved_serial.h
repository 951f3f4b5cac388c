#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// The serial number saved in the settings file, cut to its first 8 bytes.
std::wstring ReadSavedSerialNumber(RunContext& context);

// "-list", "-pdev", "-sdev". They see this command's adapter open result in
// context.openResult (0 or 31).
int HandleList(RunContext& context);
int HandlePdev(RunContext& context);
int HandleSdev(RunContext& context);

}  // namespace dravlopro
