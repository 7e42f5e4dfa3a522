#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/perf_counter.h"
#include "controller/script_engine.h"
#include "controller/video_stream.h"
#include "model/animation.h"
#include "model/callbacks.h"
#include "model/camera.h"
#include "model/image.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "model/sound.h"
#include "null_engine.h"
#include "support/test_package.h"
#include "support/test_video.h"
#include "view/sound.h"
#include "view/view_generic.h"

namespace {

// An engine that records what the frame asks of it.
class FakeEngine : public ctrltest::NullEngine {
 public:
  void onUpdate(double dt) override {
    updates.push_back(dt);
    if (duringUpdate) duringUpdate();
  }
  void onAspectRatioChanged(double aspect) override { aspects.push_back(aspect); }
  bool start() override {
    ++starts;
    controller->load.state = 3;
    return true;
  }
  void setController(CTRL_Generic* c) override { controller = c; }

  CTRL_Generic* controller = nullptr;
  int starts = 0;
  std::vector<double> updates, aspects;
  std::function<void()> duringUpdate;  // what CB_UPDATE would look at
};

// Counts one scene's steps by the time each was given. The scene's proxy
// slot points at its counter, which the step's post-integration callback
// (fired once in every step, with its time) reaches through these hooks.
struct StepCounter {
  int positiveSteps() const {
    int n = 0;
    for (double s : steps) n += s > 0;
    return n;
  }
  std::vector<double> steps;
  std::function<void(double)> duringStep;

  static bool fire(LMP_Proxy* proxy, CTRL_ScriptEngine*, int id, va_list args) {
    if (id != CB_POST_INTEGRATION) return true;
    StepCounter& counter = *reinterpret_cast<StepCounter*>(proxy);
    const double dt = *va_arg(args, const double*);
    counter.steps.push_back(dt);
    if (counter.duringStep) counter.duringStep(dt);
    return true;
  }
};
const LMP_ProxyHooks kCountingHooks = {nullptr, nullptr, StepCounter::fire, nullptr, nullptr};

// A renderer that writes down every call.
class RecordingView : public VIEW_Generic {
 public:
  void beginFrame(HDC, bool) override { log.push_back("begin"); }
  void endFrame(HDC) override { log.push_back("end"); }
  void clear(const double c[4]) override {
    log.push_back("clear " + std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]) + " " +
                  std::to_string(c[3]));
  }
  void renderViewport(Viewport*, const double o[2], const double s[2], FontRecord*) override {
    log.push_back("viewport");
    rects.push_back({o[0], o[1], s[0], s[1]});
  }
  void drawLoadingScreen(const double o[2], const double s[2], const char* text, FontRecord*, MDL_Object*) override {
    log.push_back(std::string("loading ") + text);
    rects.push_back({o[0], o[1], s[0], s[1]});
  }
  void drawMessage(const double o[2], const double s[2], const char* text, FontRecord*) override {
    log.push_back(std::string("message ") + (text ? text : "(null)"));
    rects.push_back({o[0], o[1], s[0], s[1]});
  }
  void forgetTexture(ImageSource* source) override { log.push_back("forget " + std::to_string(source->id)); }
  void resetGlyphTextureCache() override { log.push_back("glyphs"); }

  std::vector<std::string> log;
  std::vector<std::vector<double>> rects;
};

class FakeSound : public VIEW_Sound {
 public:
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>&) override { return frames; }
  void pause() override {}
  void resume() override {}
  int32_t frames = 0;
};

struct Player {
  Player()
      : engine(new FakeEngine),
        controller(std::unique_ptr<CTRL_ScriptEngine>(engine), std::make_unique<RecordingView>()),
        view(static_cast<RecordingView&>(*controller.renderer)) {
    LMP_setProxyHooks(&kCountingHooks);
  }
  ~Player() { LMP_setProxyHooks(nullptr); }  // the scenes go silently with the controller

