// Viewport projection, the orbit camera and mouse navigation, against values
// worked out by hand: a camera with a quarter-turn field of view (k = 1),
// clip distances 1 and 101, in a viewport 1 wide and 0.75 high.
#include <gtest/gtest.h>

#include <cmath>

#include "controller/ctrl_generic.h"
#include "model/camera.h"
#include "model/scene.h"

namespace {

const double kPi = 3.141592653589793;

void expectNear(const Vec3& got, double x, double y, double z, double eps = 1e-12) {
  EXPECT_NEAR(got.x, x, eps);
  EXPECT_NEAR(got.y, y, eps);
  EXPECT_NEAR(got.z, z, eps);
}

struct Rig {
  Scene scene;
  MDL_Camera* camera = new MDL_Camera();
  Viewport viewport;

  Rig() {
    scene.registerObject(camera);
    camera->setAngle(kPi / 2);
    camera->clipStart = 1;
    camera->clipEnd = 101;
    viewport.camera = camera;
    viewport.width = 1;
    viewport.height = 0.75;
  }
  Vec3 toWorld(double x, double y, double depth) {
    Vec3 out;
    viewport.screenToWorld(Vec3(x, y, depth), out);
    return out;
  }
  Vec3 toScreen(const Vec3& p) {
    Vec3 out;
    viewport.worldToScreen(p, out);
    return out;
  }
};

TEST(ViewportProjection, CornersCentreAndDepthsOfACameraAtTheOrigin) {
  Rig r;
  expectNear(r.toWorld(0.5, 0.375, 0), 0, 0, -1);        // centre of the near plane
  expectNear(r.toWorld(0, 0, 0), -1, 0.75, -1);          // top left: left and up
  expectNear(r.toWorld(1, 0.75, 1), 101, -75.75, -101);  // bottom right of the far plane
  expectNear(r.toWorld(0.5, 0.375, 0.5), 0, 0, -51);     // linear in the camera's z
  expectNear(r.toWorld(0.5, 0.375, 2), 0, 0, -201);      // beyond the far plane
  expectNear(r.toWorld(0.5, 0.375, -0.01), 0, 0, 0);     // behind the near plane, at the eye
}

TEST(ViewportProjection, APlacedCameraCarriesThePointAndBackAgain) {
  Rig r;
  RigidTransform& t = r.camera->editLocal();
  t.position = Vec3(10, 0, 0);
  t.basis.X() = Vec3(0, 1, 0);  // a quarter turn about z
  t.basis.Y() = Vec3(-1, 0, 0);
  t.basis.Z() = Vec3(0, 0, 1);
  expectNear(r.toWorld(0, 0, 0), 9.25, -1, -1);
  expectNear(r.toScreen(Vec3(9.25, -1, -1)), 0, 0, 0);
  const Vec3 points[] = {{0.2, 0.6, 0.3}, {0.9, 0.1, 0.0}, {0.5, 0.375, 1.0}, {-0.5, 1.5, 3.0}};
  for (const Vec3& p : points) expectNear(r.toScreen(r.toWorld(p.x, p.y, p.z)), p.x, p.y, p.z, 1e-9);
}

TEST(ViewportProjection, WithoutCameraOrWidth) {
  Rig r;
  r.viewport.camera = nullptr;
  Vec3 out(7, 8, 9);
  r.viewport.screenToWorld(Vec3(0, 0, 0), out);
  r.viewport.worldToScreen(Vec3(1, 1, 1), out);
  expectNear(out, 7, 8, 9);  // untouched
  r.viewport.camera = r.camera;
  r.viewport.width = 0;  // a = 0 rather than a NaN
  expectNear(r.toWorld(0.5, 0, 0), 0, 0, -1);
  // A point in the camera's plane has no place on the screen.
  EXPECT_TRUE(std::isinf(r.toScreen(Vec3(1, 0, 0)).x));
}

TEST(OrbitCamera, ElevationAndAzimuthPlaceTheCameraLookingAtTheTarget) {
  Rig r;
  r.viewport.navigationMode = NAVIGATION_GLASSBALL;
  r.viewport.navigationPosition = Vec3(1, 2, 3);
  r.viewport.navigationRadius = 5;
  r.viewport.navigationElevation = kPi / 2;  // straight down
  r.viewport.navigationAzimuth = kPi / 2;
  r.viewport.updateCamera();
  const RigidTransform& w = r.camera->getWorld();
  expectNear(w.position, 1, 2, 8);
  expectNear(w.basis.X(), 1, 0, 0);
  expectNear(w.basis.Z(), 0, 0, 1);

  r.viewport.navigationElevation = 0;  // level, from the -x side
  r.viewport.navigationAzimuth = 0;
  r.viewport.updateCamera();
  const RigidTransform& level = r.camera->getWorld();
  expectNear(level.position, -4, 2, 3);
  expectNear(level.basis.X(), 0, -1, 0);
  expectNear(level.basis.Y(), 0, 0, 1);
  expectNear(level.basis.Z(), -1, 0, 0);
}

TEST(OrbitCamera, LimitsClampAndTheCameraKeepsItsScale) {
  Rig r;
  r.viewport.navigationMode = NAVIGATION_MIXED;
  r.camera->editLocal().basis.Z() = Vec3(0, 0, 2);
  r.viewport.navigationRadius = 50;
  r.viewport.radiusMax = 10;
  r.viewport.navigationElevation = 2;
  r.viewport.elevationMin = 0;
  r.viewport.elevationMax = 1;
  r.viewport.navigationAzimuth = std::nan("");  // not above the minimum
  r.viewport.azimuthMin = -0.5;
  r.viewport.updateCamera();
  EXPECT_EQ(r.viewport.navigationRadius, 10);
  EXPECT_EQ(r.viewport.navigationElevation, 1);
  EXPECT_EQ(r.viewport.navigationAzimuth, -0.5);
  const RigidTransform& w = r.camera->getWorld();
  EXPECT_NEAR(length3(w.position), 10, 1e-12);  // the radius is unscaled
  EXPECT_NEAR(length3(w.basis.X()), 2, 1e-12);
  EXPECT_NEAR(length3(w.basis.Z()), 2, 1e-12);
}

TEST(OrbitCamera, OnlyTheOrbitModesPlaceTheCamera) {
  for (int mode : {NAVIGATION_FREE, NAVIGATION_FIXED}) {
    Rig r;
    r.viewport.navigationMode = mode;
    r.viewport.navigationRadius = 5;
    r.viewport.updateCamera();
    expectNear(r.camera->getWorld().position, 0, 0, 0);
  }
}

// An 800 x 600 window showing the whole content: a move of `dx` viewport
// widths to the right and `dy` down.
struct Navigation : Rig {
  CTRL_Generic ctrl;

