#include "base/values.h"

#include <cwctype>

#include "base/result_code.h"
#include "base/text.h"

namespace dravlopro {

namespace {

bool IsUpperHexDigitValue(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
}

// The standard library's unsigned base-16 conversion: leading blanks, a
// sign and a "0x" prefix allowed, stops at the first non-digit, saturates.
std::uint32_t HexPrefixValue(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  const bool prefixed = text.compare(i, 2, L"0X") == 0 || text.compare(i, 2, L"0x") == 0;
  if (prefixed && i + 2 < text.size() && HexDigitValue(text[i + 2]) >= 0) i += 2;
  std::uint64_t value = 0;
  for (; i < text.size() && HexDigitValue(text[i]) >= 0; ++i) {
    value = value * 16 + static_cast<std::uint64_t>(HexDigitValue(text[i]));
    if (value > 0xFFFFFFFFu) value = 0x100000000u;
  }
  if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

}  // namespace

bool BeginsWithDash(const std::wstring& word) { return !word.empty() && word[0] == L'-'; }

bool ParseUnsigned(const std::wstring& text, std::uint32_t& value) {
  if (text.find(L"0X") == 0) {
    const std::wstring digits = text.substr(2);
    if (digits.size() > 8) return false;
    std::uint32_t result = 0;
    for (wchar_t c : digits) {
      if (!IsUpperHexDigitValue(c)) return false;
      result = result * 16 + static_cast<std::uint32_t>(HexDigitValue(c));
    }
    value = result;
    return true;
  }
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  const std::int64_t number = DecimalPrefixValue(text);
  if (number >= 0x100000000LL) {
    value = 0;
    return false;
  }
  value = static_cast<std::uint32_t>(number);
  if (number != 0) return true;
  return text == L"0";
}

std::wstring GetKeyValue(const std::vector<std::wstring>& params, const std::wstring& key,
                         std::size_t n) {
  std::wstring result;
  for (std::size_t i = 0; i < n && i < params.size(); ++i) {
    const std::wstring& entry = params[i];
    if (entry.empty()) continue;
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) continue;
    if (entry.compare(0, equals, key) != 0 || equals != key.size()) continue;
    result = entry.substr(equals + 1);
    if (StartsWith(result, L"0X")) result.erase(0, 2);
  }
  return result;
}

int ParseOptionSettings(RunState& state, std::size_t n) {
  for (std::size_t i = 0; i < n && i < state.params.size(); ++i) {
    const std::wstring& entry = state.params[i];
    if (entry.empty()) return Success;
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) return Success;
    const std::wstring key = entry.substr(0, equals);
    const std::wstring text = entry.substr(equals + 1);
    std::uint32_t value = 0;
    if (StartsWith(text, L"0X")) {
      value = HexPrefixValue(text.substr(2));
    } else {
      value = static_cast<std::uint32_t>(static_cast<std::uint64_t>(DecimalPrefixValue(text)));
    }
    bool matched = false;
    for (OptionSetting& setting : state.optionSettings) {
      if (setting.name == key) {
        setting.value = value;
        matched = true;
        break;
      }
    }
    if (!matched) return InvalidParameter;
  }
  return Success;
}

std::int64_t AdapterIdValue(const std::wstring& text) { return DecimalPrefixValue(text); }

}  // namespace dravlopro