  // Makes the next update see `seconds` since the last one.
  void elapse(double seconds) {
    double now = 0;
    ASSERT_TRUE(CTRL_readCounter(&now));
    controller.clock.lastCounterTime = now - seconds / CTRL_secondsPerCount();
    controller.clock.timerRunning = true;
  }
  // A scene the controller steps, whose steps counted(scene) records.
  Scene* addScene() {
    auto* scene = new Scene;
    counters.emplace_back();
    scene->proxy.proxy = reinterpret_cast<LMP_Proxy*>(&counters.back());
    controller.resources.scenes.append(scene);
    return scene;
  }
  StepCounter& counted(Scene* scene) { return *reinterpret_cast<StepCounter*>(scene->proxy.proxy); }
  // A package-held controller whose scripts have started.
  void run() {
    controller.package = std::make_unique<ByteBuffer>();
    controller.frame(nullptr, nullptr);
    view.log.clear();
    view.rects.clear();
  }

  std::deque<StepCounter> counters;  // one per added scene, never moved
  FakeEngine* engine;                // owned by the controller
  CTRL_Generic controller;
  RecordingView& view;  // the controller's renderer
};

const std::string kWhite = "clear 1.000000 1.000000 1.000000 1.000000";
const std::string kBlack = "clear 0.000000 0.000000 0.000000 1.000000";

}  // namespace

TEST(FrameUpdate, StalledFrameIsCappedAndSplitIntoEqualSubSteps) {
  struct Case {
    double step;
    int subSteps;
  };
  // 0.1f / 0.002f is just under 50; 0.1f / 0.002 just over.
  for (const Case& k : {Case{0.0020000000949949026, 50}, Case{0.002, 51}}) {
    Player p;
    Scene* scene = p.addScene();
    scene->integrationStep = k.step;
    Scene* idle = p.addScene();
    idle->active = 0;
    p.elapse(0.25);
    p.controller.update();
    EXPECT_EQ(p.controller.clock.dt, 0.10000000149011612);
    ASSERT_EQ(p.counted(scene).positiveSteps(), k.subSteps);
    for (int i = 0; i < k.subSteps; ++i) EXPECT_EQ(p.counted(scene).steps[i], 0.10000000149011612 / k.subSteps) << i;
    EXPECT_EQ(p.counted(scene).steps.back(), 0.0);  // the zero-time pass after
    EXPECT_EQ(p.counted(idle).positiveSteps(), 0);
    EXPECT_EQ(p.counted(idle).steps.size(), 1u);  // inactive scenes get only the zero-time pass
    ASSERT_EQ(p.engine->updates.size(), 1u);
    EXPECT_EQ(p.engine->updates[0], 0.10000000149011612);
  }
}

TEST(FrameUpdate, NoTimeStepUntilTheTimerRuns) {
  Player p;
  Scene* scene = p.addScene();
  p.elapse(0.05);
  p.controller.clock.timerRunning = false;  // the first frame after a (re)start
  p.controller.update();
  EXPECT_EQ(p.controller.clock.dt, 0.0);
  EXPECT_EQ(p.counted(scene).positiveSteps(), 0);
  EXPECT_EQ(p.counted(scene).steps.size(), 1u);
  EXPECT_TRUE(p.engine->updates.empty());
  // The counter was read anyway: the next running frame measures from here.
  p.controller.clock.timerRunning = true;
  p.controller.update();
  EXPECT_LT(p.controller.clock.dt, 0.05);
}

// Playing animations advance by the frame time after the skinning; a frame
// without time poses nothing and moves no clock.
TEST(FrameUpdate, PlayingAnimationsAdvanceOnlyWithTime) {
  Player p;
  Scene* scene = p.addScene();
  MDL_Object* target = new MDL_Object;
  scene->registerObject(target);
  Animation* playing = new Animation;
  Animation* paused = new Animation;
  for (Animation* a : {playing, paused}) {
    a->target = target;
    a->duration = 10;
    scene->animations.append(a);
  }
  paused->playing = 0;
  p.controller.clock.timerRunning = false;
  p.controller.update();
  EXPECT_EQ(playing->time, 0.0);
  p.elapse(0.05);
  p.controller.update();
  EXPECT_EQ(playing->time, p.controller.clock.dt);
  EXPECT_GT(playing->time, 0.0);
  EXPECT_EQ(paused->time, 0.0);
}

