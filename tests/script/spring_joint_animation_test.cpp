// The spring, joint, animation and animation-data classes: records made by
// scripts, points and axes in both frames, and animations played and sought.
#include <gtest/gtest.h>

#include "model/animation.h"
#include "model/joint.h"
#include "model/mesh_data.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "model/spring.h"
#include "script/lmp_animation_data.h"
#include "script/lua_case.h"
#include "script_harness.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kSpringJointCases[] = {
    {"a spring with one body keeps the other point in world coordinates", R"(
      local b = newRigidBody(s); b:setPosition(v3(1, 0, 0))
      local sp = newSpring(nil, v3(0, 0, 1), b, v3(1, 2, 0))
      assert(sp:getStiffness() == 1 and sp:getDamping() == 0.5 and sp:getRestPosition() == 0)
      assert(sp:getPointA() == v3(0, 0, 1) and sp:getPointA(REF_LOCAL) == v3(0, 0, 1))
      assert(sp:getPointB() == v3(1, 2, 0) and sp:getPointB(REF_LOCAL) == v3(0, 2, 0))
      b:setPosition(v3(5, 0, 0))
      assert(sp:getPointB() == v3(5, 2, 0)))",
     nullptr},
    {"spring setters", R"(
      local b = newRigidBody(s)
      local sp = newSpring(b, v3(), nil, v3(0, 0, 3))
      sp:setStiffness(20); sp:setDamping(2); sp:setRestPosition(1.5)
      assert(sp:getStiffness() == 20 and sp:getDamping() == 2 and sp:getRestPosition() == 1.5)
      b:setPosition(v3(0, 1, 0))
      sp:setPointA(v3(1, 1, 0)); assert(sp:getPointA(REF_LOCAL) == v3(1, 0, 0))
      sp:setPointA(v3(0, 0, 2), REF_LOCAL); assert(sp:getPointA() == v3(0, 1, 2)))",
     nullptr},
    {"frames of a joint on a turned body: axes take no translation", R"(
      local a = newRigidBody(s); a:setPosition(v3(0, 0, 4)); a:rotateAxis(AXIS_Z, 90)
      local b = newRigidBody(s)
      local j = newJoint(JOINT_AXIS_AXIS, a, v3(1, 0, 4), v3(1, 0, 0), b, v3(), v3(0, 0, 1))
      assert(vnear(j:getAxisA(), 1, 0, 0) and vnear(j:getAxisA(REF_LOCAL), 0, -1, 0))
      assert(vnear(j:getPointA(), 1, 0, 4) and vnear(j:getPointA(REF_LOCAL), 0, -1, 0))
      assert(vnear(j:getAxisB(), 0, 0, 1))
      j:setAxisA(v3(0, 1, 0)); assert(vnear(j:getAxisA(REF_LOCAL), 1, 0, 0))
      j:setPointB(v3(2, 0, 0), REF_LOCAL); b:setPosition(v3(0, 3, 0)); assert(vnear(j:getPointB(), 2, 3, 0)))",
     nullptr},
};

TEST(SpringJointClasses, MadeByScriptsHoldingTheirBodies) {
  scripttest::expectCasesInFreshPlayers(kSpringJointCases, kSceneAndNear);
}

TEST(SpringJointClasses, RecordsLandInTheBodiesScene) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + R"(
    a = newRigidBody(s); b = newRigidBody(s)
    sp = newSpring(a, v3(0, 0, 1), b, v3())
    j = newJoint(7, nil, v3(1, 2, 3), v3(0, 1, 0), b, v3(), v3()))"),
            "");
  Scene* scene = p.model<Scene>("s");
  ASSERT_EQ(scene->springs.count, 1);
  ASSERT_EQ(scene->joints.count, 1);
  Spring* spring = scene->springs[0];
  EXPECT_EQ(p.model<Spring>("sp"), spring);
  EXPECT_EQ(spring->bodyA, p.model<MDL_RigidBody>("a"));
  EXPECT_EQ(spring->bodyB, p.model<MDL_RigidBody>("b"));
  Joint* joint = scene->joints[0];
  EXPECT_EQ(joint->kind, 7);  // stored as given
  EXPECT_EQ(joint->bodyA, nullptr);
  EXPECT_EQ(joint->pointA, Vec3(1, 2, 3));
  EXPECT_EQ(joint->axisA, Vec3(0, 1, 0));
  EXPECT_TRUE(p.controller->failures.empty());
  // Deleting a body removes the records that hold it; the proxies outlive them.
  ASSERT_EQ(p.run("b:delete()"), "");
  scene->purgeDeleted();
  EXPECT_EQ(scene->springs.count, 0);
  EXPECT_EQ(scene->joints.count, 0);
  ASSERT_EQ(p.run("assert(sp:getStiffness() == nil and j:getPointA() == nil)"), "");
}

