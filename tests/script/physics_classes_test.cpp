// The rigid body and collision volume classes: constructors, every getter
// against its setter, waking rules, and contacts seen from a script.
#include <gtest/gtest.h>

#include <string>

#include "model/collision_volume.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "script/lmp_binder.h"
#include "script/lua_case.h"
#include "script_harness.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kCases[] = {
    {"defaults", R"(
      local b = newRigidBody(s)
      assert(b:getType() == OBJECT_RIGID_BODY and b:getMass() == 1 and b:getInertia() == v3(0.01, 0.01, 0.01))
      assert(b:getSpeed() == v3() and b:getForce() == v3() and b:getTorque() == v3() and b:getAngularSpeed() == v3())
      local function single(a, b) return math.abs(a - b) < 1e-7 end  -- single-precision values widened
      assert(single(b:getElasticity(), 0.6) and single(b:getFriction(), 0.8) and single(b:getDamping(), 0.2))
      assert(single(b:getAngularDamping(), 0.2) and b:getStillDelay() == 2)
      assert(b:getStill() == false and b:getVerticesGroundCollision() == false))",
     nullptr},
    {"getters answer what the setters stored", R"(
      local b = newRigidBody(s)
      b:setSpeed(v3(1, 2, 3)); assert(b:getSpeed() == v3(1, 2, 3))
      b:setForce(v3(0, 4, 0)); assert(b:getForce() == v3(0, 4, 0))
      b:setTorque(v3(0, 0, 5)); assert(b:getTorque() == v3(0, 0, 5))
      b:setInertia(v3(2, 4, 8)); assert(b:getInertia() == v3(2, 4, 8))
      b:setAngularSpeed(v3(0.5, -1, 2)); assert(vnear(b:getAngularSpeed(), 0.5, -1, 2))
      b:setMass(4); assert(b:getMass() == 4)
      b:setElasticity(0.25); b:setFriction(0.5); b:setDamping(0); b:setAngularDamping(1.5); b:setStillDelay(-1)
      assert(b:getElasticity() == 0.25 and b:getFriction() == 0.5 and b:getDamping() == 0)
      assert(b:getAngularDamping() == 1.5 and b:getStillDelay() == -1)
      b:setStill(true); assert(b:getStill()); b:setStill(false); assert(not b:getStill())
      b:setVerticesGroundCollision(true); assert(b:getVerticesGroundCollision()))",
     nullptr},
    {"a mass of 0 is immovable and infinitely heavy", R"(
      local b = newRigidBody(s); b:setMass(0)
      assert(b:getMass() == math.huge)
      b:setInertia(v3(0, 1, 0)); assert(b:getInertia():x() == math.huge and b:getInertia():y() == 1))",
     nullptr},
    {"two-vector setSpeed moves the given body point at that speed", R"(
      local b = newRigidBody(s); b:setPosition(v3(1, 1, 1))
      b:setSpeed(v3(0, 3, 0), v3(1, 0, 0))
      local w = b:getAngularSpeed(); local v = b:getSpeed()
      local r = v3(1, 0, 0)
      local pv = v3(w:y() * r:z() - w:z() * r:y(), w:z() * r:x() - w:x() * r:z(), w:x() * r:y() - w:y() * r:x()) + v
      assert(vnear(pv, 0, 3, 0)))",
     nullptr},
    {"a parent only names the scene: the body is a root", R"(
      local p = newObject(s); p:setPosition(v3(4, 0, 0))
      local b = newRigidBody(p)
      assert(b:getParent() == nil and rawequal(b:getScene(), s) and b:getPosition() == v3()))",
     nullptr},
    {"a source object is copied inside the body, keeping its scale", R"(
      local src = newObject(s); src:setName('shape'); newObject(src):setName('inner')
      src:setPosition(v3(1, 2, 3)); src:rotateAxis(AXIS_Z, 90); src:scale(v3(2, 3, 4))
      local b = newRigidBody(s, src)
      assert(vnear(b:getPosition(), 1, 2, 3) and vnear(b:getScale(), 1, 1, 1))
      assert(vnear(b:getAxis(AXIS_X), 0, 1, 0) and vnear(b:getAxis(AXIS_Y), -1, 0, 0))
      assert(b:getChildrenCount() == 1)
      local copy = b:getChild()
      assert(not rawequal(copy, src) and copy:getName() == 'shape' and copy:getChild('inner') ~= nil)
      assert(vnear(copy:getPosition(REF_LOCAL), 0, 0, 0) and vnear(copy:getScale(REF_LOCAL), 2, 3, 4))
      assert(vnear(copy:getPosition(), 1, 2, 3) and vnear(copy:getAxis(AXIS_X), 0, 2, 0))
      assert(src:getParent() == nil and vnear(src:getPosition(), 1, 2, 3)))",
     nullptr},
    {"a second argument that is no object is ignored", R"(
      local b = newRigidBody(s, 42); assert(b:getChildrenCount() == 0 and b:getMass() == 1))",
     nullptr},
    {"a new volume is a sphere on layer 1 with every mask bit", R"(
      local v = newCollisionVolume(s)
      assert(v:getType() == OBJECT_COLLISION_VOLUME and v:getCollisionLayer() == 1 and v:getCollisionMask() == -1)
      v:setCollisionLayer(6); v:setCollisionMask(-2)
      assert(v:getCollisionLayer() == 6 and v:getCollisionMask() == -2))",
     nullptr},
    {"a volume under a parent takes its place and joins its children", R"(
      local b = newRigidBody(s); b:setPosition(v3(0, 0, 7))
      local v = newCollisionVolume(b)
      assert(rawequal(v:getParent(), b) and vnear(v:getPosition(), 0, 0, 7) and vnear(v:getPosition(REF_LOCAL), 0, 0, 0))
      v:setCollisionLayer(4)
      local copy = newCollisionVolume(s, v)
      assert(not rawequal(copy, v) and copy:getParent() == nil and copy:getCollisionLayer() == 4))",
     nullptr},
    {"a volume's source must be a volume", "newCollisionVolume(s, newObject(s))", "newCollisionVolume"},
};

