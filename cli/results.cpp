#include "cli/results.h"

#include "base/result_code.h"
#include "base/text.h"

namespace dravlopro {

namespace {

// The usage text is a printf format: %s takes the version text.
constexpr const char* kUsageFormat =
    R"USAGE(Dravlo Pro Commander %s
Usage: dravlopro.exe [Cmd0 <Para0> <Para1>] [Cmd1 <Para0> <Para1>] ...
Command:
 -id <ID>      : Specify the ID of the Dravlo Pro/Lite for the subsequent operation.
 -sn <SN>      : Specify the Serial Number (SN) of the Dravlo Pro/Lite for the subsequent operation.
 -list         : Lists the ID and Serial Number (SN) of each Dravlo Pro/Lite which connected to the system.
                 The (*) means the current ID/SN saved in the INI file.
 -pdev <id=ID | sn=SN>
               : Toggling Dravlo Pro/Lite's LED according to the specified ID or SN.
 -sdev <id=ID | sn=SN | NULL>
               : Save Dravlo Pro/Lite's ID or Serial Number to the INI file for the future usage (to use
                 dravlopro.exe without the -id or -sn). If the specified ID/SN is not found, show the error
                 message. "ID" should be number 0 ~ 8. "SN" is the Serial Number. "NULL" for Clear the INI file.
                 Example : dravlopro.exe -sdev id=1
                           dravlopro.exe -sdev sn=12345
 -q            : Quiet mode for remove output message (silent mode).

 -rst          : Reset the System by software.
 -hrst         : Reset the System by hardware (nRST).
 -hrsts        : Reset the System by hardware and halts the core (Connect under reset).
 -halt         : Halts the core.
 -run          : Performs a run operation.

 -se <StartPage> [<EndPage>]
               : Erase Flash Page from StartPage to EndPage.
 -me           : Executes a full chip mass erase operation.
 -a <Filename> : Automatically complete the programming actions including connect under reset ("-hrsts"),
                 mass erase ("-me"), and program. The file can be binary or Hex.
 -v <Filename> : Verifies the Flash content by the specified file.The file can be binary or Hex.
 -ob [<cp0=CP0>] [<cp1=CP1>] [<pp0=PP0>] [<pp1=PP1>] [<pp2=PP2>] [<pp3=PP3>]
               : Configures (erase and program) the Option Bytes.
                 CP0: Security protection of Flash.
                     0: Disable.
                     1: Enable.
                 CP1: Option Byte write protection.
                     0: Disable.
                     1: Enable.
                 PPn: Page write protection (n = 0 ~ 3). The "PPn" should be 0x0 ~ 0xFFFFFFFF.
                     PP[127:0] bits
                     0: Disable.
                     1: Enable.
                 The PP[127:0] one bit for n pages. Check FMC chapter of User Manual for detailed.
                 The unset parameter, CPn and PPn will be set as 0 (Disable).
                 Example: dravlopro.exe -ob pp0=0xF cp0=1 cp1=1
                          dravlopro.exe -ob pp1=3 pp2=0x10 pp3=8
 -rob          : Displays Option Bytes (CP0, CP1 and PPn).

 -r32 <Address> <NumWords>
               : Reads and displays <NumWords> of the memory in 32-bit width.
 -w32 <Address> <Data>
               : Writes the 32-bit data to the specified memory address.
 -dump <Address> <NumWords> <Filename>
               : Dump <NumWords> of the memory to the file in binary format.

Return:
  Use %%errorlevel%% to get the Return Code. 0 for success, others for error.

Return Code :Command                    : Description
------------ --------------------------- -------------------------------------
  0         : all                       : Operation Success.
  1         : all                       : Invalid parameter of command. Enter "dravlopro.exe" to understand
                                          the rules for each command.
  2         : all                       : An error occurred when connect the target MCU. The possible reasons are:
                                          1. The target MCU is not powered.
                                          2. SWDIO/SWCLK is not connected.
                                          3. The target MCU entry the power save mode.
  3         : all                       : The command does not apply to the Commander. Please confirm 
                                          that the command is correct.
  4         : -w32                      : Can't write data to the specified
                                          memory address.
  5         : -r32,-dump                : Can't read memory from the specified
                                          memory address.
  6         : -rst, -rsts, -run         : Can't Reset the target MCU.
  11        : -me, -se                  : Can't erase Flash memory.
  12        : -a, -v                    : Programing or Verification fail.
  13        : -ob                       : Option bytes setting error.
  14        : -w32, -se ,-v ,-ob ,-rob  : The target MCU has been securely locked.
  20        : -a, -v, -dump             : There was an error in file access. Please confirm
                                          that the file path is correct and that the file exists.
  21        : -sdev, -pdev              : This ID was specified by the parameter could not be found.
  30        : all                       : This computer can't enumerate any Dravlo Pro/Lite. Please
                                          make sure this computer has indeed connected to Dravlo Pro/Lite.
  31        : all                       : The corresponding Dravlo Pro/Lite can't be found by the target ID/SN,
                                          which can be in INI file or specified by users.

)USAGE";

}  // namespace

const wchar_t* ResultLine(int code) {
  switch (code) {
    case Success:
      return L"Result: Operation success.\n";
    case InvalidParameter:
      return L"Result: Invalid parameter of command. Enter \"dravlopro.exe\" to understand the "
             L"rules for each command.\n";
    case ConnectFailed:
      return L"Result: An error occurred when connect the target MCU. The possible reasons are: "
             L"1. The target MCU is not powered. 2. SWDIO/SWCLK is not connected. 3. The target "
             L"MCU entry the power save mode.\n";
    case CommandNotApplicable:
      return L"Result: The command does not apply to the Commander. Please confirm that the "
             L"command is correct.\n";
    case WriteFailed:
      return L"Result: Can't write data to the specified memory address.\n";
    case ReadFailed:
      return L"Result: Can't read memory from the specified memory address.\n";
    case ResetFailed:
      return L"Result: Can't Reset the target MCU.\n";
    case EraseFailed:
      return L"Result: Can't erase Flash memory.\n";
    case ProgramVerifyFailed:
      return L"Result: Programing or Verification fail.\n";
    case OptionBytesFailed:
      return L"Result: Option bytes setting error.\n";
    case TargetLocked:
      return L"Result: The target MCU has been securely locked.\n";
    case FileAccessFailed:
      return L"Result: There was an error in file access. Please confirm that the file path is "
             L"correct and that the file exists.\n";
    case IdNotFound:
      return L"Result: This ID was specified by the parameter could not be found.\n";
    case NoAdapter:
      return L"Result: This computer can't enumerate any Dravlo Pro/Lite. Please make sure this "
             L"computer has indeed connected to Dravlo Pro/Lite.\n";
    case AdapterNotFound:
      return L"Result: The corresponding Dravlo Pro/Lite can't be found by the target ID/SN, "
             L"which can be in INI file or specified by users.\n";
    default:
      return nullptr;
  }
}

std::string UsageText() {
  // kUsageFormat is a fixed format with one %s.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  return Format(kUsageFormat, kVersionText);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

void FinalReport(Console& console, int code, const std::wstring& trail) {
  if (code != Success && !trail.empty()) {
    console.PrintMessage(L"Process:" + trail + L"(Fail)\n");
  }
  if (const wchar_t* line = ResultLine(code)) console.PrintMessage(line);
}

}  // namespace dravlopro