// A step of 0 or less (or not a number) is never divided by: the scene gets
// only the zero-time pass, and the frame goes on.
TEST(FrameUpdate, OddIntegrationStepsAreNotStepped) {
  for (double step : {0.0, -1.0, std::nan("")}) {
    Player p;
    Scene* scene = p.addScene();
    scene->integrationStep = step;
    p.elapse(0.01);
    p.controller.update();
    EXPECT_EQ(p.counted(scene).positiveSteps(), 0) << step;
    EXPECT_EQ(p.counted(scene).steps.size(), 1u) << step;
    EXPECT_EQ(p.engine->updates.size(), 1u) << step;
  }
}

// A tiny step would freeze the player: a frame runs at most 1000 sub-steps,
// each then dt / 1000, so the simulated time still follows the clock.
TEST(FrameUpdate, TinyIntegrationStepsAreCappedAtAThousandSubSteps) {
  struct Case {
    double step;
    int subSteps;
  };
  for (const Case& k : {Case{1e-9, 1000}, Case{1e-4, 1000}, Case{0.1 / 999.5, 1000}, Case{0.1 / 998.5, 999}}) {
    Player p;
    Scene* scene = p.addScene();
    scene->integrationStep = k.step;
    p.elapse(0.25);
    p.controller.update();
    ASSERT_EQ(p.counted(scene).positiveSteps(), k.subSteps) << k.step;
    EXPECT_EQ(p.counted(scene).steps[0], p.controller.clock.dt / k.subSteps) << k.step;
  }
}

// The mouse holds a body with friction 0.7f while the scene steps; anything
// else (the zero-time pass, CB_UPDATE) sees the body's own friction.
TEST(FrameUpdate, AHeldRigidBodyHasTheDragFrictionOnlyInTheSubSteps) {
  Player p;
  Scene* scene = p.addScene();
  auto* body = new MDL_RigidBody;
  body->friction = 0.25;
  ASSERT_TRUE(scene->registerObject(body));
  p.controller.mouse.picked = body;
  std::vector<double> stepFriction, zeroStepFriction, updateFriction;
  p.counted(scene).duringStep = [&](double dt) {
    (dt > 0 ? stepFriction : zeroStepFriction).push_back(body->friction);
  };
  p.engine->duringUpdate = [&] { updateFriction.push_back(body->friction); };
  p.elapse(0.01);
  p.controller.update();
  ASSERT_FALSE(stepFriction.empty());
  for (double f : stepFriction) EXPECT_EQ(f, 0.699999988079071);
  EXPECT_EQ(zeroStepFriction, (std::vector<double>{0.25}));
  EXPECT_EQ(updateFriction, (std::vector<double>{0.25}));
  EXPECT_EQ(body->friction, 0.25);

  // No time step (the timer is not running): the friction is left alone.
  stepFriction.clear();
  p.controller.clock.timerRunning = false;
  p.controller.update();
  EXPECT_TRUE(stepFriction.empty());
  EXPECT_EQ(body->friction, 0.25);
}

TEST(FrameUpdate, NothingAfterAFailure) {
  Player p;
  Scene* scene = p.addScene();
  p.controller.fail("boom");
  p.elapse(0.05);
  p.controller.update();
  EXPECT_TRUE(p.counted(scene).steps.empty());
  EXPECT_TRUE(p.engine->updates.empty());
}

TEST(Frame, StartsTheScriptsOnceWithAPackage) {
  Player p;
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.engine->starts, 0);  // no package: still loading
  EXPECT_FALSE(p.controller.load.started);
  p.controller.package = std::make_unique<ByteBuffer>();
  p.controller.frame(nullptr, nullptr);
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.engine->starts, 1);
  EXPECT_TRUE(p.controller.load.started);
}

TEST(Frame, KeyStatesRotateUnlessStopped) {
  Player p;
  uint8_t* a = p.controller.keys.current;
  a['A'] = 1;
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.controller.keys.previous, a);
  EXPECT_EQ(p.controller.keys.current['A'], 1);  // carried over into the new current array
  p.controller.keys.current['A'] = 0;            // released during the next frame
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.controller.keys.previous['A'], 0);
  EXPECT_EQ(p.controller.keys.current, a);

  p.controller.fail("stop");
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.controller.keys.current, a);
}

TEST(FrameRender, EmptyClientAreaSkipsTheImageButNotTheUpdate) {
  Player p;
  Scene* scene = p.addScene();
  p.controller.setViewSize(0, 480);
  p.view.log.clear();
  p.controller.frame(nullptr, nullptr);
  EXPECT_TRUE(p.view.log.empty());
  EXPECT_EQ(p.counted(scene).steps.size(), 1u);
}

