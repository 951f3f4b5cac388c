#include "base/text.h"
#include "platform/platform.h"

namespace dravlopro::platform {

// The arguments arrive as bytes; they are taken as UTF-8, and a byte that is
// not part of a valid sequence becomes a unit of its own that file names
// turn back into that byte.
std::vector<std::wstring> CommandLineArguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    arguments.push_back(WidenBytes(argv[i]));
  }
  return arguments;
}

}  // namespace dravlopro::platform
