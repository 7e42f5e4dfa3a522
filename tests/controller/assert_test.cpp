#include "core/assert.h"

#include <gtest/gtest.h>

#include <csignal>

// The build's own setting: the test, sanitizer and fuzz builds check.
#if defined(VS_ENABLE_ASSERT)
TEST(Assert, TheTestBuildChecks) { SUCCEED(); }

TEST(Assert, HoldingConditionIsEvaluatedOnceAndPasses) {
  int evaluations = 0;
  VS_ASSERT(++evaluations == 1);
  EXPECT_EQ(evaluations, 1);
  const int* some = &evaluations;
  VS_ASSERT(some);  // a pointer is a condition too
}

using AssertDeathTest = ::testing::Test;

TEST_F(AssertDeathTest, FailedConditionNamesFileLineAndConditionThenAborts) {
  int count = 3;
  EXPECT_DEATH(VS_ASSERT(count < 2), "assert_test\\.cpp:[0-9]+: assertion failed: count < 2");
  EXPECT_EXIT(VS_ASSERT(count == 0), ::testing::KilledBySignal(SIGABRT), "assertion failed");
}
#else
TEST(Assert, TheTestBuildChecks) {
  ADD_FAILURE() << "configured with VS_ENABLE_ASSERT=OFF: the tests must run with the invariants checked";
}
#endif
