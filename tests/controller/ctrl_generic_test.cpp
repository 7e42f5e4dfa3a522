#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "controller/ctrl_generic.h"
#include "controller/script_engine.h"
#include "model/camera.h"
#include "model/font_library.h"
#include "model/object.h"
#include "model/resource_id.h"
#include "model/scene.h"
#include "model/sound.h"
#include "null_engine.h"
#include "platform/testing.h"
#include "view/sound.h"

namespace {

// An engine that records what reaches it.
class FakeEngine : public ctrltest::NullEngine {
 public:
  CTRL_Generic* attached = nullptr;
  bool* destroyed = nullptr;
  int events = 0;
  bool answer = false;
  ~FakeEngine() override {
    if (destroyed) *destroyed = true;
  }
  bool onEvent(const Event&) override {
    ++events;
    return answer;
  }
  void setController(CTRL_Generic* c) override { attached = c; }
};

class CursorController : public CTRL_Generic {
 public:
  using CTRL_Generic::CTRL_Generic;
  std::vector<int32_t> cursors;
  void setCursor(int32_t shape) override { cursors.push_back(shape); }
};

TEST(ControllerCore, ConstructionAttachesTheEngineAndCountsControllers) {
  int32_t before = CTRL_Generic::liveControllers();
  bool engineDeleted = false;
  auto* engine = new FakeEngine;
  engine->destroyed = &engineDeleted;
  {
    CTRL_Generic controller{std::unique_ptr<CTRL_ScriptEngine>(engine)};
    EXPECT_EQ(engine->attached, &controller);
    EXPECT_EQ(CTRL_Generic::liveControllers(), before + 1);
    EXPECT_EQ(controller.platform, 1);
    EXPECT_EQ(controller.contentAspect, 0.75);
    EXPECT_EQ(controller.acceleration, Vec3(0, 0, -1));
    EXPECT_EQ(controller.keys.current, controller.keys.a);
    EXPECT_EQ(controller.keys.previous, controller.keys.b);
    EXPECT_EQ(controller.load.state, 0);
    EXPECT_FALSE(controller.load.stopped);
    EXPECT_STREQ(controller.language, "");
    char language[8] = "xx";
    controller.getLanguage(language);
    EXPECT_STREQ(language, "");
    EXPECT_EQ(controller.registerDevice(1, 2, 0), 0);
  }
  EXPECT_TRUE(engineDeleted);
  EXPECT_EQ(CTRL_Generic::liveControllers(), before);
}

TEST(ControllerCore, FailKeepsTheTextOfTheLoadStateAndLogsTheReasonOnce) {
  const struct {
    int32_t loadState;
    const char* text;
  } cases[] = {
      {0, "Error opening the file, the file is corrupted.\nPlease check with your content provider."},
      {1, "You are trying to open a file not compatible with your player."},
      {2, "Error loading the file.\nPlease check with your content provider."},
      {3, "Error running the file.\nPlease check with your content provider."},
      {7, "Error running the file.\nPlease check with your content provider."},
  };
  for (const auto& c : cases) {
    vsplat::DebugCapture log;
    CTRL_Generic controller;
    controller.load.state = c.loadState;
    controller.fail("script.lua:%d: %s", 12, "100% wrong");
    controller.load.state = 1;
    controller.fail("second");
    EXPECT_TRUE(controller.load.stopped);
    EXPECT_STREQ(controller.load.failureText.c_str(), c.text);
    EXPECT_EQ(log.text(), "script.lua:12: 100% wrong\n");
  }
}

class FakeSound : public VIEW_Sound {
 public:
  std::string* calls;
  explicit FakeSound(std::string* c) : calls(c) {}
  ~FakeSound() override { *calls += "deleted;"; }
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>&) override { return 0; }
  void pause() override { *calls += "pause;"; }
  void resume() override { *calls += "resume;"; }
};

TEST(ControllerCore, FailStopsAndDropsTheSoundOutput) {
  std::string calls;
  CTRL_Generic controller(nullptr, nullptr, std::make_unique<FakeSound>(&calls));
  controller.fail("stop");
  EXPECT_EQ(calls, "pause;deleted;");
  EXPECT_EQ(controller.soundOutput, nullptr);
  controller.fail("again");  // nothing left to stop
  EXPECT_EQ(calls, "pause;deleted;");
}

bool g_fireAnswer = false;
int g_fired = 0;
bool fakeFire(LMP_Proxy*, CTRL_ScriptEngine*, int id, va_list args) {
  EXPECT_EQ(id, CB_EVENT);
  const Event* e = va_arg(args, const Event*);
  EXPECT_NE(e, nullptr);
  ++g_fired;
  return g_fireAnswer;
}
void noCount(LMP_Proxy*) {}
const LMP_ProxyHooks kHooks = {noCount, noCount, fakeFire, nullptr, nullptr};

