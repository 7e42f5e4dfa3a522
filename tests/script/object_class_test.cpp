// The object class: construction, the tree, states, the three reference
// frames, names, deletion, gone objects and the mouse callbacks.
#include <gtest/gtest.h>

#include <string>

#include "model/object.h"
#include "model/scene.h"
#include "script/lmp_object.h"
#include "script/lua_case.h"
#include "script_harness.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kObjectCases[] = {
    {"construction places a child at its parent", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3)); p:rotateAxis(AXIS_Z, 90)
      local c = newObject(p)
      assert(rawequal(c:getParent(), p) and rawequal(c:getScene(), s) and c:getType() == OBJECT_NONE)
      assert(c:getPosition() == p:getPosition() and vnear(c:getPosition(REF_LOCAL), 0, 0, 0))
      assert(newObject(s):getParent() == nil))",
     nullptr},
    {"a copy brings its subtree", R"(
      local src = newObject(s); src:setName('src'); local kid = newObject(src); kid:setName('kid')
      src:setPosition(v3(5, 0, 0))
      local p = newObject(s); p:setPosition(v3(0, 1, 0))
      local copy = newObject(p, src)
      assert(not rawequal(copy, src) and copy:getName() == 'src' and copy:getChild('KID') ~= nil)
      assert(rawequal(copy:getParent(), p) and copy:getPosition() == v3(5, 0, 0)))",
     nullptr},
    {"children by name, count, descendants and siblings", R"(
      local root = newObject(s); local a = newObject(root); local b = newObject(root); local g = newObject(b)
      a:setName('left'); b:setName('Right'); g:setName('grand')
      assert(rawequal(root:getChild(), a) and rawequal(root:getChild('RIGHT'), b) and root:getChild('none') == nil)
      assert(root:getChildrenCount() == 2 and rawequal(root:getDescendant('grand'), g))
      assert(root:getDescendant('GRAND') == nil and rawequal(a:getSibling(), b) and b:getSibling() == nil))",
     nullptr},
    {"states on the object and its subtree", R"(
      local o = newObject(s); local c = newObject(o)
      assert(o:getState() == STATE_VISIBLE and o:hasState(STATE_VISIBLE))
      o:setState(STATE_ACTIVE, SCOPE_OBJECT); assert(o:getState() == STATE_ACTIVE and c:getState() == STATE_VISIBLE)
      o:setState(STATE_MOVABLE); assert(c:getState() == STATE_MOVABLE)
      o:enableState(STATE_ACTIVE + STATE_BACKGROUND); assert(c:hasState(STATE_ACTIVE + STATE_BACKGROUND))
      o:disableState(STATE_ACTIVE, SCOPE_OBJECT); assert(not o:hasState(STATE_ACTIVE) and c:hasState(STATE_ACTIVE))
      o:toggleState(STATE_ALL); assert(o:getState() == STATE_ACTIVE + STATE_VISIBLE + STATE_CONSTRAIN_MOUSE)
      assert(not o:hasState(STATE_ALL)))",
     nullptr},
    {"the own frame is the identity", R"(
      local o = newObject(s); o:setPosition(v3(3, 4, 5)); o:scale(v3(2, 2, 2))
      assert(o:getPosition(REF_SELF) == v3() and o:getScale(REF_SELF) == v3(1, 1, 1))
      assert(o:getBasis(REF_SELF) == m33() and o:getAxis(AXIS_Y, REF_SELF) == v3(0, 1, 0))
      assert(o:getScale() == v3(2, 2, 2) and o:getAxis(AXIS_X) == v3(2, 0, 0)))",
     nullptr},
    {"rotation in degrees about a world axis", R"(
      local o = newObject(s); o:rotate(v3(0, 0, 1), 90)
      assert(vnear(o:getAxis(AXIS_X), 0, 1, 0) and vnear(o:getAxis(AXIS_Y), -1, 0, 0))
      o:rotate(v3(1, 0, 0), 90, REF_SELF)  -- about its own X, which is world Y now
      assert(vnear(o:getAxis(AXIS_Z), 1, 0, 0)))",
     nullptr},
    {"moves in the three frames under a turned parent", R"(
      local p = newObject(s); p:rotateAxis(AXIS_Z, 90); p:setPosition(v3(10, 0, 0))
      local o = newObject(p)
      o:translate(v3(1, 0, 0), REF_LOCAL); assert(vnear(o:getPosition(), 10, 1, 0))
      o:translate(v3(1, 0, 0)); assert(vnear(o:getPosition(), 11, 1, 0))
      o:rotateAxis(AXIS_Z, 90); o:translate(v3(1, 0, 0), REF_SELF); assert(vnear(o:getPosition(), 10, 1, 0))
      o:setPosition(v3(0, 2, 0), REF_LOCAL); assert(vnear(o:getPosition(), 8, 0, 0))
      o:setPosition(v3(1, 0, 0), REF_SELF); assert(vnear(o:getPosition(REF_LOCAL), 0, 3, 0))
      o:setPosition(v3(1, 1, 1)); assert(vnear(o:getPosition(), 1, 1, 1)))",
     nullptr},
    {"point and vector conversions", R"(
      local o = newObject(s); o:setPosition(v3(1, 2, 3)); o:rotateAxis(AXIS_Z, 90); o:scale(v3(2, 2, 2))
      local g = o:localToGlobalPoint(v3(1, 0, 0)); assert(vnear(g, 1, 4, 3))
      assert(vnear(o:localToGlobalVector(v3(1, 0, 0)), 0, 2, 0))
      assert(vnear(o:globalToLocalPoint(g), 1, 0, 0) and vnear(o:globalToLocalVector(v3(0, 2, 0)), 1, 0, 0)))",
     nullptr},
    {"bases in the frames", R"(
      local p = newObject(s); p:rotateAxis(AXIS_Z, 90); local o = newObject(p)
      local m = m33(); m:rotateAxis(AXIS_X, 90)
      o:setBasis(m); assert(vnear(o:getAxis(AXIS_Y), 0, 0, 1))
      o:setBasis(m33(), REF_LOCAL); assert(vnear(o:getAxis(AXIS_X), 0, 1, 0))
      o:setBasis(m, REF_SELF); assert(vnear(o:getAxis(AXIS_Y, REF_LOCAL), 0, 0, 1))
      o:setScale(v3(3, 3, 3), REF_LOCAL); assert(vnear(o:getScale(), 3, 3, 3)))",
     nullptr},
    {"interpolation with its shapes", R"(
      local o = newObject(s)
      o:interpolatePosition(v3(0, 0, 0), v3(2, 4, 6), 0.5, INTERPOL_SIN); assert(vnear(o:getPosition(), 1, 2, 3))
      o:interpolatePosition(v3(0, 0, 0), v3(2, 0, 0), 0.5, INTERPOL_BEGSIN)
      assert(near(o:getPosition():x(), 2 * (1 - math.sin(1.5 * math.pi / 2))))
      o:interpolatePosition(v3(0, 0, 0), v3(2, 0, 0), 2); assert(vnear(o:getPosition(), 4, 0, 0))
      local r = m33(); r:rotateAxis(AXIS_Z, 90)
      o:interpolateBasis(m33(), r, 0.5); assert(vnear(o:getAxis(AXIS_X), math.sqrt(0.5), math.sqrt(0.5), 0))
      o:interpolateBasis(m33(), r, 1, INTERPOL_ENDSIN); assert(vnear(o:getAxis(AXIS_X), 0, 1, 0)))",
     nullptr},
    {"names", R"(
      local o = newObject(s); assert(o:getName() == nil and select('#', o:getName()) == 0)
      o:setName('box'); assert(o:getName() == 'box'); o:setName(7); assert(o:getName() == '7'))",
     nullptr},
    {"re-parenting keeps or resets the placement", R"(
      local a = newObject(s); a:setPosition(v3(5, 0, 0)); local b = newObject(s); b:setPosition(v3(0, 5, 0))
      local o = newObject(a); o:setPosition(v3(6, 0, 0)); local kid = newObject(o)
      o:setParent(b); assert(rawequal(o:getParent(), b) and vnear(o:getPosition(), 6, 0, 0))
      assert(a:getChildrenCount() == 0 and o:isDescendant(b) and not o:isDescendant(a) and not o:isDescendant(o))
      assert(kid:isDescendant(b) and not b:isDescendant(kid) and not o:isDescendant('x'))
      o:setParent(nil)  -- a root placed at its local placement; its child follows
      assert(o:getParent() == nil and vnear(o:getPosition(), 6, -5, 0) and vnear(kid:getPosition(), 6, -5, 0))
      assert(b:getChildrenCount() == 0))",
     nullptr},
    {"a link that would make a cycle changes nothing", R"(
      local a = newObject(s); local b = newObject(a); local c = newObject(b)
      a:setParent(c); a:setParent(a)
      assert(a:getParent() == nil and rawequal(c:getParent(), b) and a:getChildrenCount() == 1))",
     nullptr},
    {"a parent in another scene is refused", R"(
      local other = newObject(newScene()); local a = newObject(s); local o = newObject(a)
      o:setParent(other)
      assert(rawequal(o:getParent(), a) and other:getChildrenCount() == 0 and a:getChildrenCount() == 1))",
     nullptr},
    {"bounding box and max mouse move", R"(
      local o = newObject(s); local b = o:getBoundingBox(); assert(#b == 6 and b[1] == 0 and b[6] == 0)
      -- every object but a text answers six zeros, a mesh too (not its box)
      for _, x in ipairs({o, newMesh(s), newAnimatedMesh(s), newLocator(s)}) do
        local box = x:getBoundingBox(); assert(#box == 6)
        for i = 1, 6 do assert(box[i] == 0) end
      end
      o:setMaxMouseMove(3))",
     nullptr},
    {"delete: the proxy stays, the object is gone", R"(
      local o = newObject(s); local c = newObject(o)
      o:delete(); assert(not o:exist() and not c:exist()); o:delete()
      assert(o:getPosition() == nil and o:getName() == nil and o:getSibling() == nil))",
     nullptr},
    {"user data", R"(
      local o = newObject(s); assert(select('#', o:getUserData()) == 0)
      o:setUserData({1}); o:setUserData('x'); assert(o:getUserData() == 'x'))",
     nullptr},
};

