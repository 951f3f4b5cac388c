#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "commands/handlers.h"
#include "commands/saved_serial.h"
#include "probe/adapter_control.h"

namespace dravlopro {

namespace {

constexpr std::size_t kSavedSnBytes = 8;
constexpr int kBlinkCycles = 5;
constexpr std::uint32_t kBlinkPauseMs = 100;

// Resolves an "ID=" value to the serial number of that adapter. Returns 0
// and sets sn, or the result code for the command.
int SerialNumberOfId(const RunContext& context, const std::wstring& id, std::wstring& sn) {
  const std::int64_t k = AdapterIdValue(id);
  if (k < 0 || k > 8) return InvalidParameter;
  // ID 8 has no entry: the table holds IDs 0 to 7.
  if (k >= static_cast<std::int64_t>(kMaxAdapters)) return IdNotFound;
  const std::wstring& entry = context.adapters.adapterSns[static_cast<std::size_t>(k)];
  if (entry.empty()) return IdNotFound;
  sn = entry;
  return Success;
}

bool IsAttached(const AdapterTable& adapters, const std::wstring& sn) {
  for (std::uint32_t i = 0; i < adapters.adapterCount; ++i) {
    if (adapters.adapterSns[i] == sn) return true;
  }
  return false;
}

}  // namespace

std::wstring ReadSavedSerialNumber(RunContext& context) {
  std::wstring saved = context.settings.ReadSn(context.settingsPath);
  saved = saved.substr(0, saved.find(L'\0'));
  std::wstring result = context.settings.CutToBytes(saved, kSavedSnBytes);
  return result.substr(0, result.find(L'\0'));
}

int HandleList(RunContext& context) {
  const int result = context.openResult == AdapterNotFound ? Success : context.openResult;
  const AdapterTable& adapters = context.adapters;
  for (std::uint32_t i = 0; i < adapters.adapterCount; ++i) {
    const std::wstring saved = ReadSavedSerialNumber(context);
    const std::wstring mark = adapters.adapterSns[i] == saved ? L"(*)" : L"";
    const std::string text = "SN:" + Narrow(adapters.adapterSns[i]) + Narrow(mark);
    context.console.Print(Format("ID:%u, %s.\r\n", i, text.c_str()));
  }
  return result;
}

int HandlePdev(RunContext& context) {
  RunState& state = context.state;
  if (state.paramCount == 0) return InvalidParameter;
  std::wstring sn = GetKeyValue(state.params, L"SN", 1);
  const std::wstring id = GetKeyValue(state.params, L"ID", 1);
  if (!id.empty()) {
    const int r = SerialNumberOfId(context, id, sn);
    if (r != Success) return r;
  } else if (sn.empty()) {
    return InvalidParameter;
  }
  const int opened = context.adapter.OpenAdapter(kNoTargetId, sn);
  if (opened != Success) return opened;
  context.console.PrintMessage(L"Dravlo Pro/Lite's SN: " + context.adapters.openedSn + L".\n");
  for (int cycle = 0; cycle < kBlinkCycles; ++cycle) {
    SetConnectLed(context.device(), true);
    context.clock.SleepMs(kBlinkPauseMs);
    SetConnectLed(context.device(), false);
    context.clock.SleepMs(kBlinkPauseMs);
  }
  return Success;
}

namespace {
// A setting that could not be saved is a failure, never reported as saved:
// the settings file stays as it was.
bool SaveSerialNumber(RunContext& context, const std::wstring& sn) {
  if (context.settings.WriteSn(context.settingsPath, sn)) return true;
  context.hints.Print("dravlopro: " + Narrow(context.settingsPath.wstring()) +
                      ": the default adapter could not be saved\n");
  return false;
}
}  // namespace

int HandleSdev(RunContext& context) {
  RunState& state = context.state;
  if (state.paramCount == 0) return InvalidParameter;
  std::wstring sn = GetKeyValue(state.params, L"SN", 1);
  const std::wstring id = GetKeyValue(state.params, L"ID", 1);
  if (state.params[0] == L"NULL") {
    if (!SaveSerialNumber(context, L"")) return FileAccessFailed;
    context.console.PrintMessage(L"Setting to default value.\n");
    return Success;
  }
  if (!id.empty()) {
    const int r = SerialNumberOfId(context, id, sn);
    if (r != Success) return r;
  } else if (sn.empty()) {
    return InvalidParameter;
  }
  if (!SaveSerialNumber(context, sn)) return FileAccessFailed;
  context.console.PrintMessage(L"SN: " + sn + L" saves in the INI file.\n");
  if (!IsAttached(context.adapters, sn)) {
    context.hints.Print("dravlopro: no attached adapter has the serial number " + Narrow(sn) +
                        "; saved all the same: runs without -id or -sn will look for it\n");
  }
  return Success;
}

}  // namespace dravlopro
