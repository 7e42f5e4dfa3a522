// The v3 and v2 value types.
#include <cmath>

#include "model/constants.h"
#include "model/vec3.h"
#include "script/lmp_values_impl.h"

namespace lmp_values {
namespace {

using V3 = Ops<kV3>;
using V2 = Ops<kV2>;

int v3Mul(lua_State* L) {
  if (isNumber(L, 1) || isNumber(L, 2)) return V3::mulByNumber(L);
  double* q = checkOwn(L, 2, kV3);
  double* p = checkOwn(L, 1, kV3);
  double* r = pushOwn(L, kV3);
  r[0] = p[1] * q[2] - q[1] * p[2];
  r[1] = p[2] * q[0] - q[2] * p[0];
  r[2] = p[0] * q[1] - p[1] * q[0];
  return 1;
}

// The product of two v2 is the z of their cross product, a plain number.
int v2Mul(lua_State* L) {
  if (isNumber(L, 1) || isNumber(L, 2)) return V2::mulByNumber(L);
  double* q = checkOwn(L, 2, kV2);
  double* p = checkOwn(L, 1, kV2);
  lua_pushnumber(L, p[0] * q[1] - p[1] * q[0]);
  return 1;
}

int v3ToString(lua_State* L) {
  double* a = checkOwn(L, 1, kV3);
  lua_pushfstring(L, "v3(%f,%f,%f)", a[0], a[1], a[2]);
  return 1;
}

int v2ToString(lua_State* L) {
  double* a = checkOwn(L, 1, kV2);
  lua_pushfstring(L, "v2(%f,%f)", a[0], a[1]);
  return 1;
}

int v3Xy(lua_State* L) {
  double* a = checkOwn(L, 1, kV3);
  double* r = push(L, kV2);
  r[0] = a[0];
  r[1] = a[1];
  return 1;
}

// rotate(a, axis, degrees): the angle is read first, then the axis, then a.
int v3Rotate(lua_State* L) {
  double angle = LMP_toNumber(L, 3) * kDegToRad;
  Vec3 axis = LMP_toVec3(checkOwn(L, 2, kV3));
  double* a = checkOwn(L, 1, kV3);
  Vec3 v = LMP_toVec3(a);
  rotateAboutAxis3(v, axis, std::cos(angle), std::sin(angle));
  LMP_fromVec3(a, v);
  return 0;
}

// (r, theta, phi) in degrees, theta from +Z, phi from +X towards +Y.
int v3SphericalToCartesian(lua_State* L) {
  double* a = checkOwn(L, 1, kV3);
  double r = a[0], theta = a[1] * kDegToRad, phi = a[2] * kDegToRad;
  a[0] = r * std::sin(theta) * std::cos(phi);
  a[1] = r * std::sin(theta) * std::sin(phi);
  a[2] = r * std::cos(theta);
  return 0;
}

// The inverse, with the angles left in radians.
int v3CartesianToSpherical(lua_State* L) {
  double* a = checkOwn(L, 1, kV3);
  double x = a[0], y = a[1], z = a[2];
  double r = std::sqrt(x * x + y * y + z * z);
  a[0] = r;
  a[1] = std::acos(z / r);
  a[2] = std::atan2(y, x);
  return 0;
}

int v3New(lua_State* L) {
  static const double zero[3] = {0, 0, 0};
  return V3::construct(L, zero);
}

int v2New(lua_State* L) {
  static const double zero[2] = {0, 0};
  return V2::construct(L, zero);
}

const luaL_Reg v3Funcs[] = {
    {"__add", V3::add},
    {"__sub", V3::sub},
    {"__mul", v3Mul},
    {"__div", V3::div},
    {"__eq", V3::eq},
    {"__unm", V3::unm},
    {"__tostring", v3ToString},
    {"x", V3::get<0>},
    {"y", V3::get<1>},
    {"z", V3::get<2>},
    {"xy", v3Xy},
    {"set", V3::set},
    {"setX", V3::setOne<0>},
    {"setY", V3::setOne<1>},
    {"setZ", V3::setOne<2>},
    {"dot", V3::dot},
    {"norm", V3::norm},
    {"gap", V3::gap},
    {"normalize", V3::normalize},
    {"reset", V3::reset},
    {"rotate", v3Rotate},
    {"sphericalToCartesian", v3SphericalToCartesian},
    {"cartesianToSpherical", v3CartesianToSpherical},
    {nullptr, nullptr},
};

const luaL_Reg v2Funcs[] = {
    {"__add", V2::add},           {"__sub", V2::sub},         {"__mul", v2Mul},   {"__div", V2::div}, {"__eq", V2::eq},
    {"__unm", V2::unm},           {"__tostring", v2ToString}, {"x", V2::get<0>},  {"y", V2::get<1>},  {"set", V2::set},
    {"setX", V2::setOne<0>},      {"setY", V2::setOne<1>},    {"dot", V2::dot},   {"norm", V2::norm}, {"gap", V2::gap},
    {"normalize", V2::normalize}, {"reset", V2::reset},       {nullptr, nullptr},
};

}  // namespace

void registerV3(lua_State* L) { registerType(L, kV3, v3Funcs, v3New); }
void registerV2(lua_State* L) { registerType(L, kV2, v2Funcs, v2New); }

}  // namespace lmp_values
