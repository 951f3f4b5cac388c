#include "base/console.h"

#include "base/text.h"

namespace dravlopro {

void Console::PrintMessage(const std::wstring& text) {
  if (quiet_ != 0) return;
  // Converted whole: a long message is never cut.
  const std::wstring upToZero = text.substr(0, text.find(L'\0'));
  sink_.Write(Narrow(upToZero));
}

void Console::Print(std::string_view text) {
  if (quiet_ != 0) return;
  sink_.Write(text);
}

void Console::PrintAlways(std::string_view text) { sink_.Write(text); }

void Console::Alert(const std::wstring& text) { sink_.Alert(Narrow(text)); }

}  // namespace dravlopro
