// The command line as Windows hands it over: exact command lines given to a
// child program that prints what platform::CommandLineArguments() made of
// them, and a whole run whose file name holds characters of every kind.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"
#include "tests/harness.h"
#include "tests/platform/windows_child.h"

namespace dravlopro::testing {
namespace {

namespace fs = std::filesystem;

// The echo program as Windows names it.
std::wstring EchoProgram() { return WindowsPath(DRAVLOPRO_ECHO_ARGUMENTS); }

// The arguments the echo program received for this command line (its own
// name first); a single entry "<not run>" when it did not run.
std::vector<std::wstring> EchoedArguments(const std::wstring& rest) {
  ChildSetup setup;
  setup.commandLine = Quoted(EchoProgram()) + rest;
  setup.capture = Capture::Pipes;
  const ChildOutcome run = RunChild(setup);
  if (!run.finished || run.exitCode != 0) return {L"<not run>"};
  std::vector<std::wstring> arguments;
  std::wstring current;
  std::size_t digits = 0;
  unsigned unit = 0;
  for (const char c : run.out) {
    if (c == '\r') continue;
    if (c == '\n') {
      arguments.push_back(current);
      current.clear();
      continue;
    }
    unit = unit * 16 + static_cast<unsigned>(HexDigitValue(static_cast<wchar_t>(c)));
    if (++digits == 4) {
      current += static_cast<wchar_t>(unit);
      digits = 0;
      unit = 0;
    }
  }
  return arguments;
}

std::vector<std::wstring> AfterTheProgram(const std::wstring& rest) {
  std::vector<std::wstring> arguments = EchoedArguments(rest);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

TEST(CommandLineArguments, TheProgramNameComesFirstAsTyped) {
  EXPECT_EQ(EchoedArguments(L" -list"), (std::vector<std::wstring>{EchoProgram(), L"-list"}));
}

TEST(CommandLineArguments, BlanksSeparateAndQuotesGroup) {
  using Words = std::vector<std::wstring>;
  EXPECT_EQ(AfterTheProgram(L" -a  app.hex\t-v"), (Words{L"-a", L"app.hex", L"-v"}));
  EXPECT_EQ(AfterTheProgram(L" -a \"C:\\My Files\\app.hex\" -rst"),
            (Words{L"-a", L"C:\\My Files\\app.hex", L"-rst"}));
  EXPECT_EQ(AfterTheProgram(L" -a C:\\My\" \"Files\\app.hex"),
            (Words{L"-a", L"C:\\My Files\\app.hex"}));
  EXPECT_EQ(AfterTheProgram(L" \"\" x"), (Words{L"", L"x"}));
  EXPECT_EQ(AfterTheProgram(L" a\"b c"), (Words{L"ab c"}));  // open to the end
}

TEST(CommandLineArguments, BackslashesCountOnlyBeforeAQuote) {
  using Words = std::vector<std::wstring>;
  // Not before a quote: as they are.
  EXPECT_EQ(AfterTheProgram(L" C:\\dir\\\\file.bin \\\\server\\share"),
            (Words{L"C:\\dir\\\\file.bin", L"\\\\server\\share"}));
  // One backslash before a quote: the quote is a character.
  EXPECT_EQ(AfterTheProgram(L" a\\\"b"), (Words{L"a\"b"}));
  // Two: one backslash, and the quote opens.
  EXPECT_EQ(AfterTheProgram(L" a\\\\\"b c\""), (Words{L"a\\b c"}));
  // Three: one backslash and a quote character.
  EXPECT_EQ(AfterTheProgram(L" a\\\\\\\"b"), (Words{L"a\\\"b"}));
  // A quoted folder ending in a backslash must double it.
  EXPECT_EQ(AfterTheProgram(L" \"C:\\My Files\\\\\" next"), (Words{L"C:\\My Files\\", L"next"}));
  EXPECT_EQ(AfterTheProgram(L" \"C:\\My Files\\\" next"), (Words{L"C:\\My Files\" next"}));
}

TEST(CommandLineArguments, CharactersOutsideAsciiArriveWhole) {
  using Words = std::vector<std::wstring>;
  // a-umlaut, b, c, sharp s; a CJK character; an emoji, two UTF-16 units.
  EXPECT_EQ(AfterTheProgram(L" \u00E4bc\u00DF \u4E2D \U0001F600 \"\u00E4 \U0001F600.hex\""),
            (Words{L"\u00E4bc\u00DF", L"\u4E2D", L"\U0001F600", L"\u00E4 \U0001F600.hex"}));
}

// The whole tool, through dravlopro-sim.exe: a file name typed in characters
// of every kind names the file the run writes.
TEST(CommandLineArguments, AFileNameOfEveryKindOfCharacterReachesTheFileSystem) {
  ScratchDir dir;
  const fs::path dump = dir.path() / L"d\u00FCmp \u4E2D\U0001F600.bin";
  ChildSetup setup;
  setup.commandLine = Quoted(WindowsPath(DRAVLOPRO_SIM_BINARY)) +
                      L" -w32 0x1000 0x04030201 -dump 0x1000 1 " + Quoted(dump.native());
  setup.environment = {{L"DRAVLOPRO_SIM_DIR", (dir.path() / "bench").native()}};
  setup.capture = Capture::Pipes;
  const ChildOutcome run = RunChild(setup);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
  EXPECT_EQ(ScratchDir::Read(dump), "\x01\x02\x03\x04");
  EXPECT_EQ(FolderNames(dir.path()),
            (std::vector<std::string>{"bench", Utf8Name(dump.filename())}));
}

}  // namespace
}  // namespace dravlopro::testing
