// The color value type: r, g, b, a.
#include "script/lmp_values_impl.h"

namespace lmp_values {
namespace {

using C = Ops<kColor>;

// Scaling only: two colours are never multiplied component by component.
int colorMul(lua_State* L) {
  if (C::mulByNumber(L)) return 1;
  LMP_reportError(L, "Bad parameters for v4 multiplication");
  return 0;
}

int colorToString(lua_State* L) {
  double* c = checkOwn(L, 1, kColor);
  lua_pushfstring(L, "color(%f,%f,%f,%f)", c[0], c[1], c[2], c[3]);
  return 1;
}

int colorRgb(lua_State* L) {
  double* c = checkOwn(L, 1, kColor);
  double* r = push(L, kV3);
  r[0] = c[0];
  r[1] = c[1];
  r[2] = c[2];
  return 1;
}

// setRGB(c, v): exactly one v3; alpha is kept.
int colorSetRgb(lua_State* L) {
  double* c = checkOwn(L, 1, kColor);
  // The colour is dropped before parsing, so raise a wrong first operand here
  // where Lua still counts it as the script wrote it.
  if (lua_gettop(L) >= 2 && !test(L, 2, kV3)) check(L, 2, kV3);
  lua_remove(L, 1);
  double* v = nullptr;
  if (!LMP_getArgs(L, "V", &v)) return 0;
  c[0] = v[0];
  c[1] = v[1];
  c[2] = v[2];
  return 0;
}

int colorNew(lua_State* L) {
  static const double opaqueBlack[4] = {0, 0, 0, 1};
  return C::construct(L, opaqueBlack);
}

const luaL_Reg colorFuncs[] = {
    {"__add", C::add},      {"__sub", C::sub},       {"__mul", colorMul},
    {"__eq", C::eq},        {"__unm", C::unm},       {"__tostring", colorToString},
    {"r", C::get<0>},       {"g", C::get<1>},        {"b", C::get<2>},
    {"a", C::get<3>},       {"rgb", colorRgb},       {"set", C::set},
    {"setR", C::setOne<0>}, {"setG", C::setOne<1>},  {"setB", C::setOne<2>},
    {"setA", C::setOne<3>}, {"setRGB", colorSetRgb}, {"dot", C::dot},
    {"norm", C::norm},      {"gap", C::gap},         {"normalize", C::normalize},
    {"reset", C::reset},    {nullptr, nullptr},
};

}  // namespace

void registerColor(lua_State* L) { registerType(L, kColor, colorFuncs, colorNew); }

}  // namespace lmp_values
