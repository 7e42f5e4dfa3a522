// End to end: the mouse moves the real player's camera. The wheel reaches
// the viewport's CB_EVENT as EVENT_ZOOM and then moves a free camera along
// its view; a drag over empty space orbits a camera in NAVIGATION_MIXED.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "e2e/player_run.h"

namespace {

constexpr double kDegree = 3.141592653589793 / 180;

// The viewport logs each event it is offered; each frame that finds the
// camera somewhere new logs where.
const char kWheelInit[] = R"(
function startup()
  local scene = newScene()
  local models = newModelsSet("scene.xml")
  local camera = newCamera(scene, models:get("eye"))
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(camera)
  view:setCallback(CB_EVENT, function(self, kind, amount, at)
    if kind == EVENT_ZOOM then
      io.write(string.format("zoom %s %g %.4f %.4f\n", tostring(self == view), amount, at:x(), at:y()))
    end
    return false
  end)
  local last
  setCallback(CB_UPDATE, function()
    local p = camera:getPosition()
    if last and p == last then return end
    last = p
    io.write(string.format("camera %.4f %.4f %.4f\n", p:x(), p:y(), p:z()))
  end)
  io.write("script ready\n")
end
)";

TEST(MouseCamera, TheWheelReachesTheViewportAsAZoomAndMovesAFreeCamera) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  e2e::PlayerRun player("mouse_wheel", {{"init.lua", kWheelInit}, {"scene.xml", e2e::demoFile("scene.xml")}});
  ASSERT_TRUE(player.embedded);
  // Two notches away from the user with the mouse at a quarter of the width.
  // X delivers the move before the clicks; the wait is for the camera line
  // of the frame after the second notch.
  player.play(e2e::waitForLog("script ready") + e2e::kFindWindow +
              "xdotool mousemove --window $w $((WIDTH / 4)) $((WIDTH / 8))\n"
              "xdotool click 4; xdotool click 4\n"
              "await 20 logged 'zoom ' 2; await 20 logged_after 'zoom ' 'camera '\n"
              "kill $pid");
  const std::string log = player.file("log");
  size_t at = log.find("zoom ");
  ASSERT_NE(at, std::string::npos) << log;
  int zooms = 0;
  for (; at != std::string::npos; at = log.find("zoom ", at + 1), ++zooms) {
    char self[8] = {};
    double amount = 0, x = 0, y = 0;
    ASSERT_EQ(sscanf(log.c_str() + at, "zoom %7s %lf %lf %lf", self, &amount, &x, &y), 4) << log;
    EXPECT_STREQ(self, "true");
    EXPECT_EQ(amount, 120) << log;
    EXPECT_NEAR(x, 0.25, 0.002) << log;
    EXPECT_NEAR(y, 0.125, 0.002) << log;
  }
  EXPECT_EQ(zooms, 2) << log;
  // Each notch moves the camera 0.002 x 120 along its local -Z axis, which
  // the demo's camera tilts 15 degrees below the horizon towards +y.
  const size_t first = log.find("camera "), last = log.rfind("camera ");
  ASSERT_NE(first, std::string::npos) << log;
  double x0 = 0, y0 = 0, z0 = 0, x1 = 0, y1 = 0, z1 = 0;
  ASSERT_EQ(sscanf(log.c_str() + first, "camera %lf %lf %lf", &x0, &y0, &z0), 3) << log;
  ASSERT_EQ(sscanf(log.c_str() + last, "camera %lf %lf %lf", &x1, &y1, &z1), 3) << log;
  const double travel = 2 * 120 * 0.002;
  EXPECT_NEAR(x1 - x0, 0, 1e-4) << log;
  EXPECT_NEAR(y1 - y0, travel * std::cos(15 * kDegree), 1e-3) << log;
  EXPECT_NEAR(z1 - z0, -travel * std::sin(15 * kDegree), 1e-3) << log;
}

