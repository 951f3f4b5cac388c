#include "cli/results.h"

#include "base/result_code.h"
#include "base/text.h"
#include "commands/command_table.h"

namespace dravlopro {

namespace {

// The head of the usage text, a printf format whose %s takes the version
// text; the command table's lines follow it, then the tail.
constexpr const char* kUsageHeadFormat =
    R"USAGE(Dravlo Pro Commander %s
Usage: dravlopro.exe [Cmd0 <Para0> <Para1>] [Cmd1 <Para0> <Para1>] ...
Command:
)USAGE";

constexpr const char* kUsageTail =
    R"USAGE(
Return:
  Use %errorlevel% to get the Return Code. 0 for success, others for error.

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
  // kUsageHeadFormat is a fixed format with one %s.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  std::string text = Format(kUsageHeadFormat, kVersionText);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  for (const CommandEntry& command : Commands()) text += command.usage;
  return text + kUsageTail;
}

std::string VersionLine(const std::wstring& program) {
  std::wstring name = program.substr(program.find_last_of(L"/\\") + 1);
  if (name.size() > 4 && ToLower(name.substr(name.size() - 4)) == L".exe") {
    name.resize(name.size() - 4);
  }
  if (name.empty()) name = L"dravlopro";
  return Narrow(name) + " " + kVersionText + "\n";
}

void FinalReport(Console& console, int code, const std::wstring& trail) {
  if (code != Success && !trail.empty()) {
    console.PrintMessage(L"Process:" + trail + L"(Fail)\n");
  }
  if (const wchar_t* line = ResultLine(code)) console.PrintMessage(line);
}

}  // namespace dravlopro
