#pragma once
// Running small Lua snippets against a state in tests: a case either runs
// cleanly (its own asserts hold) or raises an error containing a fragment.

#include <gtest/gtest.h>
#include <lua.hpp>

#include <string>

struct LuaCase {
  const char* name;
  const char* code;
  const char* error;  // null: must run without error; else part of the error
};

inline std::string runLua(lua_State* L, const char* code, bool* ok) {
  *ok = luaL_loadstring(L, code) == LUA_OK && lua_pcall(L, 0, 0, 0) == LUA_OK;
  std::string msg = *ok ? "" : (lua_tostring(L, -1) ? lua_tostring(L, -1) : "(no message)");
  if (!*ok) lua_pop(L, 1);
  return msg;
}

inline void expectCase(lua_State* L, const LuaCase& c) {
  SCOPED_TRACE(c.name);
  bool ok = false;
  std::string msg = runLua(L, c.code, &ok);
  if (!c.error) {
    EXPECT_TRUE(ok) << msg;
  } else {
    EXPECT_FALSE(ok) << "expected an error containing: " << c.error;
    EXPECT_NE(msg.find(c.error), std::string::npos) << msg;
  }
}
