#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace dravlopro {
namespace {

// Characters of every UTF-8 length: a (1 byte), ä (2), € (3), U+1F600 (4).
const std::string kUtf8 = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";
const std::u16string kUtf16{u'a', 0x00E4, 0x20AC, 0xD83D, 0xDE00};
const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::u16string Units(std::initializer_list<char16_t> units) { return std::u16string(units); }

TEST(TextConversion, CharactersOfEveryLengthConvertBothWays) {
  EXPECT_EQ(NarrowUtf16(kUtf16), kUtf8);
  EXPECT_EQ(WidenUtf16(kUtf8), kUtf16);
  // The wide string literal is UTF-16 or UTF-32 as wchar_t is wide.
  const std::wstring wide = L"a\u00E4\u20AC\U0001F600";
  EXPECT_EQ(Narrow(wide), kUtf8);
  EXPECT_EQ(Widen(kUtf8), wide);
  EXPECT_EQ(Widen("\xF0\x9F\x98\x80").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
  // The first and last characters of each length.
  for (const char32_t c :
       {0x7FU, 0x80U, 0x7FFU, 0x800U, 0xD7FFU, 0xE000U, 0xFFFFU, 0x10000U, 0x10FFFFU}) {
    std::u16string units;
    if (c >= 0x10000) {
      units = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
               static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
    } else {
      units = {static_cast<char16_t>(c)};
    }
    const std::string narrow = NarrowUtf16(units);
    EXPECT_EQ(narrow.size(), c < 0x80      ? 1u
                             : c < 0x800   ? 2u
                             : c < 0x10000 ? 3u
                                           : 4u)
        << static_cast<unsigned>(c);
    EXPECT_EQ(WidenUtf16(narrow), units) << static_cast<unsigned>(c);
  }
}

TEST(TextConversion, LoneSurrogatesBecomeTheReplacementCharacter) {
  const std::string r = kReplacement;
  EXPECT_EQ(NarrowUtf16(Units({0xD800})), r);
  EXPECT_EQ(NarrowUtf16(Units({0xDFFF})), r);
  EXPECT_EQ(NarrowUtf16(Units({0xD83D, u'x'})), r + "x");  // high, then no low
  EXPECT_EQ(NarrowUtf16(Units({u'x', 0xDBFF})), "x" + r);  // high at the end
  EXPECT_EQ(NarrowUtf16(Units({0xDE00, 0xD83D})), r + r);  // the wrong order
  EXPECT_EQ(NarrowUtf16(Units({0xD83D, 0xD83D, 0xDE00})), r + "\xF0\x9F\x98\x80");
  // Through the wide string: UTF-16 pairs up only where wchar_t has 16 bits.
  const std::wstring lone{static_cast<wchar_t>(0xDC00), L'b'};
  EXPECT_EQ(Narrow(lone), r + "b");
  const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(Narrow(pair), sizeof(wchar_t) == 2 ? "\xF0\x9F\x98\x80" : r + r);
  if constexpr (sizeof(wchar_t) > 2) {
    const std::wstring beyond{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)};
    EXPECT_EQ(Narrow(beyond), r + r);
  }
}

// Every 16-bit unit alone and many pairs: what Narrow gives is UTF-8 that
// the strict reading takes back whole, to the same text or to U+FFFD for a
// surrogate that stands alone. (Counted rather than asserted one by one,
// which takes seconds under an emulator.)
TEST(TextConversion, NarrowTextIsAlwaysValidUtf8) {
  std::size_t wrong = 0;
  std::u16string firstWrong;
  const auto check = [&](const std::u16string& units, const std::u16string& expected,
                         std::size_t bytes) {
    const std::string narrow = NarrowUtf16(units);
    if (narrow.size() != bytes || WidenUtf16(narrow) != expected) {
      if (wrong++ == 0) firstWrong = units;
    }
  };
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const std::u16string units{static_cast<char16_t>(u)};
    if (u >= 0xD800 && u <= 0xDFFF) {
      check(units, Units({0xFFFD}), 3);
    } else {
      check(units, units, u < 0x80 ? 1 : u < 0x800 ? 2 : 3);
    }
  }
  for (char32_t high = 0xD800; high <= 0xDBFF; high += 7) {
    for (char32_t low = 0xDC00; low <= 0xDFFF; low += 13) {
      const std::u16string units{static_cast<char16_t>(high), static_cast<char16_t>(low)};
      check(units, units, 4);
    }
  }
  EXPECT_EQ(wrong, 0u) << "first: unit " << std::hex << static_cast<unsigned>(firstWrong[0]);
}

TEST(TextConversion, BytesThatAreNotUtf8PassAsUnitsOfTheirOwn) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"a stray continuation byte", "\x80"},
      {"a lead byte at the end", "\xC3"},
      {"a lead byte before ASCII", "\xE2\x82x"},
      {"an overlong NUL", "\xC0\x80"},
      {"an overlong three-byte form", "\xE0\x80\xAF"},
      {"an overlong four-byte form", "\xF0\x8F\xBF\xBF"},
      {"an encoded surrogate", "\xED\xA0\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
      {"no UTF-8 lead byte", "\xF8\x88\x80\x80\x80"},
  };
  for (const Case& c : cases) {
    std::u16string expected;
    std::wstring wideExpected;
    for (const char b : c.bytes) {
      expected.push_back(static_cast<unsigned char>(b));
      wideExpected.push_back(static_cast<unsigned char>(b));
    }
    EXPECT_EQ(WidenUtf16(c.bytes), expected) << c.name;
    EXPECT_EQ(Widen(c.bytes), wideExpected) << c.name;
  }
  // A valid character right after an invalid byte is read whole.
  EXPECT_EQ(WidenUtf16("\xC3\xC3\xA4"), Units({0xC3, 0xE4}));
}

}  // namespace
}  // namespace dravlopro
