#pragma once

#include <string>

#include "base/console.h"

namespace dravlopro {

constexpr const char* kVersionText = "v1.0.1.0";

// The result line of a code, or nullptr for a code without one.
const wchar_t* ResultLine(int code);

// The text a run without arguments prints.
std::string UsageText();

// What "--version" prints: the program's name, taken from how it was
// started without folder and ".exe", and the version text.
std::string VersionLine(const std::wstring& program);

// The failure trail (when the run failed after a command started) and the
// result line.
void FinalReport(Console& console, int code, const std::wstring& trail);

}  // namespace dravlopro
