#include "script_harness.h"

namespace scripttest {

Player::Player(std::initializer_list<Member> members) {
  engine = new LMP_Engine;
  L = engine->L;
  controller = std::make_unique<testpkg::RecordingController>(engine);
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

}  // namespace scripttest
