#include "cli/driver.h"

#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "cli/results.h"
#include "commands/command_table.h"
#include "commands/saved_serial.h"
#include "commands/selection.h"
#include "commands/validation.h"
#include "probe/adapter_control.h"

namespace dravlopro {

namespace {

bool IsHelpWord(const std::wstring& word) { return word == L"--help" || word == L"-h"; }

void AppendToTrail(std::wstring& trail, const std::wstring& word) {
  trail += trail.empty() ? L" " + word + L" " : L">> " + word + L" ";
}

void RunCommandLoop(RunContext& context, SelectionLine& line, int& resultCode,
                    RunObserver* observer) {
  RunState& state = context.state;
  const std::vector<std::wstring>& argv = context.argv;
  std::size_t i = 1;
  while (i < argv.size()) {
    if (!BeginsWithDash(argv[i])) {
      ++i;
      continue;
    }
    if (resultCode != Success) break;

    TakeParameters(state, argv, i);
    context.commandIndex = i;
    const std::wstring word = ToLower(argv[i]);
    if (observer != nullptr) observer->CommandStarted(argv[i]);
    ++i;

    const int opened = context.adapter.OpenAdapter(state.targetId, state.targetSn);
    context.openResult = opened;
    if (opened == NoAdapter) {
      resultCode = NoAdapter;
      break;
    }
    if (opened == Success) {
      const std::string version = ReadAdapterVersion(context.device());
      if (observer != nullptr) observer->AdapterOpened(context.adapters.openedSn, version);
      if (state.quiet == 0) {
        line.version = L" Ver:" + std::wstring(version.begin(), version.end()) + L",";
      }
    }

    const CommandEntry* command = FindCommand(word);
    if (command != nullptr && !command->needsAdapter) {
      AppendToTrail(context.processTrail, word);
      resultCode = command->handler(context);
      continue;
    }
    if (!line.title.empty()) {
      context.console.PrintMessage(line.title + line.version + line.selection);
      line.title.clear();
    }
    if (opened == AdapterNotFound) {
      resultCode = AdapterNotFound;
      break;
    }
    if (command == nullptr) {
      context.hints.Print("dravlopro: " + Narrow(argv[context.commandIndex]) +
                          ": not a command; run dravlopro --help\n");
      resultCode = CommandNotApplicable;
      break;
    }
    AppendToTrail(context.processTrail, word);
    resultCode = command->handler(context);
  }
}

// An adapter that is attached but cannot be opened looks like no adapter at
// all: each one is named on standard error, with the system's reason.
void NameUnopenableAdapters(RunContext& context) {
  for (const UnopenableAdapter& adapter : context.adapter.device.unopenableAdapters()) {
    context.hints.Print("dravlopro: " + adapter.path + ": " + adapter.reason +
                        ": the adapter is attached but cannot be opened; see \"Linux "
                        "permissions\" in the README\n");
  }
}

// Says on standard error when opening an adapter waits for another run that
// holds it, and when the wait runs out.
class ClaimWaitLines : public ClaimWaitObserver {
 public:
  explicit ClaimWaitLines(Console& hints) : hints_(hints) {}
  void ClaimWaitStarted(const std::wstring& serial, const std::string& path,
                        std::uint32_t boundMs) override {
    hints_.Print("dravlopro: adapter " + Name(serial, path) +
                 " is in use by another run; waiting for it, at most " + Seconds(boundMs) + "\n");
  }
  void ClaimGaveUp(const std::wstring& serial, const std::string& path,
                   std::uint32_t boundMs) override {
    hints_.Print("dravlopro: adapter " + Name(serial, path) + " is still in use after " +
                 Seconds(boundMs) + "; giving up\n");
  }

 private:
  static std::string Name(const std::wstring& serial, const std::string& path) {
    return serial.empty() ? path : "SN " + Narrow(serial);
  }
  static std::string Seconds(std::uint32_t ms) { return std::to_string(ms / 1000) + " s"; }
  Console& hints_;
};

}  // namespace

int RunDriver(const std::vector<std::wstring>& argv, const Environment& environment,
              RunObserver* observer) {
  RunContext context(environment);
  context.argv = argv.empty() ? std::vector<std::wstring>{L"dravlopro"} : argv;
  RunState& state = context.state;
  ClaimWaitLines claimWaitLines(context.hints);
  context.device().claimObserver = &claimWaitLines;

  // The two words every shell user tries first, each alone on the line: the
  // help is the usage text, as a run without arguments prints it.
  if (context.argv.size() == 2 && IsHelpWord(context.argv[1])) context.argv.resize(1);
  if (context.argv.size() == 2 && context.argv[1] == L"--version") {
    context.console.PrintAlways(VersionLine(context.argv[0]));
    return Success;
  }

  context.settings.GetSettingsPath(context.settingsPath);
  int resultCode = ValidateArguments(context.argv, state.targetSn, state.targetId, state.quiet);

  SelectionLine line;
  if (resultCode == Success) SettleSelection(context, line, resultCode);

  if (context.argv.size() == 1) {
    context.console.PrintAlways(UsageText());
  } else {
    RunCommandLoop(context, line, resultCode, observer);
    if (context.device().IsOpen()) SetConnectLed(context.device(), false);
    context.device().Close();
  }

  FinalReport(context.console, resultCode, context.processTrail);
  if (resultCode == NoAdapter || resultCode == AdapterNotFound) {
    NameUnopenableAdapters(context);
  }
  return resultCode;
}

}  // namespace dravlopro