TEST(ControllerCore, EventsGoToTheViewportFirstThenTheEngine) {
  LMP_setProxyHooks(&kHooks);
  auto* engine = new FakeEngine;
  CTRL_Generic controller{std::unique_ptr<CTRL_ScriptEngine>(engine)};
  Event key;
  key.type = EVENT_KEY_DOWN;
  key.code = 65;

  engine->answer = true;
  EXPECT_TRUE(controller.dispatchEvent(key));  // no viewport: the engine decides
  EXPECT_EQ(engine->events, 1);
  EXPECT_EQ(controller.keys.current[65], 1);

  auto* viewport = new Viewport;
  viewport->proxy.proxy = reinterpret_cast<LMP_Proxy*>(&controller);  // any non-null proxy
  controller.resources.viewports.append(viewport);
  controller.setCurrentViewport(viewport);
  g_fireAnswer = true;
  EXPECT_TRUE(controller.dispatchEvent(key));
  EXPECT_EQ(g_fired, 1);
  EXPECT_EQ(engine->events, 1);  // consumed by the viewport
  g_fireAnswer = false;
  engine->answer = false;
  EXPECT_FALSE(controller.dispatchEvent(key));
  EXPECT_EQ(g_fired, 2);
  EXPECT_EQ(engine->events, 2);

  // After a failure keys still move, but no script hears of them.
  controller.fail("stop");
  key.type = EVENT_KEY_UP;
  EXPECT_FALSE(controller.dispatchEvent(key));
  EXPECT_EQ(controller.keys.current[65], 0);
  EXPECT_EQ(g_fired, 2);
  EXPECT_EQ(engine->events, 2);
  // Codes outside the key table change nothing and do not crash.
  key.code = 300;
  controller.dispatchEvent(key);
  viewport->proxy.proxy = nullptr;
  LMP_setProxyHooks(nullptr);
}

struct Tree {
  MDL_Object root, a, b, c, grandchild;
  Tree() {
    root.addChild(&a);
    root.addChild(&b);
    root.addChild(&c);
    b.addChild(&grandchild);
  }
};

TEST(ControllerCore, DeleteObjectRemovesTheSubtreeFromItsParent) {
  CTRL_Generic controller;
  Tree t;
  controller.deleteObject(&t.b);
  EXPECT_EQ(t.root.firstChild, &t.a);
  EXPECT_EQ(t.a.nextSibling, &t.c);
  EXPECT_EQ(t.b.firstChild, nullptr);
  EXPECT_TRUE(t.b.pendingDelete && t.grandchild.pendingDelete);
  EXPECT_FALSE(t.a.pendingDelete || t.c.pendingDelete || t.root.pendingDelete);
  controller.deleteObject(&t.a);  // the first child
  EXPECT_EQ(t.root.firstChild, &t.c);
  controller.deleteObject(nullptr);
}

TEST(ControllerCore, DeleteObjectWithoutAParentOrOutsideItsChainChangesNoTree) {
  CTRL_Generic controller;
  Tree t;
  controller.deleteObject(&t.root);  // a root object has no parent to unlink from
  EXPECT_TRUE(t.root.pendingDelete && t.a.pendingDelete && t.grandchild.pendingDelete);

  Tree u;
  MDL_Object stray;
  stray.parent = &u.root;  // claims a parent that does not list it
  controller.deleteObject(&stray);
  EXPECT_EQ(u.root.firstChild, &u.a);
  EXPECT_EQ(u.a.nextSibling, &u.b);
  EXPECT_EQ(u.b.nextSibling, &u.c);
  EXPECT_EQ(u.c.nextSibling, nullptr);

  MDL_Object lonely;
  MDL_Object childless;
  lonely.parent = &childless;  // a parent with no children keeps none
  lonely.nextSibling = &u.a;
  controller.deleteObject(&lonely);
  EXPECT_EQ(childless.firstChild, nullptr);
}

TEST(ControllerCore, DeletingThePickedObjectReleasesTheDragAndCamerasLeaveViewports) {
  CursorController controller;
  Tree t;
  controller.mouse.picked = &t.a;
  controller.mouse.hovered = &t.a;
  controller.mouse.leftButton = true;
  controller.deleteObject(&t.a);
  EXPECT_EQ(controller.mouse.picked, nullptr);
  EXPECT_FALSE(controller.mouse.leftButton);
  EXPECT_EQ(controller.cursors, std::vector<int32_t>{3});
  EXPECT_EQ(controller.mouse.hovered, nullptr);  // picked again: nothing under the mouse

  MDL_Camera camera;
  MDL_Mike mike;
  for (int i = 0; i < 2; ++i) {
    auto* v = new Viewport;
    v->camera = &camera;
    v->mike = &mike;
    controller.resources.viewports.append(v);
  }
  controller.deleteObject(&camera);
  controller.deleteObject(&mike);
  for (Viewport* v : controller.resources.viewports) {
    EXPECT_EQ(v->camera, nullptr);
    EXPECT_EQ(v->mike, nullptr);
  }
}

