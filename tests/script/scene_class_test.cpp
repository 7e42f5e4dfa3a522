// The scene class: defaults, physics settings, bounds, lookup, clearing,
// user data and the four simulation callbacks.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "model/object.h"
#include "model/scene.h"
#include "script/lmp_scene.h"
#include "script/lua_case.h"
#include "script_harness.h"

using scripttest::Player;

namespace {

const LuaCase kSceneCases[] = {
    {"defaults are the single-precision values", R"(
      local s = newScene()
      assert(s:getIntegrationStep() == 0.0020000000949949026 and s:getFriction() == 0.800000011920929)
      assert(s:getElasticity() == 0.6000000238418579 and s:getGravity() == v3(0, 0, -9.8100004196167))
      assert(s:getActive() == true)
      local b = s:getBounds()
      assert(#b == 6 and b[1] == INFINITE_MINUS and b[2] == INFINITE_PLUS and b[3] == INFINITE_MINUS)
      assert(b[4] == INFINITE_PLUS and b[5] == 0 and b[6] == INFINITE_PLUS))",
     nullptr},
    {"settings round trip", R"(
      local s = newScene()
      s:setGravity(v3(1, 2, 3)); s:setIntegrationStep(0.01); s:setFriction(0.5); s:setElasticity('0.25')
      s:setActive(false)
      assert(s:getGravity() == v3(1, 2, 3) and s:getIntegrationStep() == 0.01 and s:getFriction() == 0.5)
      assert(s:getElasticity() == 0.25 and s:getActive() == false))",
     nullptr},
    {"gravity must be a v3", "newScene():setGravity(v2())",
     "bad argument #1 to 'setGravity' (v3 expected, got userdata)"},
    {"bounds are read leniently, all six at once", R"(
      local s = newScene()
      s:setBounds({}); local b = s:getBounds(); for i = 1, 6 do assert(b[i] == 0) end
      s:setBounds({1, 2, 3}); b = s:getBounds(); assert(b[1] == 1 and b[3] == 3 and b[5] == 0 and b[6] == 0)
      s:setBounds({-1, 1, -2, 2, 'x', '7'}); b = s:getBounds(); assert(b[5] == 0 and b[6] == 7)
      s:setBounds('no table'); s:setBounds(); assert(s:getBounds()[6] == 7))",
     nullptr},
    {"lookup ignores case, the first registered wins", R"(
      local s = newScene()
      local a, b = newObject(s), newObject(s); a:setName('Crate'); b:setName('crate')
      assert(rawequal(s:getObject('CRATE'), a)); assert(s:getObject('box') == nil)
      local n = newObject(s); n:setName('12'); assert(rawequal(s:getObject(12), n)))",
     nullptr},
    {"user data keeps the last value", R"(
      local s = newScene()
      assert(select('#', s:getUserData()) == 0)
      s:setUserData({1}); s:setUserData('two'); assert(s:getUserData() == 'two')
      s:setUserData(); assert(s:getUserData() == nil and select('#', s:getUserData()) == 1))",
     nullptr},
    {"clear flags every object, the scene stays", R"(
      local s = newScene(); local a = newObject(s); local c = newObject(a)
      s:clear(); assert(not a:exist() and not c:exist() and s:getActive()))",
     nullptr},
};

TEST(SceneClass, Methods) { scripttest::expectCasesInFreshPlayers(kSceneCases); }

TEST(SceneClass, ScenesJoinTheControllerWithTheirName) {
  Player p({});
  ASSERT_EQ(p.run("a = newScene(); b = newScene(12)"), "");
  ASSERT_EQ(p.controller->resources.scenes.count, 2);
  EXPECT_EQ(p.controller->resources.scenes[0], p.model<Scene>("a"));
  EXPECT_EQ(p.controller->resources.scenes[0]->name, nullptr);
  EXPECT_STREQ(p.controller->resources.scenes[1]->name, "12");
}

TEST(SceneClass, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newScene():getObject(true)", "Object name ommited"},
      {"newScene():getObject()", "Object name ommited"},
      {"newScene():setActive(1)", "Invalid type (number) for argument #1, <B> type argument(s) expected"},
      {"newScene():setFriction()", "Not enough arguments, <N> argument(s) expected"},
      {"newScene():setCallback(CB_MECHA, 5)", "Invalid type (number) for argument #2, <IF> type argument(s) expected"},
  };
  scripttest::expectUsageReports(cases);
}

