#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>

#include <memory>

#include "base/text.h"
#include "platform/platform.h"

namespace dravlopro::platform {

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* memory) const { LocalFree(memory); }
};

}  // namespace

// The command line as the system split it into wide words; argc and argv are
// only the fallback when that fails.
std::vector<std::wstring> CommandLineArguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> words(
      CommandLineToArgvW(GetCommandLineW(), &count));
  if (words) {
    for (int i = 0; i < count; ++i) arguments.emplace_back(words.get()[i]);
    return arguments;
  }
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    arguments.push_back(Widen(argv[i]));
  }
  return arguments;
}

}  // namespace dravlopro::platform
