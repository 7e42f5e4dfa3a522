#pragma once
// One model field read or written by a bound method: the getters push the
// value (nothing when the proxy has lost its model), the setters read one
// argument of the field's kind and store it (nothing after a reported error).

#include <lua.hpp>

#include <cstdint>

#include "model/color.h"
#include "model/vec3.h"
#include "script/lmp_args.h"
#include "script/lmp_values.h"

// One result for a method to return.
inline int LMP_returnNumber(lua_State* L, double d) {
  lua_pushnumber(L, d);
  return 1;
}

inline int LMP_returnV3(lua_State* L, const Vec3& v) {
  LMP_pushV3(L, v);
  return 1;
}

inline int LMP_returnColor(lua_State* L, const ColorRGBA& c) {
  LMP_pushColor(L, c);
  return 1;
}

template <class M>
int LMP_getField(lua_State* L, const M* m, double M::*field) {
  if (!m) return 0;
  lua_pushnumber(L, m->*field);
  return 1;
}

template <class M>
int LMP_getField(lua_State* L, const M* m, int32_t M::*field) {
  if (!m) return 0;
  lua_pushnumber(L, m->*field);
  return 1;
}

template <class M>
int LMP_getField(lua_State* L, const M* m, bool M::*field) {
  if (!m) return 0;
  lua_pushboolean(L, m->*field);
  return 1;
}

template <class M>
int LMP_getField(lua_State* L, const M* m, ColorRGBA M::*field) {
  return m ? LMP_returnColor(L, m->*field) : 0;
}

template <class M>
int LMP_setField(lua_State* L, M* m, double M::*field) {
  if (m) LMP_getArgs(L, "N", &(m->*field));
  return 0;
}

template <class M>
int LMP_setField(lua_State* L, M* m, int32_t M::*field) {
  int value = 0;
  if (m && LMP_getArgs(L, "I", &value)) m->*field = value;
  return 0;
}

template <class M>
int LMP_setField(lua_State* L, M* m, bool M::*field) {
  if (m) LMP_getArgs(L, "B", &(m->*field));
  return 0;
}

template <class M>
int LMP_setField(lua_State* L, M* m, ColorRGBA M::*field) {
  double* c = nullptr;
  if (m && LMP_getArgs(L, "C", &c)) m->*field = LMP_toColor(c);
  return 0;
}
