// The lamp, camera and mike classes: constructors (new, under a parent, as a
// copy), every getter against its setter, and the clamping rules.
#include <gtest/gtest.h>

#include <cmath>

#include "model/camera.h"
#include "model/lamp.h"
#include "script_harness.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kCases[] = {
    {"a new lamp has the lamp defaults", R"(
      local l = newLamp(s)
      assert(l:getType() == OBJECT_LAMP and tostring(l):find('^newLamp %(') and getmetatable(l) == newLamp)
      assert(l:getColor() == color(0, 0, 0, 1) and l:getAmbientColor() == color(0, 0, 0, 1))
      assert(l:getShadowCoeff() == 0.5 and l:getEnergy() == 1 and l:getShadowDepth() == 30)
      assert(l:getShadow() == false and l:getOn() == true and l:getShadowType() == SHADOW_2D)
      assert(l:getSpotSize() == nil and l:getSpotExponent() == nil)  -- not a spot lamp
      assert(l:getPosition() == v3() and l:getParent() == nil))",
     nullptr},
    {"lamp setters store, energy held within 0 to 100", R"(
      local l = newLamp(s)
      l:setShadow(true); l:setOn(false); l:setShadowType(7); l:setShadowDepth(12); l:setShadowCoeff(0.25)
      l:setColor(color(1, 0.5, 0.25, 0.75)); l:setAmbientColor(color(0.1, 0.2, 0.3, 0.4))
      assert(l:getShadow() == true and l:getOn() == false and l:getShadowType() == 7)
      assert(l:getShadowDepth() == 12 and l:getShadowCoeff() == 0.25)
      assert(l:getColor() == color(1, 0.5, 0.25, 0.75) and l:getAmbientColor() == color(0.1, 0.2, 0.3, 0.4))
      l:setEnergy(150); assert(l:getEnergy() == 100)
      l:setEnergy(-1); assert(l:getEnergy() == 0)
      l:setEnergy(0 / 0); assert(l:getEnergy() == 0)
      l:setEnergy(42.5); assert(l:getEnergy() == 42.5)
      local c = l:getColor(); c:setR(0); assert(l:getColor() == color(1, 0.5, 0.25, 0.75)))",
     nullptr},
    {"a point lamp ignores the spot setters", R"(
      local l = newLamp(s)
      l:setSpotSize(120); l:setSpotExponent(3)
      assert(l:getSpotSize() == nil and l:getSpotExponent() == nil))",
     nullptr},
    {"a new camera sees 49.14 degrees from 1 to 100", R"(
      local c = newCamera(s)
      assert(c:getType() == OBJECT_CAMERA and tostring(c):find('^newCamera %('))
      assert(math.abs(c:getFOV() - 49.14) < 1e-6 and c:getNearZ() == 1 and c:getFarZ() == 100)
      c:setFOV(90); assert(c:getFOV() == 90)
      c:setNearZ(0.5); c:setFarZ(1000); assert(c:getNearZ() == 0.5 and c:getFarZ() == 1000))",
     nullptr},
    {"a new mike hears at gain 1 and is on", R"(
      local m = newMike(s)
      assert(m:getType() == OBJECT_MIKE and tostring(m):find('^newMike %(') and m:getGain() == 1 and m:getOn() == true)
      m:setGain(0.25); m:setOn(false); assert(m:getGain() == 0.25 and m:getOn() == false))",
     nullptr},
    {"under a parent each takes its place and joins its children", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3)); p:rotateAxis(AXIS_Z, 90)
      for _, make in ipairs({newLamp, newCamera, newMike}) do
        local o = make(p)
        assert(rawequal(o:getParent(), p) and vnear(o:getPosition(), 1, 2, 3) and vnear(o:getPosition(REF_LOCAL), 0, 0, 0))
        assert(vnear(o:getAxis(AXIS_X), 0, 1, 0) and rawequal(o:getScene(), s))
      end
      assert(p:getChildrenCount() == 3)
      local first = p:getChild(); assert(first:getEnergy() == 1)  -- pushed as a lamp
      assert(first:getSibling():getFOV() ~= nil and first:getSibling():getSibling():getGain() == 1))",
     nullptr},
    {"lamps and cameras are copied with their settings, mikes not at all", R"(
      local l = newLamp(s); l:setEnergy(7); l:setName('key'); newObject(l):setName('inner')
      local lc = newLamp(s, l)
      assert(not rawequal(lc, l) and lc:getEnergy() == 7 and lc:getName() == 'key' and lc:getChild('inner') ~= nil)
      local c = newCamera(s); c:setFOV(30); c:setFarZ(7)
      local cc = newCamera(s, c)
      assert(math.abs(cc:getFOV() - 30) < 1e-12 and cc:getFarZ() == 7)
      local mc = newMike(s, newMike(s))
      assert(mc:exist() == false and mc:getGain() == nil)
      mc:setGain(2); mc:setOn(true))",
     nullptr},
    {"a source of another class raises naming the class", "newLamp(s, newCamera(s))", "newLamp"},
    {"a camera source must be a camera", "newCamera(s, 5)", "newCamera"},
    {"a mike source must be a mike", "newMike(s, newLamp(s))", "newMike"},
    {"no scene nor parent raises naming newScene", "newCamera(42)", "newScene"},
};

