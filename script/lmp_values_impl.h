#pragma once
// Shared internals of the value types: their descriptors and the operations
// common to every N-component value (v2, v3, color).

#include <cmath>

#include "script/lmp_args.h"
#include "script/lmp_values.h"

namespace lmp_values {

struct ValueType {
  const char* name;
  int count;  // number of doubles
};

extern const ValueType kV2, kV3, kM33, kColor;

double* push(lua_State* L, const ValueType& type);
double* test(lua_State* L, int idx, const ValueType& type);
double* check(lua_State* L, int idx, const ValueType& type);
void registerType(lua_State* L, const ValueType& type, const luaL_Reg* funcs, lua_CFunction constructor);
void registerV3(lua_State* L);
void registerV2(lua_State* L);
void registerColor(lua_State* L);
void registerM33(lua_State* L);

inline bool isNumber(lua_State* L, int idx) { return lua_isnumber(L, idx) != 0; }

// Every function of a type's list carries the type's metatable as upvalue 1,
// so its own values are told and made without a registry lookup.
inline double* testOwn(lua_State* L, int idx) {
  void* p = lua_touserdata(L, idx);
  if (!p || !lua_getmetatable(L, idx)) return nullptr;
  bool same = lua_rawequal(L, -1, lua_upvalueindex(1));
  lua_pop(L, 1);
  return same ? static_cast<double*>(p) : nullptr;
}
inline double* checkOwn(lua_State* L, int idx, const ValueType& type) {
  double* p = testOwn(L, idx);
  return p ? p : check(L, idx, type);  // the slow path raises the error
}
inline double* pushOwn(lua_State* L, const ValueType& type) {
  double* p = static_cast<double*>(lua_newuserdata(L, sizeof(double) * type.count));
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_setmetatable(L, -2);
  return p;
}

// Operations on a value of N components described by T.
template <const ValueType& T>
struct Ops {
  static int add(lua_State* L) {
    double* b = checkOwn(L, 2, T);
    double* a = checkOwn(L, 1, T);
    double* r = pushOwn(L, T);
    for (int i = 0; i < T.count; ++i) r[i] = a[i] + b[i];
    return 1;
  }
  static int sub(lua_State* L) {
    double* b = checkOwn(L, 2, T);
    double* a = checkOwn(L, 1, T);
    double* r = pushOwn(L, T);
    for (int i = 0; i < T.count; ++i) r[i] = a[i] - b[i];
    return 1;
  }
  static int unm(lua_State* L) {
    double* a = checkOwn(L, 1, T);
    double* r = pushOwn(L, T);
    for (int i = 0; i < T.count; ++i) r[i] = -a[i];
    return 1;
  }
  static int eq(lua_State* L) {
    double* b = checkOwn(L, 2, T);
    double* a = checkOwn(L, 1, T);
    bool same = true;
    for (int i = 0; i < T.count; ++i) same = same && a[i] == b[i];
    lua_pushboolean(L, same);
    return 1;
  }
  // Scales the vector operand by the number operand, whichever side it is on.
  static int scaled(lua_State* L, int vec, double s) {
    double* a = checkOwn(L, vec, T);
    double* r = pushOwn(L, T);
    for (int i = 0; i < T.count; ++i) r[i] = a[i] * s;
    return 1;
  }
  // Number times value or value times number; 0 when neither is a number.
  static int mulByNumber(lua_State* L) {
    if (isNumber(L, 1)) return scaled(L, 2, lua_tonumber(L, 1));
    if (isNumber(L, 2)) return scaled(L, 1, lua_tonumber(L, 2));
    return 0;
  }
  static int div(lua_State* L) {
    if (!isNumber(L, 2)) return 0;
    return scaled(L, 1, 1.0 / lua_tonumber(L, 2));
  }
  static int dot(lua_State* L) {
    double* b = checkOwn(L, 2, T);
    double* a = checkOwn(L, 1, T);
    double d = 0;
    for (int i = 0; i < T.count; ++i) d += a[i] * b[i];
    lua_pushnumber(L, d);
    return 1;
  }
  static int norm(lua_State* L) {
    double* a = checkOwn(L, 1, T);
    double d = 0;
    for (int i = 0; i < T.count; ++i) d += a[i] * a[i];
    lua_pushnumber(L, std::sqrt(d));
    return 1;
  }
  static int gap(lua_State* L) {
    double* b = checkOwn(L, 2, T);
    double* a = checkOwn(L, 1, T);
    double d = 0;
    for (int i = 0; i < T.count; ++i) d += (a[i] - b[i]) * (a[i] - b[i]);
    lua_pushnumber(L, std::sqrt(d));
    return 1;
  }
  static int normalize(lua_State* L) {
    double* a = checkOwn(L, 1, T);
    double d = 0;
    for (int i = 0; i < T.count; ++i) d += a[i] * a[i];
    double len = std::sqrt(d);
    bool ok = len > 0;
    if (ok) {
      double inv = 1.0 / len;
      for (int i = 0; i < T.count; ++i) a[i] *= inv;
    }
    lua_pushboolean(L, ok);
    return 1;
  }
  static int reset(lua_State* L) {
    double* a = checkOwn(L, 1, T);
    for (int i = 0; i < T.count; ++i) a[i] = 0;
    return 0;
  }
  // set(a, c1, c2, ...): every component lenient, a missing one 0.
  static int set(lua_State* L) {
    double* a = checkOwn(L, 1, T);
    for (int i = 0; i < T.count; ++i) a[i] = LMP_toNumber(L, i + 2);
    return 0;
  }
  template <int I>
  static int get(lua_State* L) {
    lua_pushnumber(L, checkOwn(L, 1, T)[I]);
    return 1;
  }
  template <int I>
  static int setOne(lua_State* L) {
    checkOwn(L, 1, T)[I] = LMP_toNumber(L, 2);
    return 0;
  }
  // Constructor: no argument gives `empty`; a leading number needs every
  // further component as a number; anything else must be a value to copy.
  static int construct(lua_State* L, const double* empty) {
    if (lua_gettop(L) == 0) {
      double* r = pushOwn(L, T);
      for (int i = 0; i < T.count; ++i) r[i] = empty[i];
      return 1;
    }
    double c[4];
    if (isNumber(L, 1)) {
      c[0] = lua_tonumber(L, 1);
      for (int i = 1; i < T.count; ++i) c[i] = luaL_checknumber(L, i + 1);
    } else {
      double* src = checkOwn(L, 1, T);
      for (int i = 0; i < T.count; ++i) c[i] = src[i];
    }
    double* r = pushOwn(L, T);
    for (int i = 0; i < T.count; ++i) r[i] = c[i];
    return 1;
  }
};

}  // namespace lmp_values
