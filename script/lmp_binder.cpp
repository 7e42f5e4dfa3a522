#include "script/lmp_binder.h"

#include <cstdlib>
#include <cstring>

#include "script/lmp_args.h"

namespace {
// Upvalue markers telling LMP_argError how the running function lost its
// first argument: a method drops self, a constructor drops the methods table.
const char methodMarker = 0;
const char constructMarker = 0;
}  // namespace

namespace lmp_binder {

int gc(lua_State* L) {
  LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, 1));
  if (!ud || !ud->proxy) return 0;
  LMP_Proxy::unref(ud->proxy);
  ud->proxy = nullptr;
  return 0;
}

void userdataCache(lua_State* L, int mt) {
  mt = lua_absindex(L, mt);
  lua_getfield(L, mt, "userdata");
  if (!lua_isnil(L, -1)) return;
  lua_pop(L, 1);
  lua_newtable(L);
  lua_pushvalue(L, -1);
  lua_setmetatable(L, -2);
  lua_pushliteral(L, "v");
  lua_setfield(L, -2, "__mode");
  lua_pushvalue(L, -1);
  lua_setfield(L, mt, "userdata");
}

int push(lua_State* L, LMP_Proxy* proxy, const char* name) {
  if (!proxy) {
    lua_pushnil(L);
    return lua_gettop(L);
  }
  luaL_getmetatable(L, name);
  if (lua_isnil(L, -1)) {
    LMP_reportError(L, "%s missing metatable", name);
    return lua_gettop(L);
  }
  userdataCache(L, -1);
  lua_pushlightuserdata(L, proxy);
  lua_rawget(L, -2);
  if (lua_isnil(L, -1)) {
    lua_pop(L, 1);
    LMP_UserData* ud = static_cast<LMP_UserData*>(lua_newuserdata(L, sizeof(LMP_UserData)));
    ud->proxy = proxy;
    ++proxy->refCount;
    lua_pushvalue(L, -3);
    lua_setmetatable(L, -2);
    lua_pushlightuserdata(L, proxy);
    lua_pushvalue(L, -2);
    lua_rawset(L, -4);
  }
  // Stack: metatable, cache, userdata; keep the userdata in the first slot.
  lua_replace(L, -3);
  lua_pop(L, 1);
  return lua_gettop(L);
}

LMP_UserData* test(lua_State* L, int idx, const char* name) {
  void* p = lua_touserdata(L, idx);
  if (!p || lua_islightuserdata(L, idx) || !lua_getmetatable(L, idx)) return nullptr;
  luaL_getmetatable(L, name);
  bool same = lua_rawequal(L, -1, -2);
  lua_pop(L, 2);
  return same ? static_cast<LMP_UserData*>(p) : nullptr;
}

void registerClass(lua_State* L, const char* name, lua_CFunction construct, lua_CFunction toString) {
  lua_newtable(L);
  int methods = lua_gettop(L);
  luaL_newmetatable(L, name);
  int mt = methods + 1;
  lua_pushvalue(L, methods);
  lua_setglobal(L, name);
  lua_pushvalue(L, methods);
  lua_setfield(L, mt, "__metatable");
  lua_pushvalue(L, methods);
  lua_setfield(L, mt, "__index");
  lua_pushcfunction(L, toString);
  lua_setfield(L, mt, "__tostring");
  lua_pushcfunction(L, gc);
  lua_setfield(L, mt, "__gc");

  lua_newtable(L);
  lua_pushlightuserdata(L, const_cast<char*>(&constructMarker));
  lua_pushcclosure(L, construct, 1);
  lua_pushvalue(L, -1);
  lua_setfield(L, -3, "__call");
  lua_setfield(L, methods, "new");
  lua_setmetatable(L, methods);
}

void addMethod(lua_State* L, int methods, const char* name, lua_CFunction thunk, const void* fn, size_t size) {
  std::memcpy(lua_newuserdata(L, size), fn, size);
  lua_pushvalue(L, methods + 1);
  lua_pushlightuserdata(L, const_cast<char*>(&methodMarker));
  lua_pushcclosure(L, thunk, 3);
  lua_setfield(L, methods, name);
}

void outOfMemory(lua_State* L) {
  lua_pushliteral(L, "not enough memory");
  lua_error(L);
  std::abort();  // not reached: lua_error unwinds
}

void badSelf(lua_State* L, const char* name) {
  luaL_argerror(L, 1, name);
  std::abort();  // not reached: luaL_argerror unwinds
}

}  // namespace lmp_binder

int LMP_argError(lua_State* L, int arg, const char* message) {
  lua_Debug ar;
  if (lua_getstack(L, 0, &ar) && lua_getinfo(L, "nf", &ar)) {
    const void* marker = nullptr;
    if (lua_getupvalue(L, -1, 3)) {
      marker = lua_touserdata(L, -1);
      lua_pop(L, 1);
    } else if (lua_getupvalue(L, -1, 1)) {
      marker = lua_touserdata(L, -1);
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
    // luaL_argerror counts as Lua does (it drops self for method syntax), so
    // give it the index the script's call had before we removed argument 1.
    if (marker == &methodMarker)
      ++arg;
    else if (marker == &constructMarker && ar.name && std::strcmp(ar.name, "new") == 0)
      ++arg;
  }
  return luaL_argerror(L, arg, message);
}

void LMP_reportSurplusArgs(lua_State* L, int most, const char* constructorName) {
  if (lua_gettop(L) > most) LMP_reportError(L, "Too much arguments for %s", constructorName);
}