// An orbit around the origin at radius 10, azimuth 30 and elevation 20
// degrees; nothing in the scene can be picked. Each frame that finds the
// camera turned logs its navigation angles, field of view and view axis,
// and the first frame after a key logs "input seen".
const char kOrbitInit[] = R"(
function startup()
  local scene = newScene()
  local models = newModelsSet("scene.xml")
  newMesh(scene, models:get("floor"))
  local camera = newCamera(scene, models:get("eye"))
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(camera)
  view:setNavigationMode(NAVIGATION_MIXED)
  view:setNavigationPosition(v3(0, 0, 0))
  view:setNavigationRadius(10)
  view:setNavigationAzimuth(30)
  view:setNavigationElevation(20)
  local last, keyed
  setCallback(CB_EVENT, function(kind)
    if kind == EVENT_KEY_DOWN then keyed = true end
    return false
  end)
  setCallback(CB_UPDATE, function()
    local z = camera:getAxis(3)
    if not (last and z == last) then
      last = z
      local p = camera:getPosition()
      io.write(string.format("orbit %.5f %.5f fov %.5f axis %.5f %.5f %.5f at %.4f %.4f %.4f\n",
        view:getNavigationAzimuth(), view:getNavigationElevation(), camera:getFOV(),
        z:x(), z:y(), z:z(), p:x(), p:y(), p:z()))
    end
    if keyed then
      keyed = false
      io.write("input seen\n")
    end
  end)
  io.write("script ready\n")
end
)";

struct Orbit {
  double azimuth = 0, elevation = 0, fov = 0, axis[3] = {}, at[3] = {};
};

bool readOrbit(const char* line, Orbit& o) {
  return sscanf(line, "orbit %lf %lf fov %lf axis %lf %lf %lf at %lf %lf %lf", &o.azimuth, &o.elevation, &o.fov,
                &o.axis[0], &o.axis[1], &o.axis[2], &o.at[0], &o.at[1], &o.at[2]) == 9;
}

TEST(MouseCamera, ADragOverEmptySpaceOrbitsTheCameraByTheMouseAngles) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "needs Xvfb and xdotool";
  e2e::PlayerRun player("mouse_orbit", {{"init.lua", kOrbitInit}, {"scene.xml", e2e::demoFile("scene.xml")}});
  ASSERT_TRUE(player.embedded);
  // Press in the upper sky, drag right and down in a few moves, release.
  // Then a key: the frame after it has seen every move before it.
  player.play(e2e::waitForLog("script ready") + e2e::kFindWindow +
              "x=$((WIDTH / 2)); y=$((WIDTH / 16))\n"
              "xdotool mousemove --window $w $x $y; xdotool mousedown 1\n"
              "for step in 1 2 3 4; do xdotool mousemove --window $w $((x + 20 * step)) $((y + 10 * step)); done\n"
              "xdotool mouseup 1; echo 80 40 $WIDTH >moved\n"
              "xdotool key x; await 20 logged 'input seen'\n"
              "kill $pid");
  const std::string log = player.file("log");
  const size_t first = log.find("orbit "), last = log.rfind("orbit ");
  ASSERT_NE(first, std::string::npos) << log;
  Orbit before, after;
  ASSERT_TRUE(readOrbit(log.c_str() + first, before)) << log;
  ASSERT_TRUE(readOrbit(log.c_str() + last, after)) << log;
  double dx = 0, dy = 0, width = 0;
  ASSERT_EQ(sscanf(player.file("moved").c_str(), "%lf %lf %lf", &dx, &dy, &width), 3);
  EXPECT_NEAR(before.azimuth, 30, 1e-6);
  EXPECT_NEAR(before.elevation, 20, 1e-6);
  EXPECT_NEAR(before.fov, 50, 1e-4);
  // The mouse's travel in viewport widths times twice the field of view.
  const double azimuth = 30 - dx / width * 2 * before.fov, elevation = 20 + dy / width * 2 * before.fov;
  EXPECT_NEAR(after.azimuth, azimuth, 1e-3) << log;
  EXPECT_NEAR(after.elevation, elevation, 1e-3) << log;
  // The camera sits on the orbit at those angles and looks at its centre.
  const double a = 90 * kDegree - elevation * kDegree, b = azimuth * kDegree - 90 * kDegree;
  const double z[3] = {std::sin(b) * std::sin(a), -std::cos(b) * std::sin(a), std::cos(a)};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(after.axis[k], z[k], 1e-4) << k << "\n" << log;
    EXPECT_NEAR(after.at[k], 10 * z[k], 1e-3) << k << "\n" << log;
  }
}

}  // namespace
