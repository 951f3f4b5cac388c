#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// Why a file a command names was refused, on standard error unless "-q" is
// given: "dravlopro: NAME: WHY", the name as typed. Standard output and the
// result code stay as they are. Nothing is written when why is empty.
void ReportFileProblem(RunContext& context, const std::wstring& name, const std::string& why);

}  // namespace dravlopro