TEST(FrameRender, LetterBoxAndViewportRectangles) {
  struct Case {
    double width, height;
    std::vector<double> content;  // x0, y0, W, H
    const char* clear;
  };
  const Case cases[] = {
      {1024, 768, {0, 0, 1024, 768}, "bg"},        // exactly the content aspect
      {1000, 1000, {0, 125, 1000, 750}, "black"},  // bars above and below
      {1000, 500, {1000.0 / 6, 0, 2000.0 / 3, 500}, "black"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.width);
    Player p;
    p.controller.setViewSize(k.width, k.height);  // before the start: sets the aspect...
    p.controller.contentAspect = 0.75;            // ...which this content keeps at 0.75
    p.run();
    p.controller.backgroundColor[0] = 0.5;
    MDL_Camera camera;
    auto* full = new Viewport;
    full->camera = &camera;
    full->width = 1;
    full->height = 0.75;
    auto* corner = new Viewport;  // top right, a quarter of the width
    corner->camera = &camera;
    corner->x = 0.75;
    corner->y = 0;
    corner->width = 0.25;
    corner->height = 0.1875;
    auto* blind = new Viewport;  // no camera: not drawn
    p.controller.resources.viewports.append(full);
    p.controller.resources.viewports.append(corner);
    p.controller.resources.viewports.append(blind);
    p.controller.frame(nullptr, nullptr);

    const double x0 = k.content[0], y0 = k.content[1], W = k.content[2], H = k.content[3];
    const std::string clear = std::string(k.clear) == "bg" ? "clear 0.500000 0.000000 0.000000 0.000000" : kBlack;
    EXPECT_EQ(p.view.log, (std::vector<std::string>{"begin", clear, "viewport", "viewport", "end"}));
    ASSERT_EQ(p.view.rects.size(), 2u);
    const std::vector<double> fullRect = {x0, H - 0.75 * W + y0, W, 0.75 * W};
    const std::vector<double> cornerRect = {0.75 * W + x0, H - 0.1875 * W + y0, 0.25 * W, 0.1875 * W};
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(p.view.rects[0][i], fullRect[i], 1e-9) << i;
      EXPECT_NEAR(p.view.rects[1][i], cornerRect[i], 1e-9) << i;
    }
  }
}

TEST(FrameRender, BarsWithAnOpaqueBackgroundClearToIt) {
  Player p;
  p.controller.setViewSize(1000, 1000);
  p.controller.contentAspect = 0.75;
  p.run();
  const double bg[4] = {0, 0.25, 0, 1};
  std::copy(bg, bg + 4, p.controller.backgroundColor);
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.view.log[1], "clear 0.000000 0.250000 0.000000 1.000000");
}

TEST(FrameRender, ReleasedImageSourcesAreForgottenAndDropped) {
  Player p;
  p.controller.setViewSize(640, 480);
  p.run();
  ImageSource* sources[4];
  for (int i = 0; i < 4; ++i) {
    sources[i] = new ImageSource;
    sources[i]->id = i + 1;
    sources[i]->releasePending = i == 1 || i == 2;
    p.controller.resources.imageSources.append(sources[i]);
  }
  // An image whose looks show the two released ones.
  Scene* scene = p.addScene();
  auto* image = new MDL_Image;
  ASSERT_TRUE(image->ownMaterial());
  image->material->layers.freeStorage();
  for (int i = 1; i <= 2; ++i) image->material->addLayer()->image = sources[i];
  scene->registerObject(image);
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.view.log[1], "forget 2");
  EXPECT_EQ(p.view.log[2], "forget 3");
  ASSERT_EQ(p.controller.resources.imageSources.count, 2);
  EXPECT_EQ(p.controller.resources.imageSources[0], sources[0]);
  EXPECT_EQ(p.controller.resources.imageSources[1], sources[3]);
  // Dropped from the list but kept (materials may still point at them) until
  // the controller frees them.
  EXPECT_TRUE(p.controller.resources.retired.holds(sources[1]));
  EXPECT_TRUE(p.controller.resources.retired.holds(sources[2]));
  EXPECT_FALSE(p.controller.resources.retired.holds(sources[0]));
  // Once the image is gone they go too, the renderer told again first.
  p.controller.deleteObject(image);
  p.view.log.clear();
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.controller.resources.retired.count(), 0);
  EXPECT_NE(std::find(p.view.log.begin(), p.view.log.end(), "forget 2"), p.view.log.end());
  EXPECT_NE(std::find(p.view.log.begin(), p.view.log.end(), "forget 3"), p.view.log.end());
}