// However an object came to be flagged, nothing the controller keeps points
// at it once the scene's purge has freed it.
TEST(ControllerCore, ThePurgeLetsGoOfEveryControllerReferenceToWhatItFrees) {
  CTRL_Generic controller;
  Scene* scene = new Scene();
  controller.resources.scenes.append(scene);
  auto* camera = new MDL_Camera();
  auto* mike = new MDL_Mike();
  auto* held = new MDL_Object();
  auto* kept = new MDL_Camera();
  for (MDL_Object* o : {static_cast<MDL_Object*>(camera), static_cast<MDL_Object*>(mike), held,
                        static_cast<MDL_Object*>(kept)})
    scene->registerObject(o);
  auto* a = new Viewport;
  auto* b = new Viewport;
  a->camera = camera;
  a->mike = mike;
  b->camera = kept;
  b->mike = mike;
  controller.resources.viewports.append(a);
  controller.resources.viewports.append(b);
  controller.mouse.picked = controller.mouse.hovered = held;
  camera->pendingDelete = mike->pendingDelete = held->pendingDelete = 1;
  controller.update();
  EXPECT_EQ(scene->objects.count, 1);
  EXPECT_EQ(a->camera, nullptr);
  EXPECT_EQ(a->mike, nullptr);
  EXPECT_EQ(b->camera, kept);
  EXPECT_EQ(b->mike, nullptr);
  EXPECT_EQ(controller.mouse.picked, nullptr);
  EXPECT_EQ(controller.mouse.hovered, nullptr);
}

TEST(ControllerCore, DeletingTheCurrentViewportClearsIt) {
  CTRL_Generic controller;
  auto* first = new Viewport;
  auto* second = new Viewport;
  controller.resources.viewports.append(first);
  controller.resources.viewports.append(second);
  controller.setCurrentViewport(second);
  EXPECT_TRUE(controller.deleteViewport(first));
  EXPECT_EQ(controller.currentViewport, second);
  EXPECT_TRUE(controller.deleteViewport(second));
  EXPECT_EQ(controller.currentViewport, nullptr);
  EXPECT_EQ(controller.resources.viewports.count, 0);
  Viewport outside;
  EXPECT_FALSE(controller.deleteViewport(&outside));
}

TEST(ControllerCore, SceneOfTheCurrentCameraAndThePickPointInTheWorld) {
  CTRL_Generic controller;
  EXPECT_EQ(controller.getScene(), nullptr);
  auto* scene = new Scene;
  controller.resources.scenes.append(scene);
  auto* camera = new MDL_Camera;
  ASSERT_TRUE(scene->registerObject(camera));
  auto* v = new Viewport;
  controller.resources.viewports.append(v);
  controller.setCurrentViewport(v);
  EXPECT_EQ(controller.getScene(), nullptr);  // no camera yet
  v->camera = camera;
  EXPECT_EQ(controller.getScene(), scene);

  MDL_Object object;
  object.editWorld().position = Vec3(1, 2, 3);
  Matrix3::setScale(object.editWorld().basis, Vec3(2, 2, 2));
  controller.mouse.picked = &object;
  controller.mouse.pickPosition = Vec3(1, 0, -1);
  Vec3 out;
  EXPECT_EQ(&controller.getPickPointWorld(out), &out);
  EXPECT_EQ(out, Vec3(3, 2, 1));
}

}  // namespace

#include "controller/perf_counter.h"
#include "platform/win32.h"

namespace {

TEST(PerformanceCounter, SecondsPerCountComeFromTheFrequencyOnFirstUse) {
  LARGE_INTEGER frequency;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(CTRL_secondsPerCount(), 1.0 / static_cast<double>(frequency.QuadPart));
  double a = 0, b = 0;
  ASSERT_TRUE(CTRL_readCounter(&a));
  ASSERT_TRUE(CTRL_readCounter(&b));
  EXPECT_GE(b, a);
}

}  // namespace

namespace {

TEST(ControllerCore, TheDefaultFontIsTheBuiltInFaceAndTakesTheControllersFirstId) {
  ASSERT_TRUE(MDL_createFontLibrary());
  CTRL_Generic first;
  CTRL_Generic second;
  for (CTRL_Generic* c : {&first, &second}) {
    ASSERT_NE(c->defaultFont, nullptr);
    EXPECT_STREQ(c->defaultFont->name, "default");
    EXPECT_EQ(c->defaultFont->data, vs_default_font);
    EXPECT_FALSE(c->defaultFont->owns);
    EXPECT_NE(c->defaultFont->face, nullptr);
    EXPECT_EQ(c->resources.fonts.count, 0);  // not one of the scripts' fonts
  }
  // One counter for every controller: ids are never handed out twice.
  EXPECT_EQ(second.defaultFont->id, first.defaultFont->id + 1);
  EXPECT_EQ(MDL_nextResourceId(), second.defaultFont->id + 1);
}

}  // namespace
