#include "base/text.h"

#include <climits>
#include <cstdio>
#include <cwctype>
#include <string_view>
#include <type_traits>
#include <vector>

namespace dravlopro {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Code units to UTF-8: 16-bit units are UTF-16, whose surrogate pairs make
// one character each; wider units are the characters themselves.
template <typename Unit>
std::string UnitsToUtf8(const Unit* units, std::size_t count) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Through the unsigned type of the same width: a negative 32-bit unit
    // is far beyond U+10FFFF, not a small value.
    using Unsigned = std::make_unsigned_t<Unit>;
    char32_t c = static_cast<Unsigned>(units[i]);
    if constexpr (sizeof(Unit) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
        const char32_t low = static_cast<Unsigned>(units[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

// The character that starts at text[at] and the number of its bytes; 0
// when the bytes there are not UTF-8: a stray or missing continuation byte,
// an overlong form, an encoded surrogate or a value beyond U+10FFFF.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& c) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    c = lead & 0x07;
    smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || IsSurrogate(c)) return 0;
  return length;
}

// UTF-8 to code units: UTF-16 for 16-bit units (a character beyond U+FFFF
// becomes a surrogate pair), the characters themselves for wider ones.
// A byte that is not UTF-8 becomes one unit of its own value.
// With escapeBytes, such a byte becomes the unit kEscapedByte + its value.
constexpr char32_t kEscapedByte = 0xDC00;

template <typename Text>
Text Utf8ToUnits(std::string_view text, bool escapeBytes = false) {
  using Unit = typename Text::value_type;
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, i, c);
    if (length == 0) {
      const char32_t byte = static_cast<unsigned char>(text[i]);
      out.push_back(static_cast<Unit>(escapeBytes ? kEscapedByte + byte : byte));
      ++i;
      continue;
    }
    i += length;
    if (sizeof(Unit) == 2 && c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<Unit>(0xD800 + (c >> 10)));
      out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<Unit>(c));
    }
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacementCharacter;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Narrow(const std::wstring& text) { return UnitsToUtf8(text.data(), text.size()); }

std::wstring Widen(const std::string& text) { return Utf8ToUnits<std::wstring>(text); }

std::wstring WidenBytes(const std::string& text) { return Utf8ToUnits<std::wstring>(text, true); }

std::string NarrowUtf16(std::u16string_view text) { return UnitsToUtf8(text.data(), text.size()); }

std::u16string WidenUtf16(std::string_view text) { return Utf8ToUnits<std::u16string>(text); }

std::wstring ToUpper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}

std::wstring ToLower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<std::size_t>(needed));
  }
  va_end(args);
  return out;
}

std::int64_t DecimalPrefixValue(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const int digit = text[i] - L'0';
    if (!saturated) {
      if (value > (INT64_MAX - digit) / 10) {
        saturated = true;
      } else {
        value = value * 10 + digit;
      }
    }
  }
  if (saturated) return negative ? INT64_MIN : INT64_MAX;
  return negative ? -value : value;
}

std::filesystem::path FilePath(const std::wstring& name) {
  // Where wide text is UTF-16 the platform takes it as it is; elsewhere file
  // names are UTF-8 bytes.
  if constexpr (sizeof(wchar_t) == 2) {
    return std::filesystem::path(name);
  } else {
    std::string bytes;
    for (const wchar_t unit : name) {
      const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(unit));
      if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
        bytes.push_back(static_cast<char>(c - kEscapedByte));
      } else {
        AppendUtf8(bytes, c);
      }
    }
    return std::filesystem::path(bytes);
  }
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

}  // namespace dravlopro