TEST(ObjectClass, Methods) { scripttest::expectCasesInFreshPlayers(kObjectCases, kSceneAndNear); }

TEST(ObjectClass, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newObject(s):setScale(v3(1, 1, 1), REF_SELF)", "Invalid reference ID"},
      {"newObject(s):getPosition(7)", "Invalid reference ID"},
      {"newObject(s):translate(v3(), 0)", "Invalid reference ID"},
      {"newObject(s):getAxis(4, 9)", "Invalid axis ID"},
      {"newObject(s):rotateAxis(0, 90)", "Invalid axis ID"},
      {"newObject(s):setName({})", "Invalid type (table) for argument #1, <S> type argument(s) expected",
       2},  // the parser's report, then setName's own
      {"newObject(s):getBasis('x')", "Too much arguments, <|I> argument(s) expected"},
      {"newObject(s):rotate(v3(0, 0, 1))", "Not enough arguments, <VN|I> argument(s) expected"},
      {"newObject(s, newObject(s), 3)", "Too much arguments for newObject"},
      {"local o = newObject(s); o:delete(); newObject(o)", "Unable to retreive Scene"},
  };
  scripttest::expectUsageReports(cases, "s = newScene()");
}

// setName(nil) clears the name, though the parser has reported it; any
// other value is a wrong usage.
TEST(ObjectClass, SetNameOfNil) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); o = newObject(s); o:setName('x'); o:setName(nil); n = o:getName()"), "");
  EXPECT_EQ(p.global("n"), "nil");
  ASSERT_EQ(p.controller->failures.size(), 1u);
  Player q({});
  ASSERT_EQ(q.run("s = newScene(); o = newObject(s); o:setName(true)"), "");
  ASSERT_EQ(q.controller->failures.size(), 2u);
  EXPECT_NE(q.controller->failures[1].find("Wrong usage of setName"), std::string::npos);
}

