// The demo content through the whole start: package, engine, first frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/perf_counter.h"
#include "model/animation.h"
#include "model/camera.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "platform/testing.h"
#include "script/engine.h"
#include "support/test_package.h"
#include "view/opengl_win32.h"
#include "view/pixel_image.h"
#include "view/view_generic.h"

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> demoMembers() {
  std::map<std::string, std::string> members;
  const fs::path root = fs::path(VS_BINARY_DIR) / "demo_content";  // content/demo as the build packs it
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    members[fs::relative(entry.path(), root).generic_string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return members;
}

class CountingView : public VIEW_Generic {
 public:
  void beginFrame(HDC, bool) override { ++frames; }
  void drawLoadingScreen(const double*, const double*, const char*, FontRecord*, MDL_Object*) override {
    ++loadingScreens;
  }
  void drawMessage(const double*, const double*, const char*, FontRecord*) override { ++messages; }
  int frames = 0, loadingScreens = 0, messages = 0;
};

}  // namespace

TEST(DemoContent, StartsOnTheFirstFrameAndRuns) {
  auto* view = new CountingView;
  CTRL_Generic controller(std::make_unique<LMP_Engine>(), std::unique_ptr<VIEW_Generic>(view));
  ASSERT_TRUE(controller.openPackage(testpkg::toBuffer(testpkg::makePackage(demoMembers()))));
  controller.setViewSize(1024, 768);
  vsplat::DebugCapture log;
  controller.frame(nullptr, nullptr);
  EXPECT_FALSE(controller.load.stopped) << controller.load.failureText;
  EXPECT_EQ(controller.load.state, 3);
  EXPECT_NE(log.text().find(" loaded in "), std::string::npos) << log.text();
  controller.clock.timerRunning = true;
  controller.frame(nullptr, nullptr);
  EXPECT_EQ(view->frames, 2);
  EXPECT_EQ(view->loadingScreens, 0);
  EXPECT_EQ(view->messages, 0);
}

// What the demo lets the mouse do: a ball's looks can be picked and its
// body, not its looks, is what a drag moves; a press on the sky picks
// nothing and a drag there orbits the camera; one object plays keyframes.
TEST(DemoContent, BallsCanBeGrabbedTheCameraOrbitsAndTheGemPlays) {
  CTRL_Generic controller(std::make_unique<LMP_Engine>(), std::make_unique<CountingView>());
  ASSERT_TRUE(controller.openPackage(testpkg::toBuffer(testpkg::makePackage(demoMembers()))));
  controller.setViewSize(1024, 768);
  controller.frame(nullptr, nullptr);
  controller.clock.timerRunning = true;
  controller.frame(nullptr, nullptr);
  ASSERT_FALSE(controller.load.stopped) << controller.load.failureText;
  Viewport* view = controller.currentViewport;
  ASSERT_TRUE(view && view->camera);
  Scene* scene = controller.getScene();
  ASSERT_TRUE(scene);

  ASSERT_GT(scene->rigidBodies.count, 0);
  MDL_Object* body = scene->rigidBodies[0];
  Vec3 seen;
  view->worldToScreen(body->getWorld().position, seen);
  const double at[2] = {seen.x, seen.y};
  double window[2] = {0, 0};
  controller.viewportToWindow(at, window);
  controller.onMouseMove(false, false, window[0], window[1]);
  controller.onLeftButtonDown(window[0], window[1]);
  ASSERT_NE(controller.mouse.picked, nullptr);
  EXPECT_EQ(controller.mouse.picked->parent, body);
  EXPECT_FALSE(controller.mouse.picked->state & STATE_MOVABLE);
  EXPECT_TRUE(body->state & STATE_MOVABLE);
  controller.onLeftButtonUp(window[0], window[1]);

  EXPECT_EQ(view->navigationMode, NAVIGATION_MIXED);
  const double azimuth = view->navigationAzimuth;
  controller.onMouseMove(false, false, 60, 20);
  controller.onLeftButtonDown(60, 20);
  EXPECT_EQ(controller.mouse.picked, nullptr);
  controller.onMouseMove(false, false, 160, 20);
  controller.onLeftButtonUp(160, 20);
  EXPECT_LT(view->navigationAzimuth, azimuth);

  ASSERT_EQ(scene->animations.count, 1);
  EXPECT_TRUE(scene->animations[0]->playing);
  EXPECT_NE(scene->animations[0]->target, nullptr);
}

