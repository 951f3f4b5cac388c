// A section, a key, a value and a settings text from the input; the value
// is set in the text.
//
// A value that is stored reads back exactly; setting it again changes
// nothing; every other section and key reads as it did before, and the
// bytes that changed lie within one line of the old text. Plain names and
// values are always stored.

#include "settings/ini_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";
constexpr std::size_t kMaxNames = 8;

std::string_view Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool IsPlain(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && c != '_' && c != '.') return false;
  }
  return true;
}

// Names that may stand in a text: what lies between "[" and "]" on a line,
// and what lies before "=" on a line. Only the first few of each are kept.
void CollectNames(std::string_view text, std::vector<std::string>& sections,
                  std::vector<std::string>& keys) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']', open == std::string_view::npos ? 0 : open);
    if (open != std::string_view::npos && close != std::string_view::npos &&
        sections.size() < kMaxNames) {
      sections.emplace_back(line.substr(open + 1, close - open - 1));
    }
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && keys.size() < kMaxNames) {
      keys.emplace_back(line.substr(0, equals));
    }
    pos = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(64);
  const std::string key = input.ConsumeRandomLengthString(64);
  const std::string value = input.ConsumeRandomLengthString(128);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const std::optional<std::string> updated = dravlopro::SetIniValue(text, section, key, value);
  if (!updated) {
    FUZZ_CHECK(!(IsPlain(section) && IsPlain(key) && (value.empty() || IsPlain(value))));
    return 0;
  }

  FUZZ_CHECK(dravlopro::GetIniValue(*updated, section, key) == value);
  FUZZ_CHECK(dravlopro::SetIniValue(*updated, section, key, value) == updated);

  // Only one line of the old text changed: what differs between the common
  // beginning and the common end holds no line end of the old text.
  const std::string& after = *updated;
  std::size_t prefix = 0;
  while (prefix < text.size() && prefix < after.size() && text[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < text.size() - prefix && suffix < after.size() - prefix &&
         text[text.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  FUZZ_CHECK(text.substr(prefix, text.size() - prefix - suffix).find('\n') == std::string::npos);

  std::vector<std::string> sections{section};
  std::vector<std::string> keys{key};
  CollectNames(text, sections, keys);
  CollectNames(after, sections, keys);
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      if (SameName(s, section) && SameName(k, key)) continue;
      FUZZ_CHECK(dravlopro::GetIniValue(text, s, k) == dravlopro::GetIniValue(after, s, k));
    }
  }
  return 0;
}