// An object whose model is gone tolerates every method.
TEST(ObjectClass, GoneObjectToleratesEveryMethod) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); o = newObject(s); other = newObject(s)"), "");
  MDL_Object* object = p.model<MDL_Object>("o");
  object->pendingDelete = 1;
  object->scene->purgeDeleted();
  ASSERT_EQ(p.run(R"(
    local args = {
      getChild = {'x'}, getDescendant = {'x'}, getPosition = {REF_LOCAL}, getBasis = {REF_LOCAL},
      getScale = {REF_LOCAL}, getAxis = {AXIS_X}, rotate = {v3(0, 0, 1), 90}, rotateAxis = {AXIS_Z, 90},
      setScale = {v3(1, 1, 1)}, scale = {v3(1, 1, 1)}, setCallback = {CB_MOVED, print},
      setPosition = {v3()}, setBasis = {m33()}, setUserData = {1}, translate = {v3()},
      interpolateBasis = {m33(), m33(), 0.5}, interpolatePosition = {v3(), v3(), 0.5},
      localToGlobalPoint = {v3()}, localToGlobalVector = {v3()}, globalToLocalPoint = {v3()},
      globalToLocalVector = {v3()}, setMaxMouseMove = {1}, setName = {'n'}, setState = {1}, hasState = {1},
      enableState = {1}, disableState = {1}, toggleState = {1}, setParent = {other}, isDescendant = {other},
    }
    local names = {'delete', 'getBoundingBox', 'getChild', 'getChildrenCount', 'getDescendant', 'getParent',
      'getScene', 'getPosition', 'getBasis', 'getScale', 'getSibling', 'getUserData', 'getAxis', 'rotate',
      'rotateAxis', 'setScale', 'scale', 'setCallback', 'setPosition', 'setBasis', 'setUserData', 'translate',
      'interpolateBasis', 'interpolatePosition', 'localToGlobalPoint', 'localToGlobalVector',
      'globalToLocalPoint', 'globalToLocalVector', 'setMaxMouseMove', 'getType', 'getName', 'setName',
      'exist', 'getState', 'setState', 'hasState', 'enableState', 'disableState', 'toggleState', 'setParent',
      'isDescendant'}
    assert(#names == 41)
    for _, m in ipairs(names) do
      assert(type(newObject[m]) == 'function', m)
      local r = table.pack(o[m](o, unpack(args[m] or {})))
      if m == 'exist' then assert(r.n == 1 and r[1] == false) else assert(r.n == 0, m) end
    end
    assert(other:getParent() == nil)
  )"),
            "");
  EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
}

