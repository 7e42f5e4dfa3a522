// What the scene API puts into a new engine's Lua state. The engine calls
// these in this order, after the standard libraries and the collector
// settings; their bodies live with the scene API (script/scene_api.cpp).
#pragma once

struct lua_State;

// The integer constants table in table order, then INFINITE_PLUS and
// INFINITE_MINUS.
void LMP_registerConstants(lua_State* L);
// The global functions (trace ... resetRenderingOpti).
void LMP_registerGlobalFunctions(lua_State* L);
// The OBJECT_* type codes.
void LMP_registerObjectTypes(lua_State* L);
// The bound classes newScene ... newLocator.
void LMP_registerClasses(lua_State* L);
// The value types v3, v2, color, m33.
void LMP_registerValueTypes(lua_State* L);

// Pushes a new v2 value (the zoom point of an EVENT_ZOOM).
void LMP_pushV2(lua_State* L, double x, double y);
