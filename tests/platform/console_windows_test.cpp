// What the Windows build writes to standard output and error: the exact
// bytes in files and pipes, the characters a console shows, and where an
// alert goes when nobody can see a message box. The tests run the built
// dravlopro-sim.exe as a child process.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/harness.h"
#include "tests/platform/windows_child.h"

namespace dravlopro {
namespace {

using namespace testing;

const std::string kSelection =
    "This Dravlo Pro/Lite Ver:2.0.0, ID=0 (Setting comes from default value).\r\n";
const std::string kSuccessLine = "Result: Operation success.\r\n";
const std::string kFileError =
    "Result: There was an error in file access. Please confirm that the file path is correct "
    "and that the file exists.\r\n";
const std::string kRejectedHexAlert = "File too big or Start address incorrect.\r\n";
// A HEX file whose extended address puts the data out of reach.
const std::string kRejectedHex = ":02000004FFFFFC\n:0400000001020304F2\n:00000001FF\n";

// Whether a window station shows its windows to anybody.
bool Visible(HWINSTA station) {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) == 0) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// A window station of the test's own with one desktop: not visible, as the
// one of a service or a build agent is not.
class HiddenWindowStation {
 public:
  HiddenWindowStation() {
    const std::wstring name = L"dravlopro-test-" + std::to_wstring(GetCurrentProcessId());
    station_ = CreateWindowStationW(name.c_str(), 0, GENERIC_ALL, nullptr);
    if (station_ == nullptr) return;
    // A desktop is made in the window station of the process.
    const HWINSTA own = GetProcessWindowStation();
    if (SetProcessWindowStation(station_) != 0) {
      desktop_ = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      SetProcessWindowStation(own);
    }
    desktopName_ = name + L"\\Default";
  }
  ~HiddenWindowStation() {
    if (desktop_ != nullptr) CloseDesktop(desktop_);
    if (station_ != nullptr) CloseWindowStation(station_);
  }
  HiddenWindowStation(const HiddenWindowStation&) = delete;
  HiddenWindowStation& operator=(const HiddenWindowStation&) = delete;

  bool ready() const { return station_ != nullptr && desktop_ != nullptr; }
  HWINSTA station() const { return station_; }
  const std::wstring& desktopName() const { return desktopName_; }

 private:
  HWINSTA station_ = nullptr;
  HDESK desktop_ = nullptr;
  std::wstring desktopName_;
};

// dravlopro-sim.exe on a bench folder of the test's own.
class SimulatorRun : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(bench_); }

  // Writes bench.txt with these adapter lines (UTF-8).
  void Adapters(const std::string& lines) {
    dir_.Write("bench/bench.txt", "dravlopro-sim bench 1\n" + lines);
  }

  ChildSetup Setup(const std::wstring& arguments) const {
    ChildSetup setup;
    setup.commandLine = Quoted(WindowsPath(DRAVLOPRO_SIM_BINARY)) + L" " + arguments;
    setup.environment = {{L"DRAVLOPRO_SIM_DIR", WindowsPath(bench_)}};
    return setup;
  }

  ChildOutcome Run(const std::wstring& arguments, Capture capture) const {
    ChildSetup setup = Setup(arguments);
    setup.capture = capture;
    return RunChild(setup);
  }

  ScratchDir dir_;
  std::filesystem::path bench_ = dir_.path() / "bench";
};

const char* CaptureName(Capture capture) { return capture == Capture::Files ? "file" : "pipe"; }

// Standard output is in the runtime's text mode: every "\n" goes out as
// "\r\n", so the lines of "-list" and "-r32", which end in "\r\n" already,
// end in "\r\r\n". Scripts that read the output see exactly these bytes.
TEST_F(SimulatorRun, RedirectedOutputHasTheTextModeLineEnds) {
  Adapters("adapter LINE01 2.0.0\nadapter LINE02 2.0.0\n");
  for (const Capture capture : {Capture::Files, Capture::Pipes}) {
    SCOPED_TRACE(CaptureName(capture));
    ChildOutcome run = Run(L"-list", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "ID:0, SN:LINE01.\r\r\nID:1, SN:LINE02.\r\r\n" + kSuccessLine);
    EXPECT_EQ(run.err, "");

    // The flash of a fresh target is erased. Within the words the lines
    // are parted by "\r\n"; the last one ends in "\n".
    run = Run(L"-r32 0x0 5", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, kSelection +
                           "0x00000000:  FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF \r\r\n"
                           "0x00000010:  FFFFFFFF \r\n" +
                           kSuccessLine);

    run = Run(L"-halt", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, kSelection + kSuccessLine);
    EXPECT_EQ(run.err, "");
  }
}

