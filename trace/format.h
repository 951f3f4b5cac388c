#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The lines of a field trace: one JSON object per line (JSON Lines), bytes as
// lowercase hex strings. trace/events.h names the events and their fields.
namespace dravlopro::trace {

// Bytes as a hex string, two lowercase digits each.
std::string Hex(const std::uint8_t* bytes, std::size_t count);
// False when the text is not an even run of hex digits.
bool FromHex(std::string_view text, std::vector<std::uint8_t>& out);

// One event line under construction: {"ms":...,"run":"...","ev":"...",...},
// without "ms" when the line has no time (the first line of a run), without
// "run" when the run has no mark.
class Line {
 public:
  Line(std::optional<std::uint64_t> ms, std::string_view run, std::string_view event);
  explicit Line(std::string_view event) : Line(std::nullopt, {}, event) {}
  Line& Str(std::string_view key, std::string_view value);
  Line& Num(std::string_view key, std::int64_t value);
  Line& Bool(std::string_view key, bool value);
  Line& Null(std::string_view key);
  Line& Strs(std::string_view key, const std::vector<std::string>& values);
  // The finished line, ending in a line feed.
  std::string Text() const { return text_ + "}\n"; }

 private:
  Line& Key(std::string_view key);
  std::string text_;
};

// One parsed line: string, number, boolean and null values, and arrays of
// strings. Numbers and booleans keep their literal text.
struct Record {
  std::map<std::string, std::string, std::less<>> values;
  std::map<std::string, std::vector<std::string>, std::less<>> arrays;
  std::vector<std::string> nulls;

  bool Has(std::string_view key) const { return values.find(key) != values.end(); }
  // Empty when the key is missing.
  std::string Get(std::string_view key) const;
  // fallback when the key is missing or not a number.
  std::int64_t Int(std::string_view key, std::int64_t fallback = -1) const;
  bool IsNull(std::string_view key) const;
};

// False for a line that is not one flat object of the kinds above.
bool ParseLine(std::string_view text, Record& out);

}  // namespace dravlopro::trace
