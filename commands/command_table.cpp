#include "commands/command_table.h"

#include <array>
#include <utility>

#include "commands/saved_serial.h"
#include "base/result_code.h"
#include "commands/option_bytes.h"
#include "commands/program.h"
#include "commands/handlers.h"

namespace dravlopro {

namespace {

// "-id" and "-sn" did their work during validation.
int HandleSelectionWord(RunContext&) { return Success; }

int HandleQuiet(RunContext& context) {
  context.state.quiet = 1;
  return Success;
}

struct CommandEntry {
  const wchar_t* word;
  CommandHandler handler;
};

constexpr std::array<CommandEntry, 20> kCommands{{
    {L"-id", HandleSelectionWord},
    {L"-sn", HandleSelectionWord},
    {L"-q", HandleQuiet},
    {L"-list", HandleList},
    {L"-pdev", HandlePdev},
    {L"-sdev", HandleSdev},
    {L"-rst", HandleRst},
    {L"-hrst", HandleHrst},
    {L"-hrsts", HandleHrsts},
    {L"-halt", HandleHalt},
    {L"-run", HandleRun},
    {L"-se", HandleSe},
    {L"-me", HandleMe},
    {L"-a", HandleProgram},
    {L"-v", HandleVerify},
    {L"-ob", HandleOb},
    {L"-rob", HandleRob},
    {L"-r32", HandleR32},
    {L"-w32", HandleW32},
    {L"-dump", HandleDump},
}};

}  // namespace

CommandHandler FindCommandHandler(const std::wstring& word) {
  for (const CommandEntry& entry : kCommands) {
    if (word == entry.word) return entry.handler;
  }
  return nullptr;
}

}  // namespace dravlopro
