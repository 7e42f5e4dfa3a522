#include "core/debug_log.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing.h"

TEST(DebugLog, LineIsTextThenSeparateNewline) {
  vsplat::DebugCapture capture;
  debugPrintf("%s loaded in %fs.", "init.lua", 1.5);
  ASSERT_EQ(capture.calls(), 2u);
  EXPECT_EQ(capture.call(0), "init.lua loaded in 1.500000s.");
  EXPECT_EQ(capture.call(1), "\n");
}

TEST(DebugLog, LongTextIsCutAtTheBuffer) {
  vsplat::DebugCapture capture;
  std::string big(5000, 'x');
  debugPrintf("%s", big.c_str());
  ASSERT_EQ(capture.calls(), 2u);
  EXPECT_EQ(capture.call(0), std::string(1027, 'x'));
}