TEST(PhysicsClasses, Methods) { scripttest::expectCasesInFreshPlayers(kCases, kSceneAndNear); }

TEST(PhysicsClasses, ScriptVolumesAreSpheres) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); o = newObject(s); o:scale(v3(2, 2, 2)); a = newCollisionVolume(s); b = "
                  "newCollisionVolume(o)"),
            "");
  for (const char* g : {"a", "b"}) EXPECT_EQ(p.model<MDL_CollisionVolume>(g)->shape, SHAPE_SPHERE);
  MDL_CollisionVolume* b = p.model<MDL_CollisionVolume>("b");
  b->updateSize();
  EXPECT_EQ(b->boundingRadius, 2.0);  // sized by the placement it took from its parent
}

TEST(PhysicsClasses, StillFlagAndTimerFollowTheWakingRules) {
  struct Case {
    const char* code;
    bool still;
    double timer;
  } cases[] = {
      {"b:setStill(false)", false, 0.0},       {"b:setStill(true)", true, 1.5},  // the timer is left alone
      {"b:setForce(v3(1, 0, 0))", false, 0.0}, {"b:setTorque(v3(1, 0, 0))", false, 0.0},
      {"b:setSpeed(v3(0, 0, 0))", false, 0.0}, {"b:setAngularSpeed(v3(0, 0, 0))", true, 1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Player p({});
    ASSERT_EQ(p.run("s = newScene(); b = newRigidBody(s)"), "");
    MDL_RigidBody* body = p.model<MDL_RigidBody>("b");
    ASSERT_NE(body, nullptr);
    body->still = 1;
    body->stillTimer = 1.5;
    ASSERT_EQ(p.run(c.code), "");
    EXPECT_EQ(body->still != 0, c.still);
    EXPECT_EQ(body->stillTimer, c.timer);
  }
}

TEST(PhysicsClasses, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newRigidBody(s, newObject(s), 3)", "Too much arguments for newRigidBody"},
      {"newCollisionVolume(s, newCollisionVolume(s), 3)", "Too much arguments for newCollisionVolume"},
      {"local o = newObject(s); o:delete(); newRigidBody(o)", "Unable to retreive Scene"},
      {"newRigidBody(s):setMass('x')", "Invalid type (string) for argument #1, <N> type argument(s) expected"},
      {"newRigidBody(s):setSpeed(v3(), v3(), v3())", "Too much arguments, <V|V> argument(s) expected"},
      {"newCollisionVolume(s):setCollisionMask()", "Not enough arguments, <I> argument(s) expected"},
  };
  scripttest::expectUsageReports(cases, "s = newScene()");
}

