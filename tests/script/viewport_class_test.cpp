// The viewport class: its record, camera and mike links, navigation state,
// mappings through the camera, and the events it sees first.
#include <gtest/gtest.h>

#include <string>

#include "controller/event.h"
#include "model/viewport.h"
#include "model/camera.h"
#include "script_harness.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kCases[] = {
    {"a new viewport is active, free, z-fail, with what it was given", R"(
      local v = newViewport(0.1, 0.2, 0.5, 0.25)
      assert(v:getActive() == true and v:getNavigationMode() == NAVIGATION_FREE and v:getShadowRendering() == SHADOW_ZFAIL)
      assert(v:getWidth() == 0.5 and v:getHeight() == 0.25)
      assert(v:getSize() == v2(0.5, 0.25) and v:getPosition() == v2(0.1, 0.2))
      assert(v:getCamera() == nil and v:getMike() == nil)
      assert(tostring(v):find('^newViewport %(') and getmetatable(v) == newViewport))",
     nullptr},
    {"setters store and getters answer", R"(
      local v = newViewport(0, 0, 1, 1)
      v:setActive(false); assert(v:getActive() == false)
      v:setSize(v2(400, 300)); assert(v:getSize() == v2(400, 300) and v:getCenter() == v3(200, 150, 0))
      v:setPosition(v2(-1, 2)); assert(v:getPosition() == v2(-1, 2))
      v:setShadowRendering(SHADOW_ZPASS); assert(v:getShadowRendering() == 0)
      v:setNavigationMode(NAVIGATION_GLASSBALL); assert(v:getNavigationMode() == 3))",
     nullptr},
    {"camera and mike links", R"(
      local v = newViewport(0, 0, 1, 1)
      local c, m = newCamera(s), newMike(s)
      v:setCamera(c); v:setMike(m)
      assert(rawequal(v:getCamera(), c) and rawequal(v:getMike(), m))
      v:setCamera(nil); v:setMike()
      assert(v:getCamera() == nil and v:getMike() == nil)
      v:setCamera(c); c:delete()
      assert(v:getCamera() == nil))",
     nullptr},
    {"a camera or mike setter refuses another class", "newViewport(0, 0, 1, 1):setCamera(newMike(s))", "newCamera"},
    {"a mike setter refuses a number", "newViewport(0, 0, 1, 1):setMike(1)", "newMike"},
    {"the orbit setters store their limits, in degrees for the angles", R"(
      local v = newViewport(0, 0, 1, 1)
      v:setNavigationMode(NAVIGATION_GLASSBALL)
      v:setNavigationAzimuth(90); assert(v:getNavigationAzimuth() == 90)
      v:setNavigationElevation(-30, -45, 45); assert(near(v:getNavigationElevation(), -30))
      v:setNavigationRadius(5, 1, 10); assert(v:getNavigationRadius() == 5)
      v:setNavigationPosition(v3(1, 2, 3)); assert(v:getNavigationPosition() == v3(1, 2, 3)))",
     nullptr},
    {"outside the orbit modes the orbit getters answer nil", R"(
      local v = newViewport(0, 0, 1, 1)
      v:setNavigationRadius(5); v:setNavigationAzimuth(10)
      assert(v:getNavigationRadius() == nil and v:getNavigationAzimuth() == nil and v:getNavigationElevation() == nil)
      -- a nil value, not an empty answer: it prints and passes on as one
      assert(select('#', v:getNavigationRadius()) == 1 and select('#', v:getNavigationAzimuth()) == 1)
      assert(tostring(v:getNavigationElevation()) == 'nil')
      v:setNavigationMode(NAVIGATION_MIXED)
      assert(v:getNavigationRadius() == 0 and v:getNavigationAzimuth() == 0))",
     nullptr},
    {"free navigation places the camera itself", R"(
      local v = newViewport(0, 0, 1, 1)
      assert(v:getNavigationPosition() == nil)  -- no camera: nothing to say
      v:setNavigationPosition(v3(1, 1, 1)); v:setNavigationBasis(m33())
      local c = newCamera(s); v:setCamera(c)
      v:setNavigationPosition(v3(4, 5, 6)); assert(c:getPosition() == v3(4, 5, 6) and v:getNavigationPosition() == v3(4, 5, 6))
      v:setNavigationBasis(m33(v3(0, 1, 0), v3(-1, 0, 0), v3(0, 0, 1)))
      assert(c:getAxis(AXIS_X) == v3(0, 1, 0) and c:getAxis(AXIS_Y) == v3(-1, 0, 0)))",
     nullptr},
    {"orbit navigation places the camera at the radius looking at the target", R"(
      local v = newViewport(0, 0, 1, 1)
      local c = newCamera(s); v:setCamera(c)
      v:setNavigationMode(NAVIGATION_MIXED)
      v:setNavigationPosition(v3(1, 2, 3)); v:setNavigationRadius(5); v:setNavigationElevation(90)
      assert(vnear(c:getPosition(), 1, 2, 8) and vnear(c:getAxis(AXIS_Z), 0, 0, 1))
      v:setNavigationRadius(50, 1, 10); assert(v:getNavigationRadius() == 10 and vnear(c:getPosition(), 1, 2, 13))
      v:setNavigationBasis(m33(v3(0, 1, 0), v3(-1, 0, 0), v3(0, 0, 1)))  -- not in this mode
      assert(vnear(c:getAxis(AXIS_X), 0, -1, 0)))",
     nullptr},
    {"pick rays and mappings go through the camera", R"(
      local v = newViewport(0, 0, 1, 0.75)
      local o, d = v:getPickRay(v3(0, 0, 0))
      assert(o == v3() and d == v3())  -- no camera
      local c = newCamera(s); c:setFOV(90); c:setNearZ(1); c:setFarZ(101); v:setCamera(c)
      o, d = v:getPickRay(v3(0, 0, 0.5))
      assert(vnear(o, -1, 0.75, -1) and vnear(d, -100, 75, -100))
      assert(vnear(v:toScene(v3(0.5, 0.375, 1)), 0, 0, -101))
      c:setPosition(v3(3, 0, 0))
      local p = v:fromScene(v:toScene(v3(0.2, 0.6, 0.3)))
      assert(vnear(p, 0.2, 0.6, 0.3)))",
     nullptr},
    {"a deleted viewport leaves a proxy without a record", R"(
      local v = newViewport(0, 0, 1, 1)
      v:delete(); v:delete()
      assert(v:getWidth() == nil and v:getCenter() == nil)
      v:setSize(v2(1, 1)))",
     nullptr},
};

