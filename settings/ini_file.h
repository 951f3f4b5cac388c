#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dravlopro {

// A small reader and writer of profile (INI) text, UTF-8 encoded:
//   [section]
//   key=value
// Section and key names match without regard to ASCII case; values come back
// without surrounding blanks and without one pair of surrounding quotes.
// Lines starting with ";" or "#" are comments. Anything the reader does not
// understand (a line without "=", a "[" without "]") is kept as it is and
// ignored. Lines before the first section belong to no section.

// The value of key in section; nullopt when the section or the key is
// missing. When a key appears more than once, the first one counts.
std::optional<std::string> GetIniValue(std::string_view text, std::string_view section,
                                       std::string_view key);

// The text with key in section set to value. The key's own line is rewritten
// (or added at the end of the section, or a new section is added at the end
// of the text); every other byte stays as it was. New lines end like the
// text's first line ("\r\n" or "\n"). A value that would not read back as
// written (surrounding blanks or quotes) is stored in double quotes.
// nullopt when a name or the value cannot be stored: empty names, line
// breaks or zero characters anywhere, "]" in a section name, "=" in a key.
std::optional<std::string> SetIniValue(std::string_view text, std::string_view section,
                                       std::string_view key, std::string_view value);

// GetIniValue on a file. A missing or unreadable file has no values.
std::optional<std::string> ReadIniValue(const std::filesystem::path& file, std::string_view section,
                                        std::string_view key);

// SetIniValue on a file, which is created when missing. The new text is
// written to a temporary file beside it and renamed over it, so the file is
// either the old or the new text, never a mix. False when nothing was
// changed: the file exists but cannot be read, the value cannot be stored,
// or writing or renaming failed.
bool WriteIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value);

}  // namespace dravlopro
