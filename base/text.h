#pragma once

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dravlopro {

// Wide text is UTF-16 where wchar_t has 16 bits (Windows) and UTF-32
// elsewhere; narrow text is UTF-8.
//
// Narrow console text from a wide string. Always valid UTF-8: a surrogate
// that is not half of a pair, or a value that is no character, becomes
// U+FFFD. Plain ASCII passes as is.
std::string Narrow(const std::wstring& text);
// Wide text from narrow UTF-8 text; a character beyond U+FFFF becomes a
// surrogate pair where wchar_t has 16 bits. A byte that is not UTF-8 (a
// stray or missing continuation byte, an overlong form, an encoded
// surrogate, a value beyond U+10FFFF) passes as one unit of its own value.
std::wstring Widen(const std::string& text);
// Wide text from bytes meant as UTF-8 that may be any bytes, as POSIX systems
// hand over command-line arguments and file names: as Widen, but a byte that
// is not UTF-8 becomes the unit 0xDC00 + its value, a lone surrogate that no
// character decodes to, so that FilePath() gives back exactly those bytes.
// Narrow() shows such a unit as U+FFFD.
std::wstring WidenBytes(const std::string& text);
// The same for UTF-16 text, whatever the width of wchar_t.
std::string NarrowUtf16(std::u16string_view text);
std::u16string WidenUtf16(std::string_view text);
// Appends one character as UTF-8; a value that is no character (a
// surrogate, or beyond U+10FFFF) as U+FFFD, so the text stays valid UTF-8.
void AppendUtf8(std::string& out, char32_t c);

std::wstring ToUpper(std::wstring text);
std::wstring ToLower(std::wstring text);

// printf-style formatting into a string of whatever length it needs.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The standard library's signed decimal conversion: leading blanks and a
// sign allowed, digits up to the first non-digit, no digits gives 0,
// saturating at the 64-bit limits.
std::int64_t DecimalPrefixValue(const std::wstring& text);

bool StartsWith(const std::wstring& text, const std::wstring& prefix);

// The value of a hexadecimal digit ('0'-'9', 'A'-'F', 'a'-'f'), or -1 for
// any other character.
int HexDigitValue(wchar_t c);

// A file-system path from a file name as typed on the command line. Where
// file names are bytes, the units WidenBytes() made of bytes that are not
// UTF-8 become those bytes again.
std::filesystem::path FilePath(const std::wstring& name);

}  // namespace dravlopro
