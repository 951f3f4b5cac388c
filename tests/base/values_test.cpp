#include "base/values.h"

#include <gtest/gtest.h>

namespace dravlopro {
namespace {

struct UnsignedCase {
  const wchar_t* text;
  bool valid;
  std::uint32_t value;
};

TEST(ParseUnsigned, AcceptsAndRefusesAsTheRulesSay) {
  const UnsignedCase cases[] = {
      {L"0", true, 0},
      {L"00", false, 0},
      {L"", false, 0},
      {L"000", false, 0},
      {L"4294967295", true, 0xFFFFFFFFu},
      {L"4294967296", false, 0},
      {L"99999999999999999999999", false, 0},
      {L"0X", true, 0},
      {L"0X0", true, 0},
      {L"0XFFFFFFFF", true, 0xFFFFFFFFu},
      {L"0X000000010", false, 0},
      {L"0X1A", true, 26},
      {L"0x1a", false, 0},
      {L"0X1a", false, 0},
      {L"0XG1", false, 0},
      {L"1X", false, 0},
      {L"10X5", false, 0},
      {L"-1", false, 0},
      {L"+1", false, 0},
      {L"1 ", false, 0},
      {L" 1", false, 0},
      {L"12345", true, 12345},
      {L"007", true, 7},
  };
  for (const UnsignedCase& c : cases) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(ParseUnsigned(c.text, value), c.valid)
        << std::string(c.text, c.text + wcslen(c.text));
    if (c.valid) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(GetKeyValue, FindsTheValueOfTheFirstWordOnly) {
  auto value = [](std::vector<std::wstring> params) {
    params.resize(kMaxParams);
    return GetKeyValue(params, L"SN", 1);
  };
  EXPECT_EQ(value({L"SN=12345"}), L"12345");
  EXPECT_EQ(value({L"SN="}), L"");
  EXPECT_EQ(value({L"ID=1"}), L"");
  EXPECT_EQ(value({L"SN=0X12"}), L"12");
  EXPECT_EQ(value({L"SN=0X"}), L"");
  EXPECT_EQ(value({L"SN=A=B"}), L"A=B");
  EXPECT_EQ(value({L"NULL"}), L"");
  EXPECT_EQ(value({L"SNX=1"}), L"");
  EXPECT_EQ(value({L"ID=1", L"SN=2"}), L"");
  EXPECT_EQ(value({L""}), L"");
}

TEST(GetKeyValue, LaterMatchReplacesEarlier) {
  std::vector<std::wstring> params{L"SN=1", L"X", L"SN=0X2"};
  EXPECT_EQ(GetKeyValue(params, L"SN", 3), L"2");
  EXPECT_EQ(GetKeyValue(params, L"SN", 2), L"1");
}

class OptionSettingsTest : public ::testing::Test {
 protected:
  int Parse(std::vector<std::wstring> words) {
    const std::size_t n = words.size();
    for (std::size_t i = 0; i < n; ++i) state.params[i] = words[i];
    return ParseOptionSettings(state, n);
  }
  std::uint32_t Value(const wchar_t* name) {
    for (const OptionSetting& s : state.optionSettings) {
      if (s.name == name) return s.value;
    }
    ADD_FAILURE() << "no setting";
    return 0;
  }
  RunState state;
};

TEST_F(OptionSettingsTest, ReadsDecimalAndHexValues) {
  EXPECT_EQ(Parse({L"CP0=1", L"PP1=0X10"}), 0);
  EXPECT_EQ(Value(L"CP0"), 1u);
  EXPECT_EQ(Value(L"PP1"), 16u);
  EXPECT_EQ(Value(L"CP1"), 0u);
}

TEST_F(OptionSettingsTest, ConvertsLooselyAsTheLibraryDoes) {
  EXPECT_EQ(Parse({L"PP3=4294967296", L"PP0=0X1G", L"PP1=-1", L"CP0=ABC", L"PP2=0X"}), 0);
  EXPECT_EQ(Value(L"PP3"), 0u);
  EXPECT_EQ(Value(L"PP0"), 1u);
  EXPECT_EQ(Value(L"PP1"), 0xFFFFFFFFu);
  EXPECT_EQ(Value(L"CP0"), 0u);
  EXPECT_EQ(Value(L"PP2"), 0u);
}

TEST_F(OptionSettingsTest, UnknownKeyIsRefused) { EXPECT_EQ(Parse({L"CP2=1"}), 1); }

TEST_F(OptionSettingsTest, StopsAtTheNextCommandWord) {
  EXPECT_EQ(Parse({L"CP0=1", L"-RST", L"CP1=1"}), 0);
  EXPECT_EQ(Value(L"CP0"), 1u);
  EXPECT_EQ(Value(L"CP1"), 0u);
}

TEST_F(OptionSettingsTest, NoWordsChangeNothingAndKeysKeepEarlierValues) {
  state.optionSettings[2].value = 7;
  EXPECT_EQ(Parse({}), 0);
  EXPECT_EQ(Parse({L"PP0=9", L"PP0=3"}), 0);
  EXPECT_EQ(Value(L"PP0"), 3u);
  EXPECT_EQ(Parse({L"CP1=2"}), 0);
  EXPECT_EQ(Value(L"PP0"), 3u);
}

TEST(AdapterIdValue, ConvertsTheLeadingDecimalNumber) {
  EXPECT_EQ(AdapterIdValue(L"1X"), 1);
  EXPECT_EQ(AdapterIdValue(L"ABC"), 0);
  EXPECT_EQ(AdapterIdValue(L" -1"), -1);
  EXPECT_EQ(AdapterIdValue(L"+8"), 8);
}

}  // namespace
}  // namespace dravlopro
