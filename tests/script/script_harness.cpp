#include "script_harness.h"

namespace scripttest {

Player::Player(std::initializer_list<Member> members) {
  engine = new LMP_Engine;
  L = engine->L;
  controller = std::make_unique<testpkg::RecordingController>(std::unique_ptr<CTRL_ScriptEngine>(engine));
  std::map<std::string, std::string> all = members;
  all.emplace("config.xml", testpkg::kConfigXml);
  controller->openPackage(testpkg::toBuffer(testpkg::makePackage(all)));
}

std::string Player::run(const std::string& chunk, int nresults) {
  if (luaL_loadstring(L, chunk.c_str()) != LUA_OK || lua_pcall(L, 0, nresults, 0) != LUA_OK) {
    std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
    lua_pop(L, 1);
    return error.empty() ? "(empty error)" : error;
  }
  return "";
}

std::string Player::global(const char* name) {
  lua_getglobal(L, "tostring");
  lua_getglobal(L, name);
  lua_call(L, 1, 1);
  size_t n = 0;
  const char* s = lua_tolstring(L, -1, &n);
  std::string text(s, n);
  lua_pop(L, 1);
  return text;
}

void Player::setCallback(int id, const char* name) {
  lua_getglobal(L, name);
  engine->setCallbackRef(id, luaL_ref(L, LUA_REGISTRYINDEX));
}

LMP_Proxy* Player::proxy(const char* name) {
  lua_getglobal(L, name);
  LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return ud ? ud->proxy : nullptr;
}

const char kSceneAndNear[] = R"(
  function near(a, b) return math.abs(a - b) < 1e-9 end
  function vnear(v, x, y, z) return near(v:x(), x) and near(v:y(), y) and near(v:z(), z) end
  s = newScene()
)";

void expectCasesInFreshPlayers(const LuaCase* cases, size_t count, const char* setup) {
  for (size_t i = 0; i < count; ++i) {
    const LuaCase& c = cases[i];
    Player p({});
    ASSERT_EQ(p.run(setup), "");
    expectCase(p.L, c);
    EXPECT_TRUE(p.controller->failures.empty()) << c.name << ": " << p.controller->failures[0];
  }
}

void expectUsageReports(const UsageCase* cases, size_t count, const char* setup) {
  for (size_t i = 0; i < count; ++i) {
    const UsageCase& c = cases[i];
    SCOPED_TRACE(c.code);
    Player p({});
    ASSERT_EQ(p.run(setup), "");
    ASSERT_EQ(p.run(c.code), "");
    ASSERT_EQ(p.controller->failures.size(), c.reports);
    const std::string& f = p.controller->failures[0];
    EXPECT_EQ(f.substr(f.find("]:1: ") + 5), c.report);
  }
}

}  // namespace scripttest
