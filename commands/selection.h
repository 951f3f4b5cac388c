#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// The line that says which adapter the run talks to, printed once.
struct SelectionLine {
  std::wstring title;
  std::wstring version;
  std::wstring selection;
};

// Settles which adapter the run talks to from "-id", "-sn" and the saved
// default: fills state.targetId / state.targetSn and, unless quiet, the
// selection line. Sets resultCode to 1 when both "-id" and "-sn" were given.
void SettleSelection(RunContext& context, SelectionLine& line, int& resultCode);

}  // namespace dravlopro