TEST(SpringJointClasses, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newSpring(nil, v3(), nil, v3())", "At least one rigid body expected"},
      {"newSpring(newRigidBody(s), v3(), newRigidBody(newScene()), v3())",
       "Spring rigid bodies must belong to the same scene"},
      {"newJoint(0, newRigidBody(s), v3(), v3(), newRigidBody(newScene()), v3(), v3())",
       "Joint rigid bodies must belong to the same scene"},
      {"newSpring(newRigidBody(s), v3(), nil, v3(), REF_SELF)", "Invalid reference ID"},
      {"newJoint(0, newRigidBody(s), v3(), v3(), nil, v3(), v3(), 3, 3, 0, 1)", "Invalid reference ID", 2},
      {"newSpring(newRigidBody(s), v3(), nil, v3()):getPointA(REF_SELF)", "Invalid reference ID"},
      {"newSpring(newRigidBody(s), v3(), nil, v3()):setPointB(v3(), 9)", "Invalid reference ID"},
      {"newSpring(newRigidBody(s), v3(), nil, v3()):setStiffness('x')",
       "Invalid type (string) for argument #1, <N> type argument(s) expected"},
  };
  scripttest::expectUsageReports(cases, "s = newScene()");
}

// Keys along x at times 0, 1 and 2, handed to the script as `keys`.
struct KeyedPlayer {
  AnimationData data;
  Player p{{}};

  KeyedPlayer() {
    data.allocateKeys(3);
    const double x[3] = {0, 1, 3};
    for (int i = 0; i < 3; ++i) {
      data.times[i] = i;
      data.locations[i] = Vec3(x[i], 0, 0);
      data.scales[i] = Vec3(1, 1, 1);
    }
    LMP_pushAnimationData(p.L, &data);
    lua_setglobal(p.L, "keys");
  }
};

TEST(AnimationClass, PlaysSeeksAndStops) {
  KeyedPlayer k;
  ASSERT_EQ(k.p.run(std::string(kSceneAndNear) + R"(
    o = newObject(s)
    a = newAnimation(keys, o)
    assert(a:isPlaying() and a:getTime() == 0 and a:getSpeed() == 1)
    assert(a:getDuration() == 3)  -- the sum of the key times 0 + 1 + 2
    a:seek(1.5)
    assert(vnear(o:getPosition(), 2.0625, 0, 0))  -- Catmull-Rom of 0, 1, 3, 3 at s = 0.5
    a:seek(0.1); assert(a:getTime() == 0.10000000149011612)
    a:pause(); assert(not a:isPlaying())
    a:play(); assert(a:isPlaying())
    a:setSpeed(-0.5); assert(a:getSpeed() == -0.5))"),
            "");
  Scene* scene = k.p.model<Scene>("s");
  ASSERT_EQ(scene->animations.count, 1);
  Animation* anim = scene->animations[0];
  EXPECT_EQ(anim, k.p.model<Animation>("a"));
  EXPECT_EQ(anim->target, k.p.model<MDL_Object>("o"));
  EXPECT_EQ(anim->data, &k.data);
  EXPECT_TRUE(k.p.controller->failures.empty());

  // Seeking past the duration stops it; seeking back and playing loops it.
  ASSERT_EQ(k.p.run("a:seek(4); assert(not a:isPlaying()); a:seek(0); a:play(); assert(a:isPlaying())"), "");
  // Deleting the target takes the animation with it; the proxy stays harmless.
  ASSERT_EQ(k.p.run("o:delete()"), "");
  scene->purgeDeleted();
  EXPECT_EQ(scene->animations.count, 0);
  ASSERT_EQ(k.p.run("assert(a:isPlaying() == nil and a:getTime() == nil); a:play(); a:seek(1)"), "");
}

TEST(AnimationClass, NoRecordWithoutDataOrScene) {
  KeyedPlayer k;
  ASSERT_EQ(k.p.run(std::string(kSceneAndNear) + R"(
    local o = newObject(s)
    local empty = newAnimation(newAnimationData(), o)
    assert(empty:getTime() == nil)
    local gone = newObject(s); gone:delete()
    assert(newAnimation(keys, gone):getTime() == nil))"),
            "");
  EXPECT_EQ(k.p.model<Scene>("s")->animations.count, 0);
  EXPECT_TRUE(k.p.controller->failures.empty());
  // The data argument must be animation data.
  EXPECT_NE(k.p.run("newAnimation(newObject(s), newObject(s))").find("newAnimationData"), std::string::npos);
}

TEST(AnimationClass, PlayWithArgumentsIsReportedAndPlays) {
  KeyedPlayer k;
  ASSERT_EQ(k.p.run(std::string(kSceneAndNear) + "a = newAnimation(keys, newObject(s)); a:pause(); a:play(1)"), "");
  ASSERT_FALSE(k.p.controller->failures.empty());
  EXPECT_NE(k.p.controller->failures[0].find("Too much arguments, <> argument(s) expected"), std::string::npos);
  EXPECT_EQ(k.p.model<Animation>("a")->playing, 1);
}

}  // namespace
