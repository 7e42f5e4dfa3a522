// End to end: a click with xdotool on a box in the real player's window
// fires the box's CB_MOUSE_CLICK with the box itself and the hit point on
// its front face, in the box's own frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/player_run.h"

namespace {

// A box (half size 1.5) six units straight ahead of the demo's camera,
// turned with it, shows its face z = 1 (box frame) at the viewport's centre.
const char kInit[] = R"(
function startup()
  local scene = newScene()
  local models = newModelsSet("scene.xml")
  newLamp(scene, models:get("sun"))
  local camera = newCamera(scene, models:get("eye"))
  newViewport(0, 0, 1, 0.75):setCamera(camera)
  local box = newMesh(scene, models:get("box"))
  box:setBasis(camera:getBasis())
  box:setScale(v3(1.5, 1.5, 1.5))
  box:setPosition(camera:localToGlobalPoint(v3(0, 0, -6)))
  box:enableState(STATE_ACTIVE)
  box:setCallback(CB_MOUSE_CLICK, function(self, what, point)
    io.write(string.format("click %s %.2f %.2f %.2f\n", tostring(what == self), point:x(), point:y(), point:z()))
    return true
  end)
  io.write("script ready\n")
end
)";

TEST(MouseEvents, AClickOnABoxReachesItsCallbackWithTheHitPoint) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  e2e::PlayerRun player("mouse_click", {{"init.lua", kInit}, {"scene.xml", e2e::demoFile("scene.xml")}});
  ASSERT_TRUE(player.embedded);
  // The content takes the window's shape at the start, so the viewport's
  // centre is at (width / 2, 0.375 width); a click there without moving (X
  // delivers the move first).
  player.play(e2e::waitForLog("script ready") + e2e::kFindWindow +
              "xdotool mousemove --window $w $((WIDTH / 2)) $((WIDTH * 3 / 8)); xdotool click 1\n" +
              e2e::waitForLog("click") + "kill $pid");
  const std::string log = player.file("log");
  const size_t at = log.find("click true");
  ASSERT_NE(at, std::string::npos) << log;
  double x = 9, y = 9, z = 9;
  ASSERT_EQ(sscanf(log.c_str() + at, "click true %lf %lf %lf", &x, &y, &z), 3) << log;
  EXPECT_NEAR(z, 1.0, 0.01) << log;
  EXPECT_NEAR(x, 0.0, 0.1) << log;
  EXPECT_NEAR(y, 0.0, 0.1) << log;
}

}  // namespace