// A scene whose model is gone answers nothing, raises nothing.
TEST(SceneClass, GoneSceneIsTolerated) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene()"), "");
  Scene* scene = p.model<Scene>("s");
  p.controller->resources.scenes.removeFirst(scene);
  delete scene;
  ASSERT_EQ(p.run(R"(
    for _, m in ipairs({'clear', 'getBounds', 'getElasticity', 'getFriction', 'getGravity', 'getIntegrationStep',
                        'getActive', 'getUserData'}) do
      assert(select('#', s[m](s)) == 0, m)
    end
    s:setGravity(v3()); s:setBounds({}); s:setActive(true); s:setCallback(CB_MECHA, print); s:setUserData(1)
    assert(s:getObject('x') == nil)
    assert(select('#', newObject(s)) == 1 and newObject(s) == nil)
  )"),
            "");
  ASSERT_EQ(p.controller->failures.size(), 2u);
  EXPECT_NE(p.controller->failures[0].find("Unable to retreive Scene"), std::string::npos);
}

TEST(SceneClass, SimulationCallbacksInStepOrder) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    s = newScene(); a = newObject(s); b = newObject(s)
    log = {}
    local function add(...) log[#log + 1] = table.concat({...}, ' ') end
    s:setCallback(CB_POST_INTEGRATION, function(...) add('post-integration', select('#', ...), ...) end)
    s:setCallback(CB_MECHA, function(...) add('mecha', select('#', ...), ...) end)
    s:setCallback(CB_PRE_COLLISION, function(scene, p, n, depth, ba, va, bb, vb)
      add('pre', tostring(rawequal(scene, s)), tostring(p), tostring(n), depth, tostring(rawequal(ba, a)),
          tostring(va == nil), tostring(rawequal(bb, b)), tostring(vb == nil))
      p:setX(99)  -- a copy: the contact keeps its point
      return true
    end)
    s:setCallback(CB_POST_COLLISION, function(scene, p, n, impulse, ba) add('post', tostring(p), impulse) end)
  )"),
            "");
  Scene* scene = p.model<Scene>("s");
  MDL_Object* a = scene->objects[0];
  MDL_Object* b = scene->objects[1];
  Vec3 point(1, 2, 3), normal(0, 0, 1);
  scene->step(p.engine, 0.5);
  EXPECT_TRUE(scene->firePreCollision(p.engine, point, normal, 0.25, a, nullptr, b, nullptr));
  EXPECT_EQ(point.x, 1);
  scene->firePostCollision(p.engine, point, normal, 4, a, nullptr, b, nullptr);
  ASSERT_EQ(p.run("result = table.concat(log, '|')"), "");
  EXPECT_EQ(
      p.global("result"),
      "post-integration 1 0.5|mecha 1 0.5|pre true v3(1,2,3) v3(0,0,1) 0.25 true true true true|post v3(1,2,3) 4");
  EXPECT_TRUE(p.controller->failures.empty());
}

TEST(SceneClass, PreCollisionAnswerKeepsOrDropsTheContact) {
  struct Case {
    const char* callback;  // null: none set
    bool keep;
    bool fails;
  } cases[] = {
      {nullptr, true, false},
      {"function() return true end", true, false},
      {"function() return 1 end", true, false},
      {"function() end", false, false},
      {"function() return false, true end", false, false},
      {"function() error('boom') end", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.callback ? c.callback : "no callback");
    Player p({});
    std::string code = "s = newScene()\n";
    if (c.callback) code += std::string("s:setCallback(CB_PRE_COLLISION, ") + c.callback + ")\n";
    ASSERT_EQ(p.run(code), "");
    Vec3 point, normal(0, 0, 1);
    EXPECT_EQ(p.model<Scene>("s")->firePreCollision(p.engine, point, normal, 0, nullptr, nullptr, nullptr, nullptr),
              c.keep);
    EXPECT_EQ(p.controller->load.stopped, c.fails);
  }
  // Once the content has failed no callback runs, and contacts are kept.
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); s:setCallback(CB_PRE_COLLISION, function() called = true end)"), "");
  p.controller->fail("stop");
  Vec3 point, normal;
  EXPECT_TRUE(p.model<Scene>("s")->firePreCollision(p.engine, point, normal, 0, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(p.global("called"), "nil");
}

TEST(SceneClass, CallbackOutsideTheSceneIdsIsReported) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); s:setCallback(CB_MOUSE_DOWN, function() called = true end)"), "");
  ASSERT_FALSE(LMP_fireCallback(p.model<Scene>("s")->proxy, p.engine, CB_MOUSE_DOWN, nullptr, nullptr));
  EXPECT_EQ(p.global("called"), "nil");
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_EQ(p.controller->failures[0], "Unhandled scene callback");
}

}  // namespace

namespace {

TEST(SceneClass, ClearEndsTheDragOfItsObject) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); o = newObject(s)"), "");
  Scene* scene = p.model<Scene>("s");
  p.controller->mouse.picked = scene->objects[0];
  p.controller->mouse.leftButton = true;
  ASSERT_EQ(p.run("s:clear()"), "");
  EXPECT_EQ(p.controller->mouse.picked, nullptr);
  EXPECT_FALSE(p.controller->mouse.leftButton);
  scene->purgeDeleted();
  EXPECT_EQ(scene->objects.count, 0);
  ASSERT_EQ(p.run("assert(not o:exist() and o:getName() == nil)"), "");
}

}  // namespace