namespace {

// The demo started and run for `seconds` of frames of 1/60 s each.
struct RunningDemo {
  CTRL_Generic controller;

  explicit RunningDemo(std::unique_ptr<VIEW_Generic> view = std::make_unique<CountingView>(), int width = 1024,
                       int height = 768, HDC dc = nullptr)
      : controller(std::make_unique<LMP_Engine>(), std::move(view)) {
    EXPECT_TRUE(controller.openPackage(testpkg::toBuffer(testpkg::makePackage(demoMembers()))));
    controller.setViewSize(width, height);
    controller.frame(dc, nullptr);
  }
  void run(double seconds, const std::function<void()>& eachFrame = [] {}, HDC dc = nullptr) {
    for (int i = 0; i < static_cast<int>(seconds * 60 + 0.5); ++i) {
      double now = 0;
      CTRL_readCounter(&now);
      controller.clock.lastCounterTime = now - (1.0 / 60) / CTRL_secondsPerCount();
      controller.clock.timerRunning = true;
      controller.frame(dc, nullptr);
      eachFrame();
    }
  }
  // Where a world point shows in the window.
  void windowPoint(const Vec3& p, double out[2]) {
    Vec3 seen;
    controller.currentViewport->worldToScreen(p, seen);
    const double at[2] = {seen.x, seen.y};
    controller.viewportToWindow(at, out);
  }
};

}  // namespace

// A ball picked up and held still hangs calmly under the mouse: it does not
// whirl round the point it was taken by.
TEST(DemoContent, AHeldBallHangsCalmly) {
  RunningDemo demo;
  CTRL_Generic& c = demo.controller;
  ASSERT_FALSE(c.load.stopped) << c.load.failureText;
  demo.run(2);  // the drop settles
  Scene* scene = c.getScene();
  ASSERT_TRUE(scene && scene->rigidBodies.count > 0);
  auto* ball = static_cast<MDL_RigidBody*>(scene->rigidBodies[0]);
  double at[2];
  demo.windowPoint(ball->getWorld().position + Vec3(0.15, -0.2, 0.15), at);  // off its centre
  c.onMouseMove(false, false, at[0], at[1]);
  c.onLeftButtonDown(at[0], at[1]);
  ASSERT_NE(c.mouse.picked, nullptr);
  ASSERT_EQ(c.mouse.picked->parent, ball);
  // A lift of 150 pixels in five moves, then the mouse stands still.
  for (int i = 1; i <= 5; ++i) {
    c.onMouseMove(false, false, at[0], at[1] - 30 * i);
    demo.run(1.0 / 30);
  }
  demo.run(1);
  double spin = 0, drift = 0;
  Vec3 last = ball->getWorld().position;
  demo.run(1, [&] {
    spin = std::max(spin, length3(ball->getAngularSpeed()));
    const Vec3 now = ball->getWorld().position;
    drift = std::max(drift, length3(now - last) * 60);
    last = now;
  });
  EXPECT_EQ(c.mouse.picked->parent, ball);
  EXPECT_GT(ball->getWorld().position.z, 1.0);  // it was lifted
  EXPECT_LT(spin, 1.0) << "rad/s";
  EXPECT_LT(drift, 0.5) << "units/s";
  c.onLeftButtonUp(at[0], at[1] - 150);
}

