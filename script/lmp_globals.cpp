// The global functions of the script API, in registration order.
#include <cstring>

#include "model/vec3.h"

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_object.h"
#include "script/lmp_values.h"
#include "script/scene_api.h"
#include "view/view_generic.h"

namespace {

int trace(lua_State*) { return 0; }

int tracePoint(lua_State* L) {
  double* v = nullptr;
  LMP_getArgs(L, "V", &v);
  return 0;
}

// Stores a new reference in the engine's slot (which releases the one it
// replaces); an id without a slot keeps nothing.
int setCallback(lua_State* L) {
  int id = 0, ref = 0;
  if (!LMP_getArgs(L, "IF", &id, &ref)) return 0;
  LMP_Engine* engine = LMP_getEngine(L);
  if (!engine || !engine->setCallbackRef(id, ref)) luaL_unref(L, LUA_REGISTRYINDEX, ref);
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

// The key tests read the current and previous frame's key states; a code
// outside the 256 entries is never down.
enum KeyTest { PRESSED, JUST_PRESSED, JUST_RELEASED };

template <KeyTest test>
int keyTest(lua_State* L) {
  int code = 0;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "I", &code)) return 0;
  bool answer = false;
  if (code >= 0 && code < 256) {
    bool now = ctrl->keys.current[code] != 0, before = ctrl->keys.previous[code] != 0;
    answer = test == PRESSED ? now : test == JUST_PRESSED ? now && !before : !now && before;
  }
  lua_pushboolean(L, answer);
  return 1;
}

int setAspectRatio(lua_State* L) {
  double aspect = 0;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "N", &aspect)) return 0;
  ctrl->setContentAspect(aspect);
  return 0;
}

int getAspectRatio(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  lua_pushnumber(L, ctrl->contentAspect);
  return 1;
}

int getViewAspectRatio(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  lua_pushnumber(L, ctrl->clientHeight / ctrl->clientWidth);
  return 1;
}

int getResolution(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_pushV2(L, ctrl->clientWidth, ctrl->clientHeight);
  return 1;
}

int getHiDPI(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  lua_pushboolean(L, ctrl->hiDPI);
  return 1;
}

int setBackgroundColor(lua_State* L) {
  double* c = nullptr;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "C", &c)) return 0;
  ctrl->setBackgroundColor(c);
  return 0;
}

int getAcceleration(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_pushV3(L, ctrl->acceleration);
  return 1;
}

int getHooveredObject(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !ctrl->mouse.hovered) return 0;
  return LMP_iPushProxy(L, ctrl->mouse.hovered);
}

int getPickedObject(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !ctrl->mouse.picked) return 0;
  return LMP_iPushProxy(L, ctrl->mouse.picked);
}

int setPickPosition(lua_State* L) {
  double* v = nullptr;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl || !LMP_getArgs(L, "V", &v)) return 0;
  ctrl->setPickPosition(LMP_toVec3(v));
  return 0;
}

int getViewportMouse(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  const double* m = ctrl->mouse.viewportMouse;
  LMP_pushV3(L, Vec3(m[0], m[1], m[2]));
  return 1;
}

// The viewport mouse carried into the world through the current viewport's
// camera; zero without a current viewport or camera.
int getSceneMouse(lua_State* L) {
  Vec3 world;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (ctrl && ctrl->currentViewport) {
    const double* m = ctrl->mouse.viewportMouse;
    ctrl->currentViewport->screenToWorld(Vec3(m[0], m[1], m[2]), world);
  }
  LMP_pushV3(L, world);
  return 1;
}

// The renderer's caches and buffers: nothing to do without a renderer.
VIEW_Generic* rendererOf(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  return ctrl ? ctrl->renderer.get() : nullptr;
}

int resetTextureCache(lua_State* L) {
  if (VIEW_Generic* r = rendererOf(L)) r->resetTextureCache();
  return 0;
}

int resetGlyphTextureCache(lua_State* L) {
  if (VIEW_Generic* r = rendererOf(L)) r->resetGlyphTextureCache();
  return 0;
}

int setDefaultTextureFilter(lua_State* L) {
  int filter = 0;
  if (!LMP_getArgs(L, "I", &filter)) return 0;
  if (VIEW_Generic* r = rendererOf(L)) r->setDefaultTextureFilter(filter);
  return 0;
}

int resetRenderingOpti(lua_State* L) {
  if (VIEW_Generic* r = rendererOf(L)) r->releaseBuffers();
  return 0;
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
    {"isKeyPressed", keyTest<PRESSED>},
    {"isKeyJustPressed", keyTest<JUST_PRESSED>},
    {"isKeyJustReleased", keyTest<JUST_RELEASED>},
    {"setCallback", setCallback},
    {"registerDevice", registerDevice},
    {"sendToDevice", sendToDevice},
    {"openURL", openURL},
    {"setAspectRatio", setAspectRatio},
    {"getAspectRatio", getAspectRatio},
    {"getViewAspectRatio", getViewAspectRatio},
    {"getResolution", getResolution},
    {"getHiDPI", getHiDPI},
    {"setBackgroundColor", setBackgroundColor},
    {"getAcceleration", getAcceleration},
    {"getLanguage", getLanguage},
    {"getPlatform", getPlatform},
    {"getHooveredObject", getHooveredObject},
    {"getPickedObject", getPickedObject},
    {"setPickPosition", setPickPosition},
    {"getViewportMouse", getViewportMouse},
    {"getSceneMouse", getSceneMouse},
    {"resetTextureCache", resetTextureCache},
    {"resetGlyphTextureCache", resetGlyphTextureCache},
    {"setDefaultTextureFilter", setDefaultTextureFilter},
    {"resetRenderingOpti", resetRenderingOpti},
    {nullptr, nullptr},
};

}  // namespace

void LMP_registerGlobalFunctions(lua_State* L) {
  for (const luaL_Reg* g = kGlobals; g->name; ++g) {
    lua_pushcfunction(L, g->func);
    lua_setglobal(L, g->name);
  }
}
