#include "trace/format.h"

#include <cstring>

#include "base/text.h"
#include "trace/events.h"

namespace dravlopro::trace {

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
  static const char kDigits[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
}

int HexDigit(char c) { return HexDigitValue(static_cast<unsigned char>(c)); }

// A small reader over one line.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Peek(char c) {
    SkipBlanks();
    return at_ < text_.size() && text_[at_] == c;
  }
  bool AtEnd() {
    SkipBlanks();
    return at_ == text_.size();
  }

  bool String(std::string& out) {
    out.clear();
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          char32_t c = 0;
          if (!Unit(c)) return false;
          // A surrogate pair written as two escapes is one character.
          if (c >= 0xD800 && c <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
            const std::size_t back = at_;
            char32_t low = 0;
            at_ += 2;
            if (Unit(low) && low >= 0xDC00 && low <= 0xDFFF) {
              c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            } else {
              at_ = back;
            }
          }
          AppendUtf8(out, c);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  // The four hex digits of a "u" escape.
  bool Unit(char32_t& out) {
    if (at_ + 4 > text_.size()) return false;
    out = 0;
    for (int k = 0; k < 4; ++k) {
      const int d = HexDigit(text_[at_++]);
      if (d < 0) return false;
      out = out * 16 + static_cast<char32_t>(d);
    }
    return true;
  }

  // A number, true, false or null, as its literal text.
  bool Literal(std::string& out) {
    SkipBlanks();
    const std::size_t start = at_;
    while (at_ < text_.size() && std::strchr("-+.eE0123456789truefalsn", text_[at_]) != nullptr) {
      ++at_;
    }
    out.assign(text_.substr(start, at_ - start));
    return !out.empty();
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

bool FromHex(std::string_view text, std::vector<std::uint8_t>& out) {
  out.clear();
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

Line::Line(std::optional<std::uint64_t> ms, std::string_view run, std::string_view event)
    : text_("{") {
  if (ms) Num(field::kMs, static_cast<std::int64_t>(*ms));
  if (!run.empty()) Str(field::kRunMark, run);
  Str(field::kEvent, event);
}

Line& Line::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  AppendQuoted(text_, key);
  text_ += ':';
  return *this;
}

Line& Line::Str(std::string_view key, std::string_view value) {
  Key(key);
  AppendQuoted(text_, value);
  return *this;
}

Line& Line::Num(std::string_view key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

Line& Line::Bool(std::string_view key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

Line& Line::Null(std::string_view key) {
  Key(key);
  text_ += "null";
  return *this;
}

Line& Line::Strs(std::string_view key, const std::vector<std::string>& values) {
  Key(key);
  text_ += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) text_ += ',';
    AppendQuoted(text_, values[i]);
  }
  text_ += ']';
  return *this;
}

std::string Record::Get(std::string_view key) const {
  const auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

std::int64_t Record::Int(std::string_view key, std::int64_t fallback) const {
  const auto found = values.find(key);
  if (found == values.end() || found->second.empty()) return fallback;
  try {
    std::size_t used = 0;
    const long long value = std::stoll(found->second, &used);
    return used == found->second.size() ? value : fallback;
  } catch (...) {
    return fallback;
  }
}

bool Record::IsNull(std::string_view key) const {
  for (const std::string& name : nulls) {
    if (name == key) return true;
  }
  return false;
}

bool ParseLine(std::string_view text, Record& out) {
  out = Record{};
  Reader reader(text);
  if (!reader.Take('{')) return false;
  if (reader.Take('}')) return reader.AtEnd();
  for (;;) {
    std::string key;
    if (!reader.String(key) || !reader.Take(':')) return false;
    if (reader.Peek('"')) {
      std::string value;
      if (!reader.String(value)) return false;
      out.values[key] = value;
    } else if (reader.Take('[')) {
      std::vector<std::string>& items = out.arrays[key];
      if (!reader.Take(']')) {
        for (;;) {
          std::string item;
          if (!reader.String(item)) return false;
          items.push_back(item);
          if (reader.Take(']')) break;
          if (!reader.Take(',')) return false;
        }
      }
    } else {
      std::string literal;
      if (!reader.Literal(literal)) return false;
      if (literal == "null") {
        out.nulls.push_back(key);
      } else {
        out.values[key] = literal;
      }
    }
    if (reader.Take('}')) return reader.AtEnd();
    if (!reader.Take(',')) return false;
  }
}

}  // namespace dravlopro::trace