// The wheel reaches from the farthest view to the nearest in about twenty
// notches.
TEST(DemoContent, TheWheelZoomsAcrossInAboutTwentyNotches) {
  RunningDemo demo;
  CTRL_Generic& c = demo.controller;
  ASSERT_FALSE(c.load.stopped) << c.load.failureText;
  Viewport* view = c.currentViewport;
  ASSERT_TRUE(view && view->camera);
  c.onMouseMove(false, false, 60, 20);  // over the sky: nothing under the mouse
  for (int i = 0; i < 200 && view->navigationRadius < view->radiusMax; ++i) c.onMouseWheel(false, -120, 60, 20);
  ASSERT_EQ(view->navigationRadius, 30);
  int notches = 0;
  while (view->navigationRadius > view->radiusMin && notches < 200) {
    c.onMouseWheel(false, 120, 60, 20);
    ++notches;
  }
  EXPECT_EQ(view->navigationRadius, 4);
  EXPECT_GE(notches, 15);
  EXPECT_LE(notches, 25);
  EXPECT_FALSE(c.load.stopped) << c.load.failureText;
}

namespace {

LRESULT CALLBACK plainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

// Drawn for real once the drop has settled: the upright faces of the box
// and of the glass that face the camera are lit, not black.
TEST(DemoContent, UprightFacesAreLit) {
  vsplat::setOffscreen(true);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = plainWindowProc;
  wc.lpszClassName = "vsDemoFrame";
  RegisterClassA(&wc);
  const int width = 512, height = 384;
  HWND window = CreateWindowExA(0, wc.lpszClassName, "demo", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_TRUE(window);
  HDC dc = GetDC(window);
  auto* view = new VIEW_OpenGLWin32(dc, 1);
  ASSERT_TRUE(view->context);
  {
    RunningDemo demo(std::unique_ptr<VIEW_Generic>(view), width, height, dc);
    CTRL_Generic& c = demo.controller;
    demo.run(3, [] {}, dc);
    ASSERT_FALSE(c.load.stopped) << c.load.failureText;
    PixelImage shot;
    ASSERT_TRUE(view->readPixels(dc, 0, 0, width, height, &shot));
    const Vec3 eye = c.currentViewport->camera->getWorld().position;
    // The colour where a world point shows; none outside the window.
    auto at = [&](const Vec3& p, int rgb[3]) {
      double w[2];
      demo.windowPoint(p, w);
      const int x = static_cast<int>(w[0]), row = height - 1 - static_cast<int>(w[1]);
      if (x < 0 || x >= width || row < 0 || row >= height) return false;
      for (int k = 0; k < 3; ++k) rgb[k] = shot.pixels[(row * width + x) * 3 + k];
      return true;
    };
    // Of an object's upright faces (half size `half` along its own axes), the
    // one turned most towards the camera: its middle, a little up.
    auto facingFace = [&](const RigidTransform& t, double half) {
      Vec3 best;
      double facing = -2;
      for (int axis = 0; axis < 3; ++axis)
        for (double side : {-1.0, 1.0}) {
          Vec3 n = t.basis.axis[axis];
          normalize3(n);
          n *= side;
          if (std::fabs(n.z) > 0.5) continue;  // a top or a bottom
          const Vec3 middle = t.position + n * half;
          Vec3 toEye = eye - middle;
          normalize3(toEye);
          if (dot3(n, toEye) > facing) {
            facing = dot3(n, toEye);
            best = middle;
          }
        }
      return best;
    };
    Scene* scene = c.getScene();
    ASSERT_TRUE(scene);
    MDL_Object* box = nullptr;
    MDL_Object* glass = nullptr;
    for (MDL_Object* o : scene->objects) {
      if (o->name && std::string(o->name) == "box") box = o;
      if (o->name && std::string(o->name) == "glass") glass = o;
    }
    ASSERT_TRUE(box && glass);
    int rgb[3];
    // The box (half size 0.5, blue) lies on the floor by now.
    ASSERT_TRUE(at(facingFace(box->getWorld(), 0.5), rgb));
    EXPECT_GT(rgb[2], 80) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    // The glass (half size 0.7, a pale blue tint over the floor).
    ASSERT_TRUE(at(facingFace(glass->getWorld(), 0.7) + Vec3(0, 0, 0.2), rgb));
    EXPECT_GT(rgb[2], 80) << rgb[0] << " " << rgb[1] << " " << rgb[2];
    EXPECT_GE(rgb[2], rgb[0]) << rgb[0] << " " << rgb[1] << " " << rgb[2];
  }
  ReleaseDC(window, dc);
  DestroyWindow(window);
}