TEST(ViewportClass, Cases) { scripttest::expectCasesInFreshPlayers(kCases, kSceneAndNear); }

TEST(ViewportClass, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newViewport(0, 0, 1, 1):setNavigationMode(4)", "Unsupported navigation type specified."},
      {"newViewport(0, 0, 1, 1):setShadowRendering(2)", "Unsupported shadow type specified."},
      {"newViewport(0, 0, 1)", "Not enough arguments, <NNNN> argument(s) expected"},
      {"local v = newViewport(0, 0, 1, 1); v:setNavigationMode(2); v:setNavigationRadius(1, 2, 3, 4)",
       "Too much arguments, <N|NN> argument(s) expected"},
  };
  scripttest::expectUsageReports(cases);
}

TEST(ViewportClass, RecordsTheStoredValuesAndBecomesCurrent) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    first = newViewport(0, 0, 1, 1)
    v = newViewport(1, 2, 3, 4)
    v:setBackgroundColor(color(0.1, 0.2, 0.3, 0.4))
    v:setNavigationMode(NAVIGATION_GLASSBALL)
    v:setNavigationRadius(5)
    v:setNavigationAzimuth(90, -180, 180)
    v:setNavigationElevation(10)
    v:setNavigationMode(NAVIGATION_FREE)
    v:setNavigationRadius(7, 1, 2)  -- nothing outside the orbit modes
  )"),
            "");
  Viewport* v = p.model<Viewport>("v");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(p.controller->currentViewport, v);
  EXPECT_EQ(p.controller->resources.viewports.count, 2);
  EXPECT_EQ(v->x, 1);
  EXPECT_EQ(v->height, 4);
  EXPECT_EQ(v->background[0], 0.1);
  EXPECT_EQ(v->background[3], 0.4);
  EXPECT_EQ(v->navigationRadius, 5);
  EXPECT_EQ(v->radiusMin, 0);
  EXPECT_EQ(v->radiusMax, 1.7976931348623157e308);
  EXPECT_EQ(v->navigationAzimuth, 1.5707963267948966);
  EXPECT_EQ(v->azimuthMin, -180 * 0.017453292519943295);
  EXPECT_EQ(v->azimuthMax, 180 * 0.017453292519943295);
  EXPECT_EQ(v->elevationMin, -1.7976931348623157e308);
  EXPECT_EQ(v->elevationMax, 1.7976931348623157e308);
  EXPECT_TRUE(p.controller->failures.empty());

  // Deleting the current viewport leaves none current; the other stays.
  ASSERT_EQ(p.run("v:delete()"), "");
  EXPECT_EQ(p.controller->currentViewport, nullptr);
  EXPECT_EQ(p.controller->resources.viewports.count, 1);
  EXPECT_EQ(p.proxy("v")->model, nullptr);
}

