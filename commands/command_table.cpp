#include "commands/command_table.h"

#include <array>

#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "commands/handlers.h"

namespace dravlopro {

namespace {

// "-id" and "-sn" did their work while the line was checked.
int HandleSelectionWord(RunContext&) { return Success; }

int HandleQuiet(RunContext& context) {
  context.state.quiet = 1;
  return Success;
}

int ChooseId(const std::wstring& value, LineChoices& choices) {
  std::uint32_t id = 0;
  const bool valid = ParseUnsigned(value, id);
  choices.targetId = static_cast<std::int32_t>(id);
  if (!valid || id > 9) return InvalidParameter;
  if (choices.seenId) return InvalidParameter;
  choices.seenId = true;
  return Success;
}

int ChooseSn(const std::wstring& value, LineChoices& choices) {
  choices.targetSn = ToUpper(value);
  if (choices.seenSn) return InvalidParameter;
  choices.seenSn = true;
  return Success;
}

int ChooseQuiet(const std::wstring&, LineChoices& choices) {
  choices.quiet = 1;
  return Success;
}

constexpr std::array<CommandEntry, 20> kCommands{{
    {.word = L"-id",
     .parameters = {.required = 1},
     .handler = HandleSelectionWord,
     .choose = ChooseId,
     .usage =
         " -id <ID>      : Specify the ID of the Dravlo Pro/Lite for the subsequent operation.\n"},
    {.word = L"-sn",
     .parameters = {.required = 1},
     .handler = HandleSelectionWord,
     .choose = ChooseSn,
     .usage = " -sn <SN>      : Specify the Serial Number (SN) of the Dravlo Pro/Lite for the "
              "subsequent "
              "operation.\n"},
    {.word = L"-list",
     .handler = HandleList,
     .needsAdapter = false,
     .usage = " -list         : Lists the ID and Serial Number (SN) of each Dravlo Pro/Lite which "
              "connected "
              "to the system.\n"
              "                 The (*) means the current ID/SN saved in the INI file.\n"},
    {.word = L"-pdev",
     .parameters = {.required = 1},
     .handler = HandlePdev,
     .needsAdapter = false,
     .usage =
         " -pdev <id=ID | sn=SN>\n"
         "               : Toggling Dravlo Pro/Lite's LED according to the specified ID or SN.\n"},
    {.word = L"-sdev",
     .parameters = {.required = 1},
     .handler = HandleSdev,
     .needsAdapter = false,
     .usage =
         " -sdev <id=ID | sn=SN | NULL>\n"
         "               : Save Dravlo Pro/Lite's ID or Serial Number to the INI file for the "
         "future "
         "usage (to use\n"
         "                 dravlopro.exe without the -id or -sn). If the specified ID/SN is not "
         "found, "
         "show the error\n"
         "                 message. \"ID\" should be number 0 ~ 8. \"SN\" is the Serial Number. "
         "\"NULL\" for Clear the INI file.\n"
         "                 Example : dravlopro.exe -sdev id=1\n"
         "                           dravlopro.exe -sdev sn=12345\n"},
    {.word = L"-q",
     .handler = HandleQuiet,
     .choose = ChooseQuiet,
     .usage = " -q            : Quiet mode for remove output message (silent mode).\n"
              "\n"},
    {.word = L"-rst",
     .handler = HandleRst,
     .usage = " -rst          : Reset the System by software.\n"},
    {.word = L"-hrst",
     .handler = HandleHrst,
     .usage = " -hrst         : Reset the System by hardware (nRST).\n"},
    {.word = L"-hrsts",
     .handler = HandleHrsts,
     .usage = " -hrsts        : Reset the System by hardware and halts the core (Connect under "
              "reset).\n"},
    {.word = L"-halt", .handler = HandleHalt, .usage = " -halt         : Halts the core.\n"},
    {.word = L"-run",
     .handler = HandleRun,
     .usage = " -run          : Performs a run operation.\n"
              "\n"},
    {.word = L"-se",
     .parameters = {.required = 1, .optional = 1},
     .handler = HandleSe,
     .usage = " -se <StartPage> [<EndPage>]\n"
              "               : Erase Flash Page from StartPage to EndPage.\n"},
    {.word = L"-me",
     .handler = HandleMe,
     .usage = " -me           : Executes a full chip mass erase operation.\n"},
    {.word = L"-a",
     .parameters = {.required = 1},
     .handler = HandleProgram,
     .usage =
         " -a <Filename> : Automatically complete the programming actions including connect under "
         "reset (\"-hrsts\"),\n"
         "                 mass erase (\"-me\"), and program. The file can be binary or Hex.\n"},
    {.word = L"-v",
     .parameters = {.required = 1},
     .handler = HandleVerify,
     .usage = " -v <Filename> : Verifies the Flash content by the specified file.The file can be "
              "binary or "
              "Hex.\n"},
    {.word = L"-ob",
     .parameters = {.required = 0, .optional = 6},
     .handler = HandleOb,
     .usage =
         " -ob [<cp0=CP0>] [<cp1=CP1>] [<pp0=PP0>] [<pp1=PP1>] [<pp2=PP2>] [<pp3=PP3>]\n"
         "               : Configures (erase and program) the Option Bytes.\n"
         "                 CP0: Security protection of Flash.\n"
         "                     0: Disable.\n"
         "                     1: Enable.\n"
         "                 CP1: Option Byte write protection.\n"
         "                     0: Disable.\n"
         "                     1: Enable.\n"
         "                 PPn: Page write protection (n = 0 ~ 3). The \"PPn\" should be 0x0 ~ "
         "0xFFFFFFFF.\n"
         "                     PP[127:0] bits\n"
         "                     0: Disable.\n"
         "                     1: Enable.\n"
         "                 The PP[127:0] one bit for n pages. Check FMC chapter of User Manual for "
         "detailed.\n"
         "                 The unset parameter, CPn and PPn will be set as 0 (Disable).\n"
         "                 Example: dravlopro.exe -ob pp0=0xF cp0=1 cp1=1\n"
         "                          dravlopro.exe -ob pp1=3 pp2=0x10 pp3=8\n"},
    {.word = L"-rob",
     .handler = HandleRob,
     .usage = " -rob          : Displays Option Bytes (CP0, CP1 and PPn).\n"
              "\n"},
    {.word = L"-r32",
     .parameters = {.required = 2},
     .handler = HandleR32,
     .usage = " -r32 <Address> <NumWords>\n"
              "               : Reads and displays <NumWords> of the memory in 32-bit width.\n"},
    {.word = L"-w32",
     .parameters = {.required = 2},
     .handler = HandleW32,
     .usage = " -w32 <Address> <Data>\n"
              "               : Writes the 32-bit data to the specified memory address.\n"},
    {.word = L"-dump",
     .parameters = {.required = 3},
     .handler = HandleDump,
     .usage = " -dump <Address> <NumWords> <Filename>\n"
              "               : Dump <NumWords> of the memory to the file in binary format.\n"},
}};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

const CommandEntry* FindCommand(const std::wstring& word) {
  for (const CommandEntry& entry : kCommands) {
    if (word == entry.word) return &entry;
  }
  return nullptr;
}

}  // namespace dravlopro
