#include "base/trace_format.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace dravlopro::trace {

namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t unit) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

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
          if (at_ + 4 > text_.size()) return false;
          std::uint32_t unit = 0;
          for (int k = 0; k < 4; ++k) {
            const int d = HexDigit(text_[at_++]);
            if (d < 0) return false;
            unit = unit * 16 + static_cast<std::uint32_t>(d);
          }
          AppendUtf8(out, unit);
          break;
        }
        default:
          return false;
      }
    }
    return false;
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

Line::Line(std::uint64_t ms, std::string_view event) : text_("{") {
  Num("ms", static_cast<std::int64_t>(ms));
  Str("ev", event);
}

Line::Line(std::string_view event) : text_("{") { Str("ev", event); }

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

Writer::~Writer() {
  if (file_ != nullptr) std::fclose(file_);
}

bool Writer::Open(const std::filesystem::path& file, std::string& reason) {
  startNs_ = NowNs();
#ifdef _WIN32
  file_ = _wfopen(file.c_str(), L"ab");
#else
  file_ = std::fopen(file.c_str(), "ab");
#endif
  if (file_ == nullptr) {
    reason = std::strerror(errno);
    failed_ = true;
    return false;
  }
  return true;
}

void Writer::Write(const Line& line) {
  if (file_ == nullptr) return;
  const std::string text = line.Text();
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    std::fclose(file_);
    file_ = nullptr;
    failed_ = true;
  }
}

std::uint64_t Writer::Ms() const {
  return static_cast<std::uint64_t>((NowNs() - startNs_) / 1000000);
}

const char* PlatformName() {
#if defined(_WIN32)
  return "windows";
#elif defined(__APPLE__)
  return "macos";
#elif defined(__linux__)
  return "linux";
#else
  return "other";
#endif
}

}  // namespace dravlopro::trace
