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
    {L"-id",
     {1, 0},
     HandleSelectionWord,
     true,
     ChooseId,
     " -id <ID>      : Specify the ID of the Dravlo Pro/Lite for the subsequent operation.\n"},
    {L"-sn",
     {1, 0},
     HandleSelectionWord,
     true,
     ChooseSn,
     " -sn <SN>      : Specify the Serial Number (SN) of the Dravlo Pro/Lite for the subsequent "
     "operation.\n"},
    {L"-list",
     {0, 0},
     HandleList,
     false,
     nullptr,
     " -list         : Lists the ID and Serial Number (SN) of each Dravlo Pro/Lite which connected "
     "to the system.\n"
     "                 The (*) means the current ID/SN saved in the INI file.\n"},
    {L"-pdev",
     {1, 0},
     HandlePdev,
     false,
     nullptr,
     " -pdev <id=ID | sn=SN>\n"
     "               : Toggling Dravlo Pro/Lite's LED according to the specified ID or SN.\n"},
    {L"-sdev",
     {1, 0},
     HandleSdev,
     false,
     nullptr,
     " -sdev <id=ID | sn=SN | NULL>\n"
     "               : Save Dravlo Pro/Lite's ID or Serial Number to the INI file for the future "
     "usage (to use\n"
     "                 dravlopro.exe without the -id or -sn). If the specified ID/SN is not found, "
     "show the error\n"
     "                 message. \"ID\" should be number 0 ~ 8. \"SN\" is the Serial Number. "
     "\"NULL\" for Clear the INI file.\n"
     "                 Example : dravlopro.exe -sdev id=1\n"
     "                           dravlopro.exe -sdev sn=12345\n"},
    {L"-q",
     {0, 0},
     HandleQuiet,
     true,
     ChooseQuiet,
     " -q            : Quiet mode for remove output message (silent mode).\n"
     "\n"},
    {L"-rst", {0, 0}, HandleRst, true, nullptr, " -rst          : Reset the System by software.\n"},
    {L"-hrst",
     {0, 0},
     HandleHrst,
     true,
     nullptr,
     " -hrst         : Reset the System by hardware (nRST).\n"},
    {L"-hrsts",
     {0, 0},
     HandleHrsts,
     true,
     nullptr,
     " -hrsts        : Reset the System by hardware and halts the core (Connect under reset).\n"},
    {L"-halt", {0, 0}, HandleHalt, true, nullptr, " -halt         : Halts the core.\n"},
    {L"-run",
     {0, 0},
     HandleRun,
     true,
     nullptr,
     " -run          : Performs a run operation.\n"
     "\n"},
    {L"-se",
     {1, 1},
     HandleSe,
     true,
     nullptr,
     " -se <StartPage> [<EndPage>]\n"
     "               : Erase Flash Page from StartPage to EndPage.\n"},
    {L"-me",
     {0, 0},
     HandleMe,
     true,
     nullptr,
     " -me           : Executes a full chip mass erase operation.\n"},
    {L"-a",
     {1, 0},
     HandleProgram,
     true,
     nullptr,
     " -a <Filename> : Automatically complete the programming actions including connect under "
     "reset (\"-hrsts\"),\n"
     "                 mass erase (\"-me\"), and program. The file can be binary or Hex.\n"},
    {L"-v",
     {1, 0},
     HandleVerify,
     true,
     nullptr,
     " -v <Filename> : Verifies the Flash content by the specified file.The file can be binary or "
     "Hex.\n"},
    {L"-ob",
     {0, 6},
     HandleOb,
     true,
     nullptr,
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
    {L"-rob",
     {0, 0},
     HandleRob,
     true,
     nullptr,
     " -rob          : Displays Option Bytes (CP0, CP1 and PPn).\n"
     "\n"},
    {L"-r32",
     {2, 0},
     HandleR32,
     true,
     nullptr,
     " -r32 <Address> <NumWords>\n"
     "               : Reads and displays <NumWords> of the memory in 32-bit width.\n"},
    {L"-w32",
     {2, 0},
     HandleW32,
     true,
     nullptr,
     " -w32 <Address> <Data>\n"
     "               : Writes the 32-bit data to the specified memory address.\n"},
    {L"-dump",
     {3, 0},
     HandleDump,
     true,
     nullptr,
     " -dump <Address> <NumWords> <Filename>\n"
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
