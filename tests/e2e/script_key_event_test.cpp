// End to end: a key sent to the real player's window with xdotool reaches
// the content script's CB_EVENT callback as (EVENT_KEY_DOWN, code, 0).
#include <gtest/gtest.h>

#include <string>

#include "e2e/player_run.h"

namespace {

TEST(ScriptEvents, KeyFromTheWindowReachesTheScript) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  e2e::PlayerRun r("script_key", R"(
function startup()
  io.write("script ready\n")
  setCallback(CB_EVENT, function(kind, code, extra)
    io.write(string.format("event %d %d %s\n", kind, code, tostring(extra)))
    return false
  end)
end
)");
  ASSERT_TRUE(r.embedded);
  r.play(e2e::waitForLog("script ready") + "xdotool key a\n" + e2e::waitForLog("event 1 65 0") + "kill $pid");
  const std::string log = r.file("log");
  EXPECT_NE(log.find("event 1 65 0"), std::string::npos) << log;
  EXPECT_NE(log.find("script ready"), std::string::npos) << log;
}

}  // namespace