TEST(FrameRender, LoadingScreenUntilTheScriptsRun) {
  Player p;
  p.controller.setViewSize(1024, 768);
  p.view.log.clear();
  p.controller.loadingScreen.dots = 10;
  p.controller.loadingScreen.counterTime = -1e300;  // long ago: the dots move on
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.view.log, (std::vector<std::string>{"begin", kWhite, "loading Loading  .", "end"}));
  EXPECT_EQ(p.view.rects[0], (std::vector<double>{0, 0, 1024, 768}));
  p.view.log.clear();
  p.controller.frame(nullptr, nullptr);  // within half a second: the same dots
  EXPECT_EQ(p.view.log[2], "loading Loading  .");
  p.controller.loadingScreen.counterTime = -1e300;
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.view.log[6], "loading Loading  . .");
}

// The logo: the built-in PNG on an image a quarter of the content wide whose
// centre sits at (0.5, 0.2); made by the first loading frame, dropped once
// the scripts have started.
TEST(FrameRender, LoadingLogoIsMadeOnceAndDroppedWhenTheScriptsRun) {
  Player p;
  p.controller.setViewSize(1024, 768);
  p.controller.frame(nullptr, nullptr);
  ASSERT_NE(p.controller.loadingScreen.image, nullptr);
  ASSERT_NE(p.controller.loadingScreen.imageSource, nullptr);
  MDL_Object* logo = p.controller.loadingScreen.image.get();
  ASSERT_EQ(logo->type, OBJECT_IMAGE);
  const MDL_Image* image = static_cast<MDL_Image*>(logo);
  ASSERT_NE(image->material, nullptr);
  ASSERT_EQ(image->material->layers.count, 1);
  EXPECT_EQ(image->material->layers[0].image, p.controller.loadingScreen.imageSource.get());
  EXPECT_STREQ(p.controller.loadingScreen.imageSource->name, "Trelm");
  const double aspect = 115.0 / 400.0;
  EXPECT_DOUBLE_EQ(image->getAspectRatio(), aspect);
  const RigidTransform& world = logo->getWorld();
  EXPECT_DOUBLE_EQ(world.basis.X().x, 0.25);
  EXPECT_DOUBLE_EQ(world.basis.Y().y, 0.25);
  const Vec3 centre = world.basis * Vec3(0.5, aspect * 0.5, 0) + world.position;
  EXPECT_DOUBLE_EQ(centre.x, 0.5);
  EXPECT_DOUBLE_EQ(centre.y, double(0.2f));
  EXPECT_DOUBLE_EQ(centre.z, 1.0);

  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.controller.loadingScreen.image.get(), logo);
  p.run();
  EXPECT_EQ(p.controller.loadingScreen.image, nullptr);
  EXPECT_EQ(p.controller.loadingScreen.imageSource, nullptr);
}

TEST(FrameRender, FailureScreen) {
  Player p;
  p.controller.setViewSize(1024, 768);
  p.run();
  p.controller.fail("script error");
  p.controller.frame(nullptr, nullptr);
  EXPECT_EQ(p.view.log,
            (std::vector<std::string>{
                "begin", kWhite, "message Error running the file.\nPlease check with your content provider.", "end"}));
}

// Whatever was loading or running, a failed player shows only the message of
// its load state, in the letter-boxed content rectangle, on white.
TEST(FrameRender, FailureScreenReplacesTheLoadingScreenToo) {
  struct Case {
    int32_t loadState;
    bool package;
    const char* message;
  };
  const Case cases[] = {
      {0, false, "Error opening the file, the file is corrupted.\nPlease check with your content provider."},
      {1, false, "You are trying to open a file not compatible with your player."},
      {2, true, "Error loading the file.\nPlease check with your content provider."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.loadState);
    Player p;
    p.controller.setViewSize(1000, 1000);
    p.controller.contentAspect = 0.75;
    p.controller.load.state = k.loadState;
    if (k.package) p.controller.package = std::make_unique<ByteBuffer>();
    p.controller.load.started = true;  // the start ran and failed
    p.controller.fail("content error");
    p.view.log.clear();
    p.controller.frame(nullptr, nullptr);
    EXPECT_EQ(p.view.log, (std::vector<std::string>{"begin", kWhite, std::string("message ") + k.message, "end"}));
    ASSERT_EQ(p.view.rects.size(), 1u);
    EXPECT_EQ(p.view.rects[0], (std::vector<double>{0, 125, 1000, 750}));
  }
}

