// The class-binding template and proxies, seen from scripts: one userdata
// per proxy, counts, dead proxies, class checks and their error messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constructor_cases.h"
#include "model/object.h"
#include "model/scene.h"
#include "script/lmp_object.h"
#include "script/lmp_scene.h"
#include "script/lua_case.h"
#include "script_harness.h"

using scripttest::Player;

namespace {

TEST(Binding, OneUserdataPerProxyAndOneCountEach) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene('s'); o = newObject(s); o:setName('thing')\n"
                  "a = s:getObject('thing'); b = s:getObject('THING')\n"
                  "same = rawequal(a, b) and rawequal(a, o)"),
            "");
  EXPECT_EQ(p.global("same"), "true");
  LMP_Proxy* proxy = p.proxy("o");
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(proxy->refCount, 2);  // the object's link and the one userdata

  // Once the script lets go, the userdata is collected and the next push
  // makes a new one, back to two counts.
  ASSERT_EQ(p.run("a, b, o = nil, nil, nil; collectgarbage(); collectgarbage()"), "");
  EXPECT_EQ(proxy->refCount, 1);
  ASSERT_EQ(p.run("o = s:getObject('thing')"), "");
  EXPECT_EQ(p.proxy("o"), proxy);
  EXPECT_EQ(proxy->refCount, 2);
}

TEST(Binding, ProxyOutlivesItsModelUntilCollected) {
  Player p({});
  ASSERT_EQ(p.run("s = newScene(); o = newObject(s)"), "");
  LMP_Proxy* proxy = p.proxy("o");
  Scene* scene = static_cast<Scene*>(p.proxy("s")->model);
  MDL_Object* object = static_cast<MDL_Object*>(proxy->model);
  ASSERT_NE(object, nullptr);
  object->pendingDelete = 1;
  scene->purgeDeleted();  // the model dies first
  EXPECT_EQ(proxy->model, nullptr);
  EXPECT_EQ(proxy->refCount, 1);
  ASSERT_EQ(p.run("assert(o:exist() == false)"), "");
}

const LuaCase kClassCases[] = {
    {"text form names the class and address",
     "local s = newScene(); assert(tostring(s):match('^newScene %(0?x?%x+%)$'), tostring(s))", nullptr},
    {"metatable is the methods table", "assert(getmetatable(newScene()) == newScene)", nullptr},
    {"both constructor forms, methods table never passed on",
     "local a = newScene('one'); local b = newScene:new('two')\n"
     "local o = newObject(a); o:setParent(nil); assert(a ~= b and getmetatable(b) == newScene)",
     nullptr},
    {"new in dot syntax drops its first argument, even when there is none",
     "local s = newScene.new(); assert(getmetatable(s) == newScene); assert(newObject.new(5, s) ~= nil)", nullptr},
    {"method on another class names the expected class", "local o = newObject(newScene()); newScene.getGravity(o)",
     "bad argument #1 to 'getGravity' (newScene)"},
    {"bad self in method syntax", "local s = newScene(); local f = newScene.getGravity; f({})",
     "bad argument #1 to 'f' (newScene)"},
    {"constructor argument counted as written", "newObject(5)", "bad argument #1 to 'newObject' (newScene)"},
    {"constructor argument through new", "newObject:new(5)", "bad argument #1 to 'new' (newScene)"},
    {"method argument counted without self", "local s = newScene(); s:setGravity(1)",
     "bad argument #1 to 'setGravity' (v3 expected, got number)"},
    {"method argument in dot syntax counts self", "local s = newScene(); s.setGravity(s, 1)",
     "bad argument #2 to 'setGravity' (v3 expected, got number)"},
    {"copy source must be a plain object", "local s = newScene(); newObject(s, s)",
     "bad argument #2 to 'newObject' (newObject)"},
};

TEST(Binding, ClassesAndTheirErrors) { scripttest::expectCasesInFreshPlayers(kClassCases); }

TEST(Binding, PushOfAnUnknownTypeReportsAndPushesNothing) {
  Player p({});
  MDL_Object odd;
  odd.type = OBJECT_RTF_TEXT;
  int top = lua_gettop(p.L);
  lua_pushcfunction(p.L, [](lua_State* L) {
    MDL_Object* o = static_cast<MDL_Object*>(lua_touserdata(L, 1));
    lua_pushinteger(L, LMP_iPushProxy(L, o));
    return 1;
  });
  lua_pushlightuserdata(p.L, &odd);
  ASSERT_EQ(lua_pcall(p.L, 1, 1, 0), LUA_OK);
  EXPECT_EQ(lua_tointeger(p.L, -1), 0);
  lua_settop(p.L, top);
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_EQ(p.controller->failures[0], "LMP_iPushProxy -> Unknown object type");
  EXPECT_FALSE(odd.proxy);
}

// One argument more than a constructor takes: the report its kind of
// constructor makes, word for word, and the construction goes on as far as
// that report allows.
void expectSurplusReported(const scripttest::ConstructorCase& c) {
  SCOPED_TRACE(c.surplusCall);
  scripttest::ConstructorPlayer k;
  ASSERT_EQ(k.setup, "");
  ASSERT_TRUE(k.p.controller->failures.empty());
  ASSERT_EQ(k.p.run(std::string("r = ") + c.surplusCall + "\nassert(isA(r, '" + c.luaName + "'))"), "");
  const std::vector<std::string>& failures = k.p.controller->failures;
  if (*c.surplusReport) {
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].substr(failures[0].find("]:1: ") + 5), c.surplusReport);
  } else {
    EXPECT_TRUE(failures.empty()) << failures[0];
  }
  EXPECT_EQ(k.p.model("r") != nullptr, c.surplusMakesModel);
}

TEST(Binding, EveryConstructorReportsSurplusArguments) {
  for (const scripttest::ConstructorCase& c : scripttest::kConstructorCases) expectSurplusReported(c);
}

}  // namespace