  Navigation(int mode) {
    ctrl.clientWidth = 800;
    ctrl.clientHeight = 600;
    ctrl.setCurrentViewport(&viewport);
    viewport.navigationMode = mode;
    viewport.navigationRadius = 5;
    camera->setAngle(0.5);  // g = 1 radian per viewport width
    viewport.updateCamera();
  }
  void move(double dx, double dy, bool shift = false, bool control = false) {
    ctrl.mouse.previousWindowMouse[0] = 400;
    ctrl.mouse.previousWindowMouse[1] = 300;
    ctrl.mouse.windowMouse[0] = 400 + dx * 800;
    ctrl.mouse.windowMouse[1] = 300 + dy * 800;
    ctrl.navigateCamera(shift, control);
  }
  const RigidTransform& at() { return camera->getWorld(); }
};

TEST(MouseNavigation, OrbitTurnsAboutTheTargetAndStopsAtTheElevationLimit) {
  for (int mode : {NAVIGATION_MIXED, NAVIGATION_GLASSBALL}) {
    Navigation n(mode);
    expectNear(n.at().position, -5, 0, 0);
    n.move(kPi / 2, 0);  // azimuth -= pi/2
    EXPECT_NEAR(n.viewport.navigationAzimuth, -kPi / 2, 1e-12);
    expectNear(n.at().position, 0, 5, 0, 1e-9);
    n.viewport.elevationMax = 0.3;
    n.move(0, 1);  // elevation += 1, held at 0.3
    EXPECT_EQ(n.viewport.navigationElevation, 0.3);
    EXPECT_NEAR(length3(n.at().position), 5, 1e-12);
    EXPECT_NEAR(n.at().position.z, 5 * std::sin(0.3), 1e-12);
  }
}

TEST(MouseNavigation, AWiderFieldOfViewTurnsFaster) {
  Navigation n(NAVIGATION_GLASSBALL);
  n.move(0.1, 0);
  const double narrow = n.viewport.navigationAzimuth;
  n.camera->setAngle(1.0);
  n.move(0.1, 0);
  EXPECT_NEAR(narrow, -0.1, 1e-12);
  EXPECT_NEAR(n.viewport.navigationAzimuth - narrow, -0.2, 1e-12);
}

TEST(MouseNavigation, ControlTurnsTheViewAboutTheCameraInTheMixedModeOnly) {
  Navigation n(NAVIGATION_MIXED);
  n.move(kPi / 2, 0, false, true);
  expectNear(n.viewport.navigationPosition, -5, 5, 0, 1e-9);
  EXPECT_NEAR(n.viewport.navigationAzimuth, kPi / 2, 1e-12);
  expectNear(n.at().position, -5, 0, 0, 1e-9);   // the camera stays
  expectNear(n.at().basis.Z(), 0, -1, 0, 1e-9);  // and looks along +y now

  Navigation g(NAVIGATION_GLASSBALL);
  g.move(kPi / 2, 0, false, true);  // control changes nothing here: an orbit
  expectNear(g.viewport.navigationPosition, 0, 0, 0);
  EXPECT_NEAR(g.viewport.navigationAzimuth, -kPi / 2, 1e-12);
}

// Tilted, the turn about the camera's own axes and the change of the orbit
// angles are two different turns; the camera stays where it is all the same.
TEST(MouseNavigation, ControlTurnsATiltedViewWithoutMovingTheCamera) {
  const double moves[][2] = {{0.02, 0.01}, {0.3, -0.2}, {-0.75, 0.4}};
  for (const auto& m : moves) {
    Navigation n(NAVIGATION_MIXED);
    n.viewport.navigationElevation = 1.2;  // about 70 degrees over the target
    n.viewport.navigationAzimuth = 0.4;
    n.viewport.updateCamera();
    const Vec3 was = n.at().position;
    n.move(m[0], m[1], false, true);
    EXPECT_NEAR(n.viewport.navigationAzimuth, 0.4 + m[0], 1e-12);
    EXPECT_NEAR(n.viewport.navigationElevation, 1.2 - m[1], 1e-12);
    expectNear(n.at().position, was.x, was.y, was.z, 1e-9);
    EXPECT_NEAR(n.viewport.navigationRadius, 5, 1e-12);
    // The camera looks at the target along its new axis.
    const Vec3 z = n.at().basis.Z();
    const Vec3 target = was - z * 5;
    expectNear(n.viewport.navigationPosition, target.x, target.y, target.z, 1e-9);
  }
}

TEST(MouseNavigation, ShiftPansTheTargetInTheOrbitModes) {
  for (int mode : {NAVIGATION_MIXED, NAVIGATION_GLASSBALL}) {
    Navigation n(mode);
    n.move(0.1, 0.2, true);  // X = (0, -1, 0), Y = (0, 0, 1)
    expectNear(n.viewport.navigationPosition, 0, 1, 2, 1e-12);
    expectNear(n.at().position, -5, 1, 2, 1e-12);
  }
}

TEST(MouseNavigation, FreeModeLooksAroundOrPansTheCameraItself) {
  Navigation look(NAVIGATION_FREE);
  look.move(kPi / 2, 0);  // a quarter turn about the camera's own y
  expectNear(look.at().basis.Z(), 1, 0, 0, 1e-9);
  expectNear(look.at().basis.X(), 0, 0, -1, 1e-9);
  look.move(0, kPi / 2);  // then about its own x
  expectNear(look.at().basis.Z(), 0, -1, 0, 1e-9);

  Navigation pan(NAVIGATION_FREE);
  pan.move(0.1, 0.2, true);
  expectNear(pan.at().position, -1.5, 3, 0, 1e-12);
}

TEST(MouseNavigation, FixedModeAndAMissingCameraStayPut) {
  Navigation fixed(NAVIGATION_FIXED);
  fixed.move(0.3, 0.3);
  fixed.move(0.3, 0.3, true, true);
  expectNear(fixed.at().position, 0, 0, 0);
  expectNear(fixed.at().basis.Z(), 0, 0, 1);

  Navigation none(NAVIGATION_GLASSBALL);
  none.viewport.camera = nullptr;
  none.move(0.3, 0.3);
  EXPECT_EQ(none.viewport.navigationAzimuth, 0);
}

TEST(WindowMapping, LetterBoxedViewportPointsAndBack) {
  CTRL_Generic ctrl;
  ctrl.clientWidth = 1000;  // content 800 x 600, 100 pixels of bar each side
  ctrl.clientHeight = 600;
  Viewport v;
  v.x = 0.25;
  v.y = 0.1;
  v.width = 0.5;
  ctrl.setCurrentViewport(&v);
  const double window[2] = {500, 200};
  double point[2] = {-1, -1};
  ctrl.windowToViewport(&v, window, point);
  EXPECT_DOUBLE_EQ(point[0], 0.5);
  EXPECT_DOUBLE_EQ(point[1], 0.3);
  double back[2] = {0, 0};
  ctrl.viewportToWindow(point, back);
  EXPECT_DOUBLE_EQ(back[0], 500);
  EXPECT_DOUBLE_EQ(back[1], 200);

  ctrl.windowToViewport(nullptr, window, point);  // nothing for no viewport
  EXPECT_DOUBLE_EQ(point[0], 0.5);
  v.width = 0;  // no width: 0, never an infinity
  ctrl.windowToViewport(&v, window, point);
  EXPECT_EQ(point[0], 0);
  EXPECT_EQ(point[1], 0);
}

}  // namespace