TEST(FrameRender, NoRendererNoImage) {
  Player p;
  p.controller.setRenderer(nullptr);
  RecordingView view;
  p.controller.setViewSize(640, 480);
  p.controller.frame(nullptr, &view);
  EXPECT_TRUE(view.log.empty());
}

TEST(FrameViewSize, AspectBeforeTheStartCallbackAfter) {
  Player p;
  p.controller.setViewSize(800, 400);
  EXPECT_EQ(p.controller.contentAspect, 0.5);
  EXPECT_EQ(p.view.log, (std::vector<std::string>{"glyphs"}));
  p.controller.setViewSize(800, 400);  // unchanged: nothing
  EXPECT_EQ(p.view.log.size(), 1u);
  p.run();
  p.controller.setViewSize(400, 400);
  p.controller.setViewSize(800, 400);  // back to the content aspect: no callback
  p.controller.setViewSize(100, 300);
  EXPECT_EQ(p.engine->aspects, (std::vector<double>{1.0, 3.0}));
  EXPECT_EQ(p.controller.contentAspect, 0.5);
  p.controller.setViewSize(0, 300);  // no ratio from a zero width
  EXPECT_EQ(p.engine->aspects.size(), 2u);
}

TEST(FramePumpSound, SoundsAdvanceByWhatWasMixed) {
  struct Case {
    const char* what;
    int32_t frames;
    int32_t position;
    bool looping, autoDelete, streaming;
    int32_t expectPosition;
    bool expectDeleted;
  };
  // The sample: 1000 frames at 22050 Hz; the output mixes at 44100 Hz.
  const Case cases[] = {
      {"plays on", 882, 100, false, true, false, 541, false},
      {"wraps when looping", 882, 900, true, true, false, 341, false},
      // A whole ring (4096 frames) of a loop shorter than the fill: the next
      // fill must go on where this one stopped, (900 + 2048) mod 1000.
      {"looping, more than a lap in one fill", 4096, 900, true, true, false, 948, false},
      {"ends and is deleted", 882, 900, false, true, false, 1341, true},
      {"ends and stays", 882, 900, false, false, false, 1341, false},
      {"streamed: left alone", 882, 900, false, true, true, 900, false},
      // Without a device the advance is at most the sample's length.
      {"no device, looping", 2147483647, 10, true, true, false, 10, false},
      {"no device, not looping", 2147483647, 10, false, false, false, 1010, false},
      {"no device, deleted", 2147483647, 10, false, true, false, 1010, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Player p;
    auto* output = new FakeSound;
    output->frames = k.frames;
    p.controller.setSoundOutput(std::unique_ptr<VIEW_Sound>(output));
    SoundRecord sample;
    sample.sampleRate = 22050;
    sample.streaming = k.streaming;
    ASSERT_TRUE(sample.channels.setSize(1));
    for (int i = 0; i < 1000; ++i) sample.channels[0].append(0.0f);
    Scene* scene = p.addScene();
    auto* sound = new MDL_Sound;
    sound->sample = &sample;
    sound->position = k.position;
    sound->looping = k.looping;
    sound->autoDelete = k.autoDelete;
    ASSERT_TRUE(scene->registerObject(sound));
    p.controller.pumpSound();
    EXPECT_EQ(sound->position, k.expectPosition);
    EXPECT_EQ(sound->pendingDelete != 0, k.expectDeleted);
    sound->sample = nullptr;
    p.controller.setSoundOutput(nullptr);
  }
}

namespace {

// Streams on a package of their own (it must outlive the player that plays
// them): "v.ogg" 3 s of pictures at 25 per second, "a.ogg" the same with a
// stereo 22050 Hz tone.
struct StreamFiles {
  StreamFiles() {
    testmedia::TheoraSpec spec;
    spec.frames = 75;
    const auto grey = [](int f, int, int) { return testmedia::YCbCr{static_cast<uint8_t>(40 + 3 * f), 128, 128}; };
    const std::string pictures = testmedia::makeTheora(spec, grey);
    spec.audioChannels = 2;
    package = testpkg::openMembers({{"v.ogg", pictures}, {"a.ogg", testmedia::makeTheora(spec, grey)}});
  }
  VideoStream* open(Player& p, const char* name) {
    VideoStream* s = VideoStream::open(name, package.get());
    EXPECT_TRUE(s && s->frameCount == 75);
    p.controller.resources.videoStreams.append(s);
    return s;
  }
  std::unique_ptr<testpkg::RecordingController> package;
};

TEST(FrameStreams, PlayingStreamsAdvanceByTheFrameTime) {
  StreamFiles files;
  Player p;
  VideoStream* playing = files.open(p, "v.ogg");
  VideoStream* paused = files.open(p, "v.ogg");
  paused->sound.paused = true;
  p.run();
  for (int i = 0; i < 3; ++i) {
    p.elapse(0.04);
    p.controller.frame(nullptr, nullptr);
  }
  EXPECT_NEAR(playing->time, 3 * p.controller.clock.dt, 0.01);
  EXPECT_NEAR(playing->time, 0.12, 0.02);
  EXPECT_GE(playing->currentFrame, 3);
  EXPECT_TRUE(playing->image.pixelsChanged);
  EXPECT_EQ(paused->time, 0.0);
  EXPECT_EQ(paused->currentFrame, 0);
  // A stopped controller moves no stream.
  const double at = playing->time;
  p.controller.load.stopped = true;
  p.elapse(0.04);
  p.controller.updateStreams();
  EXPECT_EQ(playing->time, at);
}

TEST(FrameStreams, DecodedSoundReachesTheMixerAndIsDrainedAsItPlays) {
  StreamFiles files;
  Player p;
  auto* output = new FakeSound;
  p.controller.setSoundOutput(std::unique_ptr<VIEW_Sound>(output));
  VideoStream* stream = files.open(p, "a.ogg");
  ASSERT_EQ(stream->sound.channels.count, 2);
  Scene* scene = p.addScene();
  auto* sound = new MDL_Sound;
  sound->sample = &stream->sound;
  sound->channel = 0;
  ASSERT_TRUE(scene->registerObject(sound));
  // The test files weave each sound page in at its end time: 2 s of
  // pictures bring at least one.
  for (int i = 0; i < 50; ++i) {
    p.controller.clock.dt = 0.04;
    p.controller.updateStreams();
  }
  // The tone reaches the mixer from the front of the queue.
  const int32_t queued = stream->sound.frameCount();
  ASSERT_GT(queued, 4410);
  float loudest = 0;
  for (int i = 0; i < 100; ++i) loudest = std::max(loudest, std::fabs(sound->sampleAt(i)));
  EXPECT_GT(loudest, 0.3f);
  // 882 frames mixed at 44100 Hz are 441 of the stream's 22050 Hz.
  const float next = sound->sampleAt(441);
  output->frames = 882;
  p.controller.pumpSound();
  EXPECT_EQ(stream->sound.frameCount(), queued - 441);
  EXPECT_EQ(stream->sound.channels[1].count, queued - 441);
  EXPECT_EQ(sound->sampleAt(0), next);
  // A paused stream keeps its queue; an output without a device drains all.
  stream->sound.paused = true;
  p.controller.pumpSound();
  EXPECT_EQ(stream->sound.frameCount(), queued - 441);
  stream->sound.paused = false;
  output->frames = 2147483647;
  p.controller.pumpSound();
  EXPECT_EQ(stream->sound.frameCount(), 0);
  EXPECT_EQ(stream->sound.channels[1].data, nullptr);
  sound->sample = nullptr;
}

}  // namespace

namespace {

// An output that mixes every fill into a recording, the fills given in turn
// by `fills` (repeated).
class RecordingSound : public VIEW_Sound {
 public:
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>& viewports) override {
    const int32_t n = fills[next++ % fills.size()];
    std::vector<int16_t> stereo(2 * static_cast<size_t>(n));
    mixSounds(viewports, n, 0, stereo.data(), stereo.data() + 1);
    for (int32_t i = 0; i < n; ++i) left.push_back(stereo[2 * i]);
    return n;
  }
  void pause() override {}
  void resume() override {}
  std::vector<int32_t> fills;
  size_t next = 0;
  std::vector<int16_t> left;
};

// A mike at the origin in a scene of the player, heard through a viewport.
Scene* listeningScene(Player& p) {
  Scene* scene = p.addScene();
  auto* mike = new MDL_Mike;
  EXPECT_TRUE(scene->registerObject(mike));
  auto* viewport = new Viewport;
  viewport->mike = mike;
  p.controller.resources.viewports.append(viewport);
  return scene;
}

}  // namespace

