#pragma once

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <string>

namespace dravlopro {

// Narrow console text from a wide string (UTF-8; plain ASCII passes as is).
std::string Narrow(const std::wstring& text);
// Wide text from narrow UTF-8 text (invalid bytes pass as single units).
std::wstring Widen(const std::string& text);

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

// A file-system path from a file name as typed on the command line.
std::filesystem::path FilePath(const std::wstring& name);

}  // namespace dravlopro
