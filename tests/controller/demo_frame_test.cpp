// The demo content through the whole start: package, engine, first frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "controller/ctrl_generic.h"
#include "model/animation.h"
#include "model/scene.h"
#include "platform/testing.h"
#include "script/engine.h"
#include "support/test_package.h"
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