// In a file or a pipe the text stays UTF-8, as the Linux build writes it,
// whatever the console or ANSI code page: characters beyond U+FFFF too,
// which are surrogate pairs in the wide text.
TEST_F(SimulatorRun, RedirectedOutputIsUtf8) {
  Adapters(
      "adapter \xC3\x84"
      "BC\xC3\x9F 2.0.0\n"
      "adapter X\xF0\x9F\x98\x80 2.0.0\n");
  for (const Capture capture : {Capture::Files, Capture::Pipes}) {
    SCOPED_TRACE(CaptureName(capture));
    ChildOutcome run = Run(L"-list", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out,
              "ID:0, SN:\xC3\x84"
              "BC\xC3\x9F.\r\r\n"
              "ID:1, SN:X\xF0\x9F\x98\x80.\r\r\n" +
                  kSuccessLine);

    // The serial numbers typed on the command line choose the adapters
    // (the tool upper-cases what is typed: these have no lower case).
    run = Run(L"-sn \u00C4BC\u00DF -halt", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out,
              "This Dravlo Pro/Lite Ver:2.0.0, SN=\xC3\x84"
              "BC\xC3\x9F.\r\n" +
                  kSuccessLine);
    run = Run(L"-sn X\U0001F600 -halt", capture);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "This Dravlo Pro/Lite Ver:2.0.0, SN=X\xF0\x9F\x98\x80.\r\n" + kSuccessLine);
  }
}

// Where nobody can see a message box (a service, a build agent), the
// rejection of a HEX file is a line on standard error, in quiet mode too,
// and the run ends as it would with the box closed.
TEST_F(SimulatorRun, AlertGoesToStandardErrorInAWindowStationNobodySees) {
  HiddenWindowStation hidden;
  ASSERT_TRUE(hidden.ready());
  ASSERT_FALSE(Visible(hidden.station()));
  const std::filesystem::path hex = dir_.Write("UPPER.HEX", kRejectedHex);
  const std::wstring name = Quoted(WindowsPath(hex));

  for (const Capture capture : {Capture::Files, Capture::Pipes}) {
    SCOPED_TRACE(CaptureName(capture));
    ChildSetup setup = Setup(L"-a " + name);
    setup.desktop = hidden.desktopName();
    setup.capture = capture;
    // A box would wait for ever: the child is ended after the timeout.
    setup.timeoutMs = 20000;
    ChildOutcome run = RunChild(setup);
    ASSERT_TRUE(run.finished) << "the alert waited: a message box nobody can close";
    EXPECT_EQ(run.exitCode, 20u);
    EXPECT_EQ(run.out, kSelection + "Process: -a (Fail)\r\n" + kFileError);
    // The alert, among the lines that say why the file was refused.
    EXPECT_NE(run.err.find(kRejectedHexAlert), std::string::npos) << run.err;

    setup.commandLine = Setup(L"-q -v " + name).commandLine;
    run = RunChild(setup);
    ASSERT_TRUE(run.finished) << "the alert waited: a message box nobody can close";
    EXPECT_EQ(run.exitCode, 20u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kRejectedHexAlert);
  }
}

// The choice is made when the alert comes, from the window station the
// process is in then. (Wine's own window station is visible, so under Wine
// both answers show; no box is shown here.)
TEST(AlertChoice, FollowsTheWindowStationOfTheProcess) {
  HiddenWindowStation hidden;
  ASSERT_TRUE(hidden.ready());
  const HWINSTA own = GetProcessWindowStation();
  const bool ownVisible = Visible(own);
  EXPECT_EQ(platform::AlertShowsMessageBox(), ownVisible);
  ASSERT_NE(SetProcessWindowStation(hidden.station()), 0);
  const bool inHidden = platform::AlertShowsMessageBox();
  SetProcessWindowStation(own);
  EXPECT_FALSE(inHidden);
  EXPECT_EQ(platform::AlertShowsMessageBox(), ownVisible);
}

// The pseudo-console services, looked up at run time: older systems lack
// them.
using CreatePseudoConsoleFunction = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, void**);
using ClosePseudoConsoleFunction = void(WINAPI*)(void*);
// PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, which the headers declare only for
// newer targets: attribute 22, an input.
constexpr DWORD_PTR kPseudoConsoleAttribute = 0x00020016;

