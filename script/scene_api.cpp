// Placeholder registrations until the scene API fills them in; the scene API
// owns this file.
#include "script/scene_api.h"

#include <lua5.2/lua.hpp>

void LMP_registerConstants(lua_State*) {}
void LMP_registerGlobalFunctions(lua_State*) {}
void LMP_registerObjectTypes(lua_State*) {}
void LMP_registerClasses(lua_State*) {}
void LMP_registerValueTypes(lua_State*) {}

void LMP_pushV2(lua_State* L, double x, double y) {
  lua_createtable(L, 2, 0);
  lua_pushnumber(L, x);
  lua_rawseti(L, -2, 1);
  lua_pushnumber(L, y);
  lua_rawseti(L, -2, 2);
}
