#include <cstring>

#include "model/color.h"
#include "model/vec3.h"
#include "script/lmp_values_impl.h"

namespace lmp_values {

// The descriptors' addresses double as registry keys of the metatables, which
// are found faster than by name.
const ValueType kV2 = {"v2", 2};
const ValueType kV3 = {"v3", 3};
const ValueType kM33 = {"m33", 9};
const ValueType kColor = {"color", 4};

double* push(lua_State* L, const ValueType& type) {
  double* p = static_cast<double*>(lua_newuserdata(L, sizeof(double) * type.count));
  lua_rawgetp(L, LUA_REGISTRYINDEX, &type);
  lua_setmetatable(L, -2);
  return p;
}

double* test(lua_State* L, int idx, const ValueType& type) {
  void* p = lua_touserdata(L, idx);
  if (!p || !lua_getmetatable(L, idx)) return nullptr;
  lua_rawgetp(L, LUA_REGISTRYINDEX, &type);
  bool same = lua_rawequal(L, -1, -2);
  lua_pop(L, 2);
  return same ? static_cast<double*>(p) : nullptr;
}

double* check(lua_State* L, int idx, const ValueType& type) {
  double* p = test(L, idx, type);
  if (!p) luaL_argerror(L, idx, lua_pushfstring(L, "%s expected, got %s", type.name, luaL_typename(L, idx)));
  return p;
}

void registerType(lua_State* L, const ValueType& type, const luaL_Reg* funcs, lua_CFunction constructor) {
  luaL_newmetatable(L, type.name);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  lua_pushvalue(L, -1);
  luaL_setfuncs(L, funcs, 1);  // the metatable is every function's upvalue 1
  lua_pushvalue(L, -1);
  lua_pushcclosure(L, constructor, 1);
  lua_setglobal(L, type.name);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &type);
}

}  // namespace lmp_values

using namespace lmp_values;

double* LMP_iPushV2(lua_State* L) { return push(L, kV2); }
double* LMP_iPushV3(lua_State* L) { return push(L, kV3); }
double* LMP_iPushM33(lua_State* L) { return push(L, kM33); }
double* LMP_iPushColor(lua_State* L) { return push(L, kColor); }

double* LMP_testV2(lua_State* L, int idx) { return test(L, idx, kV2); }
double* LMP_testV3(lua_State* L, int idx) { return test(L, idx, kV3); }
double* LMP_testM33(lua_State* L, int idx) { return test(L, idx, kM33); }
double* LMP_testColor(lua_State* L, int idx) { return test(L, idx, kColor); }

double* LMP_checkV2(lua_State* L, int idx) { return check(L, idx, kV2); }
double* LMP_checkV3(lua_State* L, int idx) { return check(L, idx, kV3); }
double* LMP_checkM33(lua_State* L, int idx) { return check(L, idx, kM33); }
double* LMP_checkColor(lua_State* L, int idx) { return check(L, idx, kColor); }

Vec3 LMP_toVec3(const double* p) { return Vec3(p[0], p[1], p[2]); }

void LMP_fromVec3(double* p, const Vec3& v) {
  p[0] = v.x;
  p[1] = v.y;
  p[2] = v.z;
}

Matrix3 LMP_toMatrix3(const double* p) {
  Matrix3 m;
  for (int e = 0; e < 9; ++e) m.at(e) = p[e];
  return m;
}

void LMP_fromMatrix3(double* p, const Matrix3& m) {
  for (int e = 0; e < 9; ++e) p[e] = m.at(e);
}

ColorRGBA LMP_toColor(const double* p) { return ColorRGBA{p[0], p[1], p[2], p[3]}; }

void LMP_fromColor(double* p, const ColorRGBA& c) {
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
  p[3] = c.a;
}

void LMP_pushV3(lua_State* L, const Vec3& v) { LMP_fromVec3(LMP_iPushV3(L), v); }
void LMP_pushM33(lua_State* L, const Matrix3& m) { LMP_fromMatrix3(LMP_iPushM33(L), m); }
void LMP_pushColor(lua_State* L, const ColorRGBA& c) { LMP_fromColor(LMP_iPushColor(L), c); }

void LMP_pushV2(lua_State* L, double x, double y) {
  double* p = LMP_iPushV2(L);
  p[0] = x;
  p[1] = y;
}

void LMP_registerValueTypes(lua_State* L) {
  registerV3(L);
  registerV2(L);
  registerColor(L);
  registerM33(L);
}
