#include "settings/ini_file.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "settings/replace_file.h"

namespace dravlopro {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One pair of matching quotes around the whole value goes, as the profile
// services do it.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// A line as offsets into the text: [begin, end) is its content, [end, next)
// its line end ("\n", "\r\n" or nothing on an unterminated last line).
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.push_back({pos, text.size(), text.size()});
      break;
    }
    const std::size_t end = (lf > pos && text[lf - 1] == '\r') ? lf - 1 : lf;
    lines.push_back({pos, end, lf + 1});
    pos = lf + 1;
  }
  return lines;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;        // section or key name, trimmed
  std::string_view value;       // trimmed and unquoted
  std::size_t valueOffset = 0;  // where the value text starts, from the line's begin
};

ParsedLine Parse(std::string_view content) {
  ParsedLine parsed;
  const std::size_t start = content.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return parsed;
  const char first = content[start];
  if (first == '[') {
    const std::size_t close = content.find(']', start);
    if (close == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Section;
    parsed.name = Trim(content.substr(start + 1, close - start - 1));
    return parsed;
  }
  if (first == ';' || first == '#') return parsed;
  const std::size_t eq = content.find('=', start);
  if (eq == std::string_view::npos) return parsed;
  parsed.name = Trim(content.substr(start, eq - start));
  if (parsed.name.empty()) return parsed;
  parsed.kind = LineKind::Key;
  parsed.value = Unquote(Trim(content.substr(eq + 1)));
  std::size_t valueOffset = eq + 1;
  while (valueOffset < content.size() &&
         (content[valueOffset] == ' ' || content[valueOffset] == '\t')) {
    ++valueOffset;
  }
  parsed.valueOffset = valueOffset;
  return parsed;
}

std::string_view Content(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.end - line.begin);
}

bool HasLineBreakOrZero(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsStorableSection(std::string_view name) {
  return !name.empty() && !HasLineBreakOrZero(name) && name.find(']') == std::string_view::npos;
}

bool IsStorableKey(std::string_view name) {
  return !name.empty() && !HasLineBreakOrZero(name) && name.find('=') == std::string_view::npos &&
         name.front() != '[' && name.front() != ';' && name.front() != '#';
}

// The value as it must be written to read back unchanged.
std::string EncodeValue(std::string_view value) {
  const bool needsQuotes = !value.empty() && (Trim(value).size() != value.size() ||
                                              Unquote(value).size() != value.size());
  if (!needsQuotes) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

enum class LoadResult { Loaded, Missing, Failed };

// More than a settings file ever holds: a larger one is not read.
constexpr std::size_t kMostFileBytes = 1024 * 1024;

// Only a regular file (or a link to one) is read, and only so much of it: a
// FIFO would hang every run, a link to /dev/zero would read without end.
LoadResult LoadFile(const fs::path& file, std::string& text) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (status.type() == fs::file_type::not_found) return LoadResult::Missing;
  if (ec || !fs::is_regular_file(status)) return LoadResult::Failed;
  std::ifstream in(file, std::ios::binary);
  if (!in) return LoadResult::Failed;
  text.resize(kMostFileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad() || in.gcount() > static_cast<std::streamsize>(kMostFileBytes)) {
    return LoadResult::Failed;
  }
  text.resize(static_cast<std::size_t>(in.gcount()));
  return LoadResult::Loaded;
}

}  // namespace

std::optional<std::string> GetIniValue(std::string_view text, std::string_view section,
                                       std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false;
  for (const Line& line : SplitLines(text)) {
    const ParsedLine parsed = Parse(Content(text, line));
    if (parsed.kind == LineKind::Section) {
      inSection = EqualNoCase(parsed.name, section);
    } else if (parsed.kind == LineKind::Key && inSection && EqualNoCase(parsed.name, key)) {
      return std::string(parsed.value);
    }
  }
  return std::nullopt;
}

std::optional<std::string> SetIniValue(std::string_view text, std::string_view section,
                                       std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!IsStorableSection(section) || !IsStorableKey(key) || HasLineBreakOrZero(value)) {
    return std::nullopt;
  }
  const std::vector<Line> lines = SplitLines(text);
  const std::string_view eol = (!lines.empty() && lines[0].next > lines[0].end)
                                   ? text.substr(lines[0].end, lines[0].next - lines[0].end)
                                   : std::string_view("\n");
  const std::string encoded = EncodeValue(value);

  bool inSection = false;
  bool inFirstSection = false;
  bool sectionSeen = false;
  std::size_t insertAfter = 0;  // line index; valid once sectionSeen
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine parsed = Parse(Content(text, lines[i]));
    if (parsed.kind == LineKind::Section) {
      inSection = EqualNoCase(parsed.name, section);
      inFirstSection = inSection && !sectionSeen;
      if (inFirstSection) {
        sectionSeen = true;
        insertAfter = i;
      }
    } else if (parsed.kind == LineKind::Key && inSection) {
      if (EqualNoCase(parsed.name, key)) {
        // The key's line keeps its spelling and its blanks up to the value.
        std::string result(text.substr(0, lines[i].begin + parsed.valueOffset));
        result += encoded;
        result += text.substr(lines[i].end);
        return result;
      }
      if (inFirstSection) insertAfter = i;
    }
  }

  const std::string keyLine = std::string(key) + "=" + encoded;
  if (sectionSeen) {
    const Line& after = lines[insertAfter];
    std::string result(text.substr(0, after.next));
    if (after.next == after.end) result += eol;  // the last line had no line end
    result += keyLine;
    result += eol;
    result += text.substr(after.next);
    return result;
  }

  std::string result(text);
  if (!lines.empty()) {
    const Line& last = lines.back();
    if (last.next == last.end) result += eol;
    if (!Trim(Content(text, last)).empty()) result += eol;  // a blank line between sections
  }
  result += "[" + std::string(section) + "]";
  result += eol;
  result += keyLine;
  result += eol;
  return result;
}

std::optional<std::string> ReadIniValue(const fs::path& file, std::string_view section,
                                        std::string_view key) {
  std::string text;
  if (LoadFile(file, text) != LoadResult::Loaded) return std::nullopt;
  return GetIniValue(text, section, key);
}

bool WriteIniValue(const fs::path& file, std::string_view section, std::string_view key,
                   std::string_view value) {
  std::string text;
  const LoadResult loaded = LoadFile(file, text);
  if (loaded == LoadResult::Failed) return false;
  const std::optional<std::string> updated = SetIniValue(text, section, key, value);
  if (!updated) return false;
  if (loaded == LoadResult::Loaded && *updated == text) return true;
  return ReplaceFileContents(file, *updated, loaded == LoadResult::Loaded);
}

}  // namespace dravlopro
