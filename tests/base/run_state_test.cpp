#include "base/run_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravlopro {
namespace {

TEST(TakeParameters, UpperCasesTheRestOfTheLineAndNeverMoreThanItHolds) {
  RunState state;
  std::vector<std::wstring> argv = {L"dravlopro", L"-r32", L"0x2000abcd", L"4"};
  TakeParameters(state, argv, 1);
  EXPECT_EQ(state.paramCount, 2u);
  EXPECT_EQ(state.params[0], L"0X2000ABCD");

  argv.assign(kMaxParams + 10, L"x");
  TakeParameters(state, argv, 1);
  EXPECT_EQ(state.paramCount, kMaxParams);
  EXPECT_EQ(state.params.size(), kMaxParams);
}

}  // namespace
}  // namespace dravlopro