// A camera or mike whose deletion waits for the frame's purge (it went with
// its parent, or with its scene's clear) still has a proxy that scripts can
// hand to a viewport; the viewport must not keep it past the purge.
TEST(ViewportClass, ACameraOrMikeDeletedThisFrameIsRefusedAndNeverReadAfterThePurge) {
  const char* const deletions[] = {"holder:delete()", "s:clear()"};
  for (const char* deletion : deletions) {
    SCOPED_TRACE(deletion);
    Player p({});
    ASSERT_EQ(p.run(kSceneAndNear), "");
    ASSERT_EQ(p.run(std::string(R"(
      v = newViewport(0, 0, 1, 0.75)
      holder = newObject(s)
      c, m = newCamera(holder), newMike(holder)
      v:setCamera(c); v:setMike(m)
      )") + deletion + R"(
      assert(not c:exist() and not m:exist())
      assert(v:getCamera() == nil and v:getMike() == nil)
      v:setCamera(c); v:setMike(m))"),
              "");
    Viewport* v = p.model<Viewport>("v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->camera, nullptr);  // refused, as a dead one is
    EXPECT_EQ(v->mike, nullptr);
    p.controller->update();  // the purge frees both
    p.controller->update();
    EXPECT_EQ(p.run("assert(v:getCamera() == nil and v:getMike() == nil)"), "");
    EXPECT_EQ(v->camera, nullptr);
    EXPECT_EQ(v->mike, nullptr);
    EXPECT_TRUE(p.controller->failures.empty());
  }
}

// The events a viewport's CB_EVENT sees, and what its answer does.
struct EventRig {
  Player p{{}};
  EventRig(const char* answer) {
    p.controller->clientWidth = 1000;  // content 800 x 600 between bars
    p.controller->clientHeight = 600;
    std::string chunk = R"(
      engineSaw = 0
      function engineEvent() engineSaw = engineSaw + 1; return false end
      v = newViewport(0.25, 0.1, 0.5, 0.5)
      v:setCallback(CB_EVENT, function(self, kind, a, b)
        seen = {self = self, kind = kind, a = a, b = b}
        return )" + std::string(answer) +
                        R"(
      end))";
    EXPECT_EQ(p.run(chunk), "");
    p.setCallback(CB_EVENT, "engineEvent");
  }
  bool send(int32_t type, int32_t code = 0) {
    Event e;
    e.type = type;
    e.code = code;
    return p.controller->dispatchEvent(e);
  }
};

TEST(ViewportClass, EventsReachTheViewportFirstWithTheirValues) {
  EventRig r("true");
  EXPECT_TRUE(r.send(EVENT_KEY_DOWN, 65));
  EXPECT_EQ(r.p.run("assert(rawequal(seen.self, v) and seen.kind == 1 and seen.a == 65 and seen.b == 0)"), "");
  EXPECT_TRUE(r.send(EVENT_CLOSE));
  EXPECT_EQ(r.p.run("assert(seen.kind == EVENT_CLOSE and seen.a == 0 and seen.b == 0)"), "");

  // The wheel's point comes in client widths; the viewport sees its own units.
  Event zoom;
  zoom.type = EVENT_ZOOM;
  zoom.amount = -120;
  zoom.point[0] = 500.0 / 1000;
  zoom.point[1] = 200.0 / 1000;
  EXPECT_TRUE(r.p.controller->dispatchEvent(zoom));
  EXPECT_EQ(r.p.run("assert(seen.kind == EVENT_ZOOM and seen.a == -120 and math.abs(seen.b:x() - 0.5) < 1e-12 and "
                    "math.abs(seen.b:y() - 0.3) < 1e-12)"),
            "");
  EXPECT_EQ(r.p.global("engineSaw"), "0");  // each was handled here
  EXPECT_TRUE(r.p.controller->failures.empty());
}

TEST(ViewportClass, AFalseAnswerPassesTheEventOnAndANilAnswerIsReported) {
  EventRig passes("false");
  EXPECT_FALSE(passes.send(EVENT_KEY_UP, 32));
  EXPECT_EQ(passes.p.global("engineSaw"), "1");

  EventRig wrong("nil");
  EXPECT_FALSE(wrong.send(EVENT_KEY_DOWN, 32));
  ASSERT_EQ(wrong.p.controller->failures.size(), 1u);
  EXPECT_EQ(wrong.p.controller->failures[0], "Event function must return 1 boolean value.");
}

}  // namespace