TEST(FramePumpSound, RatesTheOutputDoesNotDivideKeepTheirLength) {
  // Ten seconds of a sample whose every value shows up distinct in the
  // output, pumped in fills of uneven sizes: the output is the one the
  // mixer gives in a single run, sample floor(j x rate / 44100) at output
  // frame j, to the last frame, and the sound ends exactly at its length.
  for (int32_t rate : {48000, 16000, 8000, 22050, 96000}) {
    SCOPED_TRACE(rate);
    Player p;
    auto* output = new RecordingSound;
    output->fills = {512, 735, 1, 4096, 300, 2000};
    p.controller.setSoundOutput(std::unique_ptr<VIEW_Sound>(output));
    SoundRecord sample;
    sample.sampleRate = rate;
    ASSERT_TRUE(sample.channels.setSize(1));
    const int32_t length = 10 * rate;
    ASSERT_TRUE(sample.channels[0].resize(length));
    for (int32_t k = 0; k < length; ++k) sample.channels[0][k] = ((k % 16384) - 8192) / 8192.0f * 0.95f;
    Scene* scene = listeningScene(p);
    auto* sound = new MDL_Sound;
    sound->sample = &sample;
    ASSERT_TRUE(scene->registerObject(sound));
    const int64_t heard = (int64_t{length} * 44100 + rate - 1) / rate;  // frames j with j x rate / 44100 < length
    while (static_cast<int64_t>(output->left.size()) < heard + 4096 && !sound->pendingDelete) p.controller.pumpSound();
    EXPECT_TRUE(sound->pendingDelete);
    ASSERT_GE(static_cast<int64_t>(output->left.size()), heard);
    int64_t wrong = 0, firstWrong = -1;
    for (int64_t j = 0; j < heard; ++j) {
      const float s = sample.channels[0][j * rate / 44100];
      const int16_t want = static_cast<int16_t>(s * 0.5f * 32767.0f);
      if (output->left[j] != want && wrong++ == 0) firstWrong = j;
    }
    EXPECT_EQ(wrong, 0) << "first at output frame " << firstWrong;
    sound->sample = nullptr;
    p.controller.setSoundOutput(nullptr);
  }
}

