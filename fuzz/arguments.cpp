// The input as a command line, one word per line (UTF-8), through argument
// validation and the value parsers.
//
// Validation answers 0, 1 or 3, and what it accepts it accepted for a
// reason: a selected ID is the value of an "-id" word, a serial number the
// upper-cased value of an "-sn" word. Numbers are checked against the
// rules of the command line written out here on their own: an unsigned
// value is decimal digits (no leading zero beyond "0" itself, below 2^32)
// or "0X" and at most 8 upper-case hexadecimal digits; an adapter ID is
// the C library's signed decimal conversion.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/validation.h"
#include "base/result_code.h"
#include "base/run_state.h"
#include "base/text.h"
#include "base/values.h"
#include "fuzz/fuzz_check.h"

namespace {

using dravlopro::ToLower;
using dravlopro::ToUpper;

std::vector<std::wstring> Words(std::string_view input) {
  std::vector<std::wstring> words;
  if (input.empty()) return words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = input.find('\n', start);
    words.push_back(dravlopro::Widen(std::string(input.substr(start, end - start))));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return words;
}

std::optional<std::uint32_t> ExpectedUnsigned(const std::wstring& text) {
  if (text.rfind(L"0X", 0) == 0) {
    if (text.size() > 10) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
      const wchar_t c = text[i];
      std::uint32_t digit = 0;
      if (c >= L'0' && c <= L'9') {
        digit = static_cast<std::uint32_t>(c - L'0');
      } else if (c >= L'A' && c <= L'F') {
        digit = static_cast<std::uint32_t>(c - L'A' + 10);
      } else {
        return std::nullopt;
      }
      value = value * 16 + digit;
    }
    return value;
  }
  if (text.empty()) return std::nullopt;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
  }
  if (text == L"0") return 0u;
  const std::size_t first = text.find_first_not_of(L'0');
  if (first == std::wstring::npos) return std::nullopt;  // "00", "000": no value
  const std::wstring digits = text.substr(first);
  if (digits.size() > 10) return std::nullopt;
  const std::uint64_t value = std::wcstoull(digits.c_str(), nullptr, 10);
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

bool IsAscii(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < 0 || c > 0x7F) return false;
  }
  return true;
}

void CheckValues(const std::vector<std::wstring>& words) {
  for (const std::wstring& word : words) {
    for (const std::wstring& text : {word, ToUpper(word)}) {
      std::uint32_t value = 0;
      const bool valid = dravlopro::ParseUnsigned(text, value);
      const std::optional<std::uint32_t> expected = ExpectedUnsigned(text);
      FUZZ_CHECK(valid == expected.has_value());
      if (valid) FUZZ_CHECK(value == *expected);
    }
    if (IsAscii(word)) {
      FUZZ_CHECK(dravlopro::AdapterIdValue(word) == std::wcstoll(word.c_str(), nullptr, 10));
    }
  }

  dravlopro::RunState state;
  const std::size_t n = std::min(words.size(), dravlopro::kMaxParams);
  for (std::size_t i = 0; i < n; ++i) state.params[i] = ToUpper(words[i]);
  for (const wchar_t* key : {L"SN", L"ID"}) {
    const std::wstring value = dravlopro::GetKeyValue(state.params, key, n);
    if (value.empty()) continue;
    // The value comes from some KEY=value word, maybe without a leading "0X".
    bool found = false;
    for (std::size_t i = 0; i < n && !found; ++i) {
      const std::wstring& entry = state.params[i];
      const std::wstring prefix = std::wstring(key) + L"=";
      found = entry.rfind(prefix, 0) == 0 && entry.size() >= prefix.size() + value.size() &&
              entry.compare(entry.size() - value.size(), value.size(), value) == 0;
    }
    FUZZ_CHECK(found);
  }
  const int parsed = dravlopro::ParseOptionSettings(state, n);
  FUZZ_CHECK(parsed == dravlopro::Success || parsed == dravlopro::InvalidParameter);
  const wchar_t* const names[] = {L"CP0", L"CP1", L"PP0", L"PP1", L"PP2", L"PP3"};
  for (std::size_t i = 0; i < state.optionSettings.size(); ++i) {
    FUZZ_CHECK(state.optionSettings[i].name == names[i]);
  }
}

void CheckValidation(const std::vector<std::wstring>& words) {
  std::vector<std::wstring> argv{L"dravlopro.exe"};
  argv.insert(argv.end(), words.begin(), words.end());
  std::wstring targetSn;
  std::int32_t targetId = 255;
  std::uint32_t quiet = 0;
  const int result = dravlopro::ValidateArguments(argv, targetSn, targetId, quiet);
  FUZZ_CHECK(result == dravlopro::Success || result == dravlopro::InvalidParameter ||
             result == dravlopro::CommandNotApplicable);
  FUZZ_CHECK(quiet <= 1);
  if (argv.size() > dravlopro::kMaxParams + 2) FUZZ_CHECK(result == dravlopro::InvalidParameter);
  if (result != dravlopro::Success) return;

  bool idExplained = targetId == 255;
  bool snExplained = targetSn.empty();
  for (std::size_t i = 1; i + 1 < argv.size(); ++i) {
    const std::wstring word = ToLower(argv[i]);
    if (word == L"-id") {
      const std::optional<std::uint32_t> value = ExpectedUnsigned(argv[i + 1]);
      if (value && static_cast<std::int32_t>(*value) == targetId) idExplained = true;
    } else if (word == L"-sn" && ToUpper(argv[i + 1]) == targetSn) {
      snExplained = true;
    }
  }
  FUZZ_CHECK(targetId == 255 || (targetId >= 0 && targetId <= 9));
  FUZZ_CHECK(idExplained && snExplained);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::wstring> words =
      Words(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckValidation(words);
  CheckValues(words);
  return 0;
}
