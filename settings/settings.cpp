#include "settings/settings.h"

#include "base/text.h"

namespace dravlopro {

std::wstring SettingsStore::CutToBytes(const std::wstring& value, std::size_t maxBytes) const {
  std::string narrow = Narrow(value);
  if (narrow.size() > maxBytes) {
    // A cut before a continuation byte falls inside a character: it goes
    // before that character's first byte instead.
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(narrow[end]) & 0xC0) == 0x80) --end;
    narrow.resize(end);
  }
  return Widen(narrow);
}

}  // namespace dravlopro
