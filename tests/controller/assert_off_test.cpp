// VS_ASSERT in a build that has it off: nothing runs.
#undef VS_ENABLE_ASSERT
#include "core/assert.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {
int g_calls = 0;
bool counted() {
  ++g_calls;
  return false;
}
}  // namespace

TEST(AssertOff, ConditionIsNeverEvaluated) {
  int evaluations = 0;
  VS_ASSERT(++evaluations == 99);
  VS_ASSERT(counted());
  EXPECT_EQ(evaluations, 0);
  EXPECT_EQ(g_calls, 0);
}

TEST(AssertOff, IsAnExpressionOfNoValue) {
  int side = 0;
  // Usable wherever the enabled form is: in a comma expression, after if.
  (VS_ASSERT(side == 1), ++side);
  if (side) VS_ASSERT(false);
  EXPECT_EQ(side, 1);
  static_assert(std::is_void<decltype(VS_ASSERT(side))>::value, "VS_ASSERT is a void expression");
}