TEST(ObjectClass, MouseCallbacksReachTheScript) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    s = newScene(); o = newObject(s); hit = newObject(o)
    log = {}
    o:setCallback(CB_MOUSE_DOWN, function(self, what, point)
      log[#log + 1] = table.concat({'down', tostring(rawequal(self, o)), tostring(rawequal(what, hit)), tostring(point)}, ' ')
    end)
    o:setCallback(CB_MOVED, function(...) log[#log + 1] = 'moved ' .. select('#', ...) end)
    o:setCallback(42, print)
  )"),
            "");
  MDL_Object* object = p.model<MDL_Object>("o");
  MDL_Object* hit = p.model<MDL_Object>("hit");
  Vec3 point(1, 2, 3);
  EXPECT_TRUE(LMP_fireCallback(object->proxy, p.engine, CB_MOUSE_DOWN, hit, &point));
  EXPECT_TRUE(LMP_fireCallback(object->proxy, p.engine, CB_MOVED));
  EXPECT_FALSE(LMP_fireCallback(object->proxy, p.engine, CB_MOUSE_UP, hit, &point));  // none set
  EXPECT_FALSE(LMP_fireCallback(hit->proxy, p.engine, CB_MOUSE_DOWN, hit, &point));   // no bubbling here
  ASSERT_EQ(p.run("result = table.concat(log, '|')"), "");
  EXPECT_EQ(p.global("result"), "down true true v3(1,2,3)|moved 1");
  EXPECT_TRUE(p.controller->failures.empty());

  ASSERT_EQ(p.run("o:setCallback(CB_MECHA, function() end)"), "");
  EXPECT_FALSE(LMP_fireCallback(object->proxy, p.engine, CB_MECHA));
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_EQ(p.controller->failures[0], "Unhandled object callback");
}

