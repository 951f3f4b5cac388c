#include "base/text.h"
#include "platform/platform.h"

namespace dravlopro::platform {

// The arguments arrive as bytes; they are taken as UTF-8, and a byte that is
// not part of a valid sequence becomes one code unit of its own value.
std::vector<std::wstring> CommandLineArguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    arguments.push_back(Widen(argv[i]));
  }
  return arguments;
}

}  // namespace dravlopro::platform