TEST(FrameStreams, AStreamsSoundIsThereForEveryFill) {
  // 48 kHz stereo sound under pages of 25 pictures (a second each): sound is
  // not read only as far as the pictures need, so the queue never runs dry
  // before a fill of a sixtieth of a second.
  testmedia::TheoraSpec spec;
  spec.frames = 100;
  spec.picturesPerPage = 25;
  spec.audioChannels = 2;
  spec.audioRate = 48000;
  auto package = testpkg::openMembers({{"a.ogg", testmedia::makeTheora(spec, [](int f, int, int) {
                                          return testmedia::YCbCr{static_cast<uint8_t>(40 + f), 128, 128};
                                        })}});
  Player p;
  auto* output = new FakeSound;
  output->frames = 735;
  p.controller.setSoundOutput(std::unique_ptr<VIEW_Sound>(output));
  VideoStream* stream = VideoStream::open("a.ogg", package.get());
  ASSERT_TRUE(stream && stream->frameCount == 100);
  p.controller.resources.videoStreams.append(stream);
  int dry = 0;
  for (int i = 0; i < 3 * 60; ++i) {  // 3 of the 4 seconds
    dry += stream->sound.frameCount() < 801;
    p.controller.pumpSound();
    p.controller.clock.dt = 1.0 / 60;
    p.controller.updateStreams();
  }
  EXPECT_EQ(dry, 0);
}