TEST(PhysicsClasses, GoneBodyAndVolumeTolerateEveryMethod) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); b = newRigidBody(s); v = newCollisionVolume(s)"), "");
  for (const char* g : {"b", "v"}) p.model<MDL_Object>(g)->pendingDelete = 1;
  p.model<MDL_Object>("b")->scene->purgeDeleted();
  ASSERT_EQ(p.run(R"(
    local vec = {v3(1, 0, 0)}
    local args = {setSpeed = vec, setForce = vec, setTorque = vec, setAngularSpeed = vec, setMass = {1},
      setInertia = vec, setElasticity = {1}, setFriction = {1}, setDamping = {1}, setAngularDamping = {1},
      setStillDelay = {1}, setStill = {true}, setVerticesGroundCollision = {true}, computeMassAndInertia = {1}}
    for _, name in ipairs({'getSpeed', 'setSpeed', 'getForce', 'setForce', 'getTorque', 'setTorque',
        'getAngularSpeed', 'setAngularSpeed', 'getMass', 'setMass', 'getInertia', 'setInertia',
        'getElasticity', 'setElasticity', 'getFriction', 'setFriction', 'getDamping', 'setDamping',
        'getAngularDamping', 'setAngularDamping', 'getStillDelay', 'setStillDelay', 'getStill', 'setStill',
        'getVerticesGroundCollision', 'setVerticesGroundCollision', 'computeMassAndInertia'}) do
      assert(select('#', b[name](b, table.unpack(args[name] or {}))) == 0, name)
    end
    for _, name in ipairs({'getCollisionLayer', 'getCollisionMask'}) do assert(select('#', v[name](v)) == 0) end
    v:setCollisionLayer(1); v:setCollisionMask(1)
  )"),
            "");
  EXPECT_TRUE(p.controller->failures.empty());
}

// A body built by the script falls onto the floor; its scene's callbacks see
// the body and volume as their own classes, and a false answer lets it sink.
TEST(PhysicsClasses, ScriptedContactsKeepOrDropTheBody) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep);
    Player p({});
    std::string code = R"(
      s = newScene(); b = newRigidBody(s); b:setPosition(v3(0, 0, 1))
      local v = newCollisionVolume(b); v:scale(v3(0.5, 0.5, 0.5))
      seen = 0
      s:setCallback(CB_PRE_COLLISION, function(scene, p, n, depth, body, volume, other, otherVolume)
        assert(rawequal(body, b) and rawequal(volume, v) and other == nil and otherVolume == nil)
        assert(n == v3(0, 0, 1) and depth > 0)
        seen = seen + 1
        return KEEP
      end)
    )";
    code.replace(code.find("KEEP"), 4, keep ? "true" : "false");
    ASSERT_EQ(p.run(code), "");
    Scene* scene = p.model<MDL_Object>("b")->scene;
    for (int i = 0; i < 1000; ++i) scene->step(p.engine, scene->integrationStep);
    ASSERT_EQ(p.run("z = b:getPosition():z(); assert(seen > 0)"), "");
    double z = std::stod(p.global("z"));
    if (keep) {
      EXPECT_NEAR(z, 0.5, 0.02);
    } else {
      EXPECT_LT(z, -2.0);
    }
    EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
  }
}

}  // namespace