template <typename Function>
Function Service(const char* name) {
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

struct ScreenOutcome {
  bool ran = false;
  DWORD exitCode = 0;
  std::string lines;  // UTF-8, "\n" after each
};

// Runs a command line on a console of its own, a pseudo console, through
// the console host, and returns what the console's screen shows after it.
ScreenOutcome RunOnConsole(const std::wstring& commandLine,
                           const std::pair<std::wstring, std::wstring>& variable,
                           const std::filesystem::path& screenFile) {
  ScreenOutcome outcome;
  const auto create = Service<CreatePseudoConsoleFunction>("CreatePseudoConsole");
  const auto close = Service<ClosePseudoConsoleFunction>("ClosePseudoConsole");
  if (create == nullptr || close == nullptr) return outcome;

  HANDLE inputRead = nullptr;
  HANDLE inputWrite = nullptr;
  HANDLE outputRead = nullptr;
  HANDLE outputWrite = nullptr;
  CreatePipe(&inputRead, &inputWrite, nullptr, 0);
  CreatePipe(&outputRead, &outputWrite, nullptr, 0);
  const UniqueHandle keepInputWrite(inputWrite);
  const UniqueHandle keepOutputRead(outputRead);
  UniqueHandle keepInputRead(inputRead);
  UniqueHandle keepOutputWrite(outputWrite);
  void* console = nullptr;
  if (FAILED(create(COORD{120, 40}, inputRead, outputWrite, 0, &console))) return outcome;
  // The console keeps its own copies.
  keepInputRead.Close();
  keepOutputWrite.Close();
  // What the console sends to its terminal is read and dropped, or it
  // would stop once the pipe is full.
  std::thread drain([&] { child_detail::ReadToEnd(outputRead); });

  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  InitializeProcThreadAttributeList(attributes, 1, 0, &size);
  UpdateProcThreadAttribute(attributes, 0, kPseudoConsoleAttribute, console, sizeof(console),
                            nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.lpAttributeList = attributes;
  std::wstring host = Quoted(WindowsPath(DRAVLOPRO_CONSOLE_HOST));
  PROCESS_INFORMATION process{};
  BOOL started = FALSE;
  {
    const ScopedEnvironment environment({variable,
                                         {L"DRAVLOPRO_HOST_COMMAND", commandLine},
                                         {L"DRAVLOPRO_HOST_SCREEN", WindowsPath(screenFile)}});
    started =
        CreateProcessW(nullptr, host.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT,
                       nullptr, nullptr, &startup.StartupInfo, &process);
  }
  if (started != 0) {
    // The host ends its command after 30 s itself.
    if (WaitForSingleObject(process.hProcess, 45000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 999);
      WaitForSingleObject(process.hProcess, INFINITE);
    } else {
      outcome.ran = true;
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  DeleteProcThreadAttributeList(attributes);
  close(console);
  drain.join();
  outcome.lines = ScratchDir::Read(screenFile);
  return outcome;
}

// On a console every character shows as itself, whatever the console's
// code page (raw UTF-8 bytes would show as two or three wrong characters
// each in code page 437 or 850).
TEST_F(SimulatorRun, ConsoleShowsEveryCharacterAsItself) {
  if (Service<CreatePseudoConsoleFunction>("CreatePseudoConsole") == nullptr) {
    GTEST_SKIP() << "this system has no pseudo console to run the tool on";
  }
  Adapters(
      "adapter \xC3\x84"
      "BC\xC3\x9F\xE2\x82\xAC 2.0.0\n"
      "adapter LINE02 2.0.0\n");
  const std::wstring sim = Quoted(WindowsPath(DRAVLOPRO_SIM_BINARY));
  const std::pair<std::wstring, std::wstring> benchFolder{L"DRAVLOPRO_SIM_DIR",
                                                          WindowsPath(bench_)};

  ScreenOutcome run = RunOnConsole(sim + L" -list", benchFolder, dir_.path() / "list.txt");
  ASSERT_TRUE(run.ran);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.lines,
            "ID:0, SN:\xC3\x84"
            "BC\xC3\x9F\xE2\x82\xAC.\n"
            "ID:1, SN:LINE02.\n"
            "Result: Operation success.\n");

  run = RunOnConsole(sim + L" -sn \u00C4BC\u00DF\u20AC -r32 0x0 5", benchFolder,
                     dir_.path() / "r32.txt");
  ASSERT_TRUE(run.ran);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.lines,
            "This Dravlo Pro/Lite Ver:2.0.0, SN=\xC3\x84"
            "BC\xC3\x9F\xE2\x82\xAC.\n"
            "0x00000000:  FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n"
            "0x00000010:  FFFFFFFF\n"
            "Result: Operation success.\n");
}

}  // namespace
}  // namespace dravlopro
