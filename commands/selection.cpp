#include "commands/selection.h"

#include "base/result_code.h"
#include "commands/saved_serial.h"

namespace dravlopro {

void SettleSelection(RunContext& context, SelectionLine& line, int& resultCode) {
  RunState& state = context.state;
  if (state.targetId != kNoTargetId && !state.targetSn.empty()) {
    resultCode = InvalidParameter;
    return;
  }
  const bool quiet = state.quiet != 0;
  if (state.targetId == kNoTargetId && state.targetSn.empty()) {
    state.targetSn = ReadSavedSerialNumber(context);
    if (state.targetSn.empty()) {
      state.targetId = 0;
      if (!quiet) line.selection = L" ID=0 (Setting comes from default value).\n";
    } else if (!quiet) {
      line.selection = L" SN=" + state.targetSn + L" (Setting comes from INI file).\n";
    }
  } else if (state.targetId == kNoTargetId) {
    if (!quiet) line.selection = L" SN=" + state.targetSn + L".\n";
  } else if (!quiet) {
    line.selection = L" ID=" + std::to_wstring(state.targetId) + L"\n";
  }
  if (!quiet) line.title = L"This Dravlo Pro/Lite";
}

}  // namespace dravlopro