TEST(LampCameraMike, Cases) { scripttest::expectCasesInFreshPlayers(kCases, kSceneAndNear); }

TEST(LampCameraMike, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"local o = newObject(s); o:delete(); newLamp(o)", "Unable to retreive Scene"},
      {"newLamp(s):setEnergy('x')", "Invalid type (string) for argument #1, <N> type argument(s) expected"},
      {"newCamera(s):setFOV()", "Not enough arguments, <N> argument(s) expected"},
      {"newMike(s):setOn(1)", "Invalid type (number) for argument #1, <B> type argument(s) expected"},
  };
  scripttest::expectUsageReports(cases, kSceneAndNear);
}

TEST(LampCameraMike, SpotLampsClampTheirSizeAndExponent) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "l = newLamp(s)"), "");
  MDL_Lamp* lamp = p.model<MDL_Lamp>("l");
  ASSERT_NE(lamp, nullptr);
  lamp->kind = LAMP_SPOT;  // only a models set makes spot lamps
  ASSERT_EQ(p.run(R"(
    assert(l:getSpotSize() == 45 and l:getSpotExponent() == 42)
    l:setSpotSize(120); assert(l:getSpotSize() == 90)
    l:setSpotSize(-3); assert(l:getSpotSize() == 0)
    l:setSpotSize(12.5); assert(l:getSpotSize() == 12.5)
    l:setSpotExponent(200); assert(l:getSpotExponent() == 128)
    l:setSpotExponent(-4); assert(l:getSpotExponent() == 0)
    l:setSpotExponent(2.5); assert(l:getSpotExponent() == 2)  -- an integer, rounded half to even
  )"),
            "");
  EXPECT_EQ(lamp->spotExponent, 2.0);
  EXPECT_TRUE(p.controller->failures.empty());
}

TEST(LampCameraMike, FieldOfViewIsStoredInRadiansWithItsFactor) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "c = newCamera(s); d = newCamera(s); d:setFOV(90)"), "");
  const MDL_Camera* fresh = p.model<MDL_Camera>("c");
  const MDL_Camera* wide = p.model<MDL_Camera>("d");
  ASSERT_NE(fresh, nullptr);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(fresh->angle, 0.8576547837773691);
  EXPECT_EQ(fresh->invTanHalfAngle, 1.0 / std::tan(0.8576547837773691 / 2));
  EXPECT_EQ(wide->angle, 1.5707963267948966);
  EXPECT_NEAR(wide->invTanHalfAngle, 1.0, 1e-15);
}

}  // namespace
