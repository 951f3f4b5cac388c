#pragma once

// Windows only: the output files and the simulator's shared files both put a
// temporary file beside the one they replace.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <string>

namespace dravlopro::platform {

// Eight letters that make a name beside a file unlikely to be taken already.
inline std::wstring UniqueLetters() {
  static std::atomic<unsigned> counter{0};
  LARGE_INTEGER ticks = {};
  QueryPerformanceCounter(&ticks);
  std::uint64_t mix = static_cast<std::uint64_t>(ticks.QuadPart) ^
                      (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                      counter.fetch_add(1);
  mix ^= mix >> 33;
  mix *= 0xFF51AFD7ED558CCDull;
  mix ^= mix >> 33;
  wchar_t letters[9];
  std::swprintf(letters, 9, L"%08X", static_cast<unsigned>(mix));
  return letters;
}

}  // namespace dravlopro::platform
