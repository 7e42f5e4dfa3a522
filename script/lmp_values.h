#pragma once
// The script value types v2, v3, m33 and color: full userdata holding their
// doubles directly (2, 3, 9 and 4 of them), with operators and methods in
// one metatable registered under the type's name.

#include <lua.hpp>

struct Vec3;
struct Matrix3;
struct ColorRGBA;

// Push a new value whose payload the caller fills.
double* LMP_iPushV2(lua_State* L);
double* LMP_iPushV3(lua_State* L);
double* LMP_iPushM33(lua_State* L);
double* LMP_iPushColor(lua_State* L);

void LMP_pushV3(lua_State* L, const Vec3& v);
void LMP_pushM33(lua_State* L, const Matrix3& m);
void LMP_pushColor(lua_State* L, const ColorRGBA& c);

// The payload of the value at idx, or null when it is not of that type.
double* LMP_testV2(lua_State* L, int idx);
double* LMP_testV3(lua_State* L, int idx);
double* LMP_testM33(lua_State* L, int idx);
double* LMP_testColor(lua_State* L, int idx);

// The payload of the value at idx; raises the standard argument error
// ("v3 expected, got ...") when it is not of that type.
double* LMP_checkV2(lua_State* L, int idx);
double* LMP_checkV3(lua_State* L, int idx);
double* LMP_checkM33(lua_State* L, int idx);
double* LMP_checkColor(lua_State* L, int idx);

// Conversions between payloads and the model's types.
Vec3 LMP_toVec3(const double* p);
void LMP_fromVec3(double* p, const Vec3& v);
Matrix3 LMP_toMatrix3(const double* p);
void LMP_fromMatrix3(double* p, const Matrix3& m);
ColorRGBA LMP_toColor(const double* p);
void LMP_fromColor(double* p, const ColorRGBA& c);

// Registers the four types in the order v3, v2, color, m33.
void LMP_registerValueTypes(lua_State* L);
