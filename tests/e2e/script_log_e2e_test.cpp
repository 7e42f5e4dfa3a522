// End to end: what the content's init.lua writes with io.write, and why its
// start failed, show in the real player's debug log (its standard error).
#include <gtest/gtest.h>

#include <string>

#include "e2e/player_run.h"

namespace {

// Packs init.lua into a player of its own, runs it until the log holds
// `until` (or twenty seconds pass), and answers the log.
std::string playInit(const std::string& tag, const char* init, const std::string& until) {
  e2e::PlayerRun r("script_log_" + tag, init);
  if (!r.embedded) return "(packing failed)";
  r.ready = until;
  r.play("kill $pid");
  return r.file("log");
}

TEST(ScriptLog, IoWriteDuringTheStartReachesTheLog) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  std::string log = playInit(
      "write", "io.write('hello from init', 42)\nfunction startup() io.stderr:write('started') end\n", "loaded in");
  EXPECT_NE(log.find("hello from init\n42\n"), std::string::npos) << log;
  EXPECT_NE(log.find("started\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" loaded in "), std::string::npos) << log;
}

TEST(ScriptLog, AFailedStartLogsItsReasonAndNoLoadTime) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  std::string log = playInit("error", "x = 1\nfunction startup() end end\n", "init.lua:");
  EXPECT_NE(log.find("init.lua:2:"), std::string::npos) << log;
  EXPECT_EQ(log.find("loaded in"), std::string::npos) << log;
}

}  // namespace