#include "model/physics_world.h"

namespace {

// One real step with touching bodies: the scene's callbacks come in the
// order post-integration, the contacts (pre then post), mecha.
TEST(SceneClass, PhysicsCallbacksFireInStepOrder) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    s = newScene()
    log = {}
    local function add(name) if log[#log] ~= name then log[#log + 1] = name end end
    s:setCallback(CB_POST_INTEGRATION, function() add('integrated') end)
    s:setCallback(CB_PRE_COLLISION, function(scene, point, normal, depth, bodyA, volumeA)
      assert(rawequal(scene, s) and getmetatable(point) == getmetatable(v3()) and type(depth) == 'number')
      assert(bodyA ~= nil and volumeA ~= nil)
      add('pre'); return true
    end)
    s:setCallback(CB_POST_COLLISION, function() add('post') end)
    s:setCallback(CB_MECHA, function() add('mecha') end)
  )"),
            "");
  Scene* scene = p.model<Scene>("s");
  MDL_RigidBody* a = addSphere(*scene, Vec3(0, 0, 3), 1);
  MDL_RigidBody* b = addSphere(*scene, Vec3(0, 0, 4.5), 1);  // overlapping a
  a->state |= STATE_MOVABLE;
  b->state |= STATE_MOVABLE;
  b->speed = Vec3(0, 0, -5);  // closing in on a
  scene->step(p.engine, scene->integrationStep);
  ASSERT_EQ(p.run("result = table.concat(log, ' ')"), "");
  // Each contact: pre, then post when the response gave an impulse.
  std::string result = p.global("result");
  EXPECT_TRUE(std::regex_match(result, std::regex("integrated( pre( post)?)+ mecha"))) << result;
  EXPECT_NE(result.find("pre post"), std::string::npos) << result;
  EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
}

// A scene asks its script only for the callbacks it set: without a
// pre-collision callback every contact acts unasked and fires nothing, and
// with only the post-collision one set, only that one runs.
TEST(SceneClass, ContactsAskOnlyForTheCallbacksSet) {
  for (bool post : {false, true}) {
    SCOPED_TRACE(post ? "post-collision set" : "no callback");
    Player p({});
    ASSERT_EQ(
        p.run(post ? "s = newScene(); posts = 0; s:setCallback(CB_POST_COLLISION, function() posts = posts + 1 end)"
                   : "s = newScene()"),
        "");
    Scene* scene = p.model<Scene>("s");
    MDL_RigidBody* a = addSphere(*scene, Vec3(0, 0, 3), 1);
    MDL_RigidBody* b = addSphere(*scene, Vec3(0, 0, 4.5), 1);
    b->speed = Vec3(0, 0, -5);
    scene->step(p.engine, scene->integrationStep);
    // The contact acted: b handed most of its speed on to a.
    EXPECT_GT(b->speed.z, -2.0);
    EXPECT_LT(a->speed.z, -3.0);
    if (post) {
      ASSERT_EQ(p.run("result = posts"), "");
      EXPECT_NE(p.global("result"), "0");
      EXPECT_EQ(p.global("result"), std::to_string(scene->contactCallbacks));
    } else {
      EXPECT_EQ(scene->contactCallbacks, 0u);
    }
    EXPECT_TRUE(p.controller->failures.empty());
  }
}

}  // namespace

// A content __gc that raises can run in any allocation, the scene's own
// pushes of callback arguments included: that must stop the content, never
// end the player through the panic function.
TEST(SceneClass, FailingFinalizerDuringCallbackArgumentsIsReported) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    s = newScene(); a = newObject(s); b = newObject(s)
    s:setCallback(CB_PRE_COLLISION, function() return true end)
    collectgarbage('setpause', 0) collectgarbage('setstepmul', 100000)
    collectgarbage('stop')
    for i = 1, 50 do setmetatable({}, {__gc = function() error('finalizer failed') end}) end
    collectgarbage('restart')
  )"),
            "");
  Scene* scene = p.model<Scene>("s");
  MDL_Object* a = scene->objects[0];
  MDL_Object* b = scene->objects[1];
  Vec3 point(1, 2, 3), normal(0, 0, 1);
  for (int i = 0; i < 500 && !p.controller->load.stopped; ++i)
    scene->firePreCollision(p.engine, point, normal, 0.25, a, nullptr, b, nullptr);
  ASSERT_TRUE(p.controller->load.stopped);
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("finalizer failed"), std::string::npos) << p.controller->failures[0];
}
