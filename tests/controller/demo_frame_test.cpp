// The demo content through the whole start: package, engine, first frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "controller/ctrl_generic.h"
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
  EXPECT_FALSE(controller.stopped) << controller.failureText;
  EXPECT_EQ(controller.loadState, 3);
  EXPECT_NE(log.text().find(" loaded in "), std::string::npos) << log.text();
  controller.timerRunning = true;
  controller.frame(nullptr, nullptr);
  EXPECT_EQ(view->frames, 2);
  EXPECT_EQ(view->loadingScreens, 0);
  EXPECT_EQ(view->messages, 0);
}