// A models-set object belongs to no scene: it cannot parent a new object.
TEST(ObjectClass, ParentOutsideAnySceneIsRefused) {
  Player p({});
  MDL_Object loose;
  lua_pushcfunction(p.L,
                    [](lua_State* L) { return LMP_iPushProxy(L, static_cast<MDL_Object*>(lua_touserdata(L, 1))); });
  lua_pushlightuserdata(p.L, &loose);
  ASSERT_EQ(lua_pcall(p.L, 1, 1, 0), LUA_OK);
  lua_setglobal(p.L, "loose");
  ASSERT_EQ(p.run("child = newObject(loose)"), "");
  EXPECT_EQ(p.global("child"), "nil");
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("Unable to retreive Scene"), std::string::npos);
  ASSERT_EQ(p.run("loose = nil; collectgarbage()"), "");
}

}  // namespace

// Bodies made and deleted with a user-data table and a callback each give
// their registry references back: the Lua heap stays where it started.
TEST(ObjectUserData, ChurnOfBodiesWithUserDataAndCallbacksLeavesTheHeapFlat) {
  scripttest::Player p({});
  ASSERT_EQ(
      p.run("s = newScene() "
            "function make(i) "
            "  local b = newRigidBody(s) "
            "  b:setUserData({i, tostring(i)}) "
            "  b:setCallback(CB_MECHA, function() return i end) "
            "  return b "
            "end "
            "function churn(n) "
            "  for i = 1, n do "
            "    local b = make(i) "
            "    if i % 2 == 0 then b:delete() end "  // odd ones go with their scene's clear below
            "  end "
            "end "
            // The proxy cache is keyed by addresses, so where its last
            // rehash fell, and with it its size, varies from run to run.
            // Holding more bodies at once than a batch does grows it
            // (and the registry) to one size before each measure.
            "function hold(n) "
            "  local held = {} "
            "  for i = 1, n do held[i] = make(i) end "
            "  s:clear() "
            "end "
            "function heap() collectgarbage('collect') collectgarbage('collect') return collectgarbage('count') end"),
      "");
  auto batch = [&] {
    ASSERT_EQ(p.run("churn(1000) s:clear()"), "");
    p.controller->update();  // deleted objects are purged here
  };
  auto heap = [&] {
    EXPECT_EQ(p.run("hold(3000)"), "");
    p.controller->update();
    EXPECT_EQ(p.run("return heap()", 1), "");
    const double kb = lua_tonumber(p.L, -1);
    lua_pop(p.L, 1);
    return kb;
  };
  // The registry and the proxies' caches grow to their working size first.
  for (int i = 0; i < 5; ++i) batch();
  const double start = heap();
  for (int i = 0; i < 100; ++i) batch();
  const double end = heap();
  EXPECT_LT(end, start * 1.05) << start << " KB at the start";
}

// Every walk over the tree (placement, names, states, copies, deletion and
// the purge) copes with a chain far deeper than any stack, in time linear
// in its length.
TEST(ObjectTree, AMillionDeepChainIsMadeMovedCopiedAndDeleted) {
  Player p({});
  ASSERT_EQ(p.run(kSceneAndNear), "");
  ASSERT_EQ(p.run(R"(
    root = newObject(s)
    local o = root
    for i = 2, 1000000 do o = newObject(o) end
    o:setName('tip')
    tip = o
    root:setPosition(v3(1, 2, 3))
    assert(vnear(tip:getPosition(), 1, 2, 3))
    assert(rawequal(root:getDescendant('tip'), tip))
    root:disableState(STATE_VISIBLE)
    assert(not tip:hasState(STATE_VISIBLE))
    copy = newObject(s, root)
    assert(copy:getParent() == nil and vnear(copy:getDescendant('tip'):getPosition(), 1, 2, 3))
    root:delete()
  )"),
            "");
  p.controller->update();
  ASSERT_EQ(p.run(R"(
    holder = newObject(s)
    local under = newObject(holder, copy)
    copy:delete()
    holder:setPosition(v3(0, 0, 5))
    assert(vnear(under:getDescendant('tip'):getPosition(), 1, 2, 8))
    holder:delete()
  )"),
            "");
  p.controller->update();
  Scene* scene = p.model<Scene>("s");
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->objects.count, 0);
  EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
}
