// Prints the command line as the tool takes it, platform::CommandLineArguments(),
// one entry a line, each UTF-16 unit as four hexadecimal digits: the tests
// start it with command lines of their own to see how they are split.
#include <cstdio>
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
  for (const std::wstring& argument : dravlopro::platform::CommandLineArguments(argc, argv)) {
    for (const wchar_t unit : argument) std::printf("%04X", static_cast<unsigned>(unit) & 0xFFFFu);
    std::printf("\n");
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
