// The global functions of the script API, in registration order.
#include <cstring>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_values.h"
#include "script/scene_api.h"

namespace {

int trace(lua_State*) { return 0; }

int tracePoint(lua_State* L) {
  double* v = nullptr;
  LMP_getArgs(L, "V", &v);
  return 0;
}

// Stores a new reference in the engine's slot; an id without a slot keeps
// nothing, and a replaced reference is released.
int setCallback(lua_State* L) {
  int id = 0, ref = 0;
  if (!LMP_getArgs(L, "IF", &id, &ref)) return 0;
  LMP_Engine* engine = LMP_getEngine(L);
  int old = engine ? engine->callbackRef(id) : 0;
  if (!engine || !engine->setCallbackRef(id, ref)) {
    luaL_unref(L, LUA_REGISTRYINDEX, ref);
    return 0;
  }
  if (old > 0) luaL_unref(L, LUA_REGISTRYINDEX, old);
  return 0;
}

int registerDevice(lua_State* L) {
  int vendor = 0, product = 0, index = 0;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "III", &vendor, &product, &index)) return 0;
  lua_pushnumber(L, ctrl->registerDevice(vendor, product, index));
  return 1;
}

// The string's length counts embedded zero bytes.
int sendToDevice(lua_State* L) {
  int device = 0;
  const char* bytes = nullptr;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "IS", &device, &bytes)) return 0;
  size_t length = 0;
  lua_tolstring(L, 2, &length);
  lua_pushnumber(L, ctrl->sendToDevice(device, reinterpret_cast<const uint8_t*>(bytes), static_cast<int32_t>(length)));
  return 1;
}

int openURL(lua_State* L) {
  const char* text = nullptr;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "S", &text)) return 0;
  ctrl->openURL(text);
  return 0;
}

int getLanguage(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  char text[64] = {};
  ctrl->getLanguage(text);
  text[sizeof text - 1] = '\0';
  lua_pushstring(L, text);
  return 1;
}

int getPlatform(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  lua_pushnumber(L, ctrl->platform);
  return 1;
}

const luaL_Reg kGlobals[] = {
    {"trace", trace},
    {"tracePoint", tracePoint},
    {"setCallback", setCallback},
    {"registerDevice", registerDevice},
    {"sendToDevice", sendToDevice},
    {"openURL", openURL},
    {"getLanguage", getLanguage},
    {"getPlatform", getPlatform},
    {nullptr, nullptr},
};

}  // namespace

void LMP_registerGlobalFunctions(lua_State* L) {
  for (const luaL_Reg* g = kGlobals; g->name; ++g) {
    lua_pushcfunction(L, g->func);
    lua_setglobal(L, g->name);
  }
}
