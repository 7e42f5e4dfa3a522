#include "script/lmp_polyline.h"

#include <climits>

#include "script/lmp_fields.h"
#include "script/lmp_overlay.h"

const char* const LMP_Polyline::luaName = "newPolyline";

namespace {

// Appends the v2 elements of the table at index 1, skipping a point equal
// to the current last one. Other elements are reported and skipped.
int appendPoints(lua_State* L, MDL_Polyline* line) {
  if (lua_gettop(L) != 1 || !lua_istable(L, 1)) {
    LMP_reportError(L, "Wrong argument, Table of 2D vector argument expected");
    return 0;
  }
  const size_t len = lua_rawlen(L, 1);
  const int n = len > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
  for (int i = 1; i <= n; ++i) {
    lua_rawgeti(L, 1, i);
    const double* v = LMP_testV2(L, -1);
    const Vec2 p = v ? Vec2(v[0], v[1]) : Vec2();
    lua_pop(L, 1);
    if (!v) {
      LMP_reportError(L, "Wrong element in table, 2D vector element expected");
      continue;
    }
    const int32_t count = line->points.count;
    if (count > 0 && line->points[count - 1].x == p.x && line->points[count - 1].y == p.y) continue;
    if (!line->addPoint(p)) return 0;  // out of memory: keep what was taken
  }
  return 0;
}

}  // namespace

LMP_Proxy* LMP_Polyline::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Polyline>(L, [] { return static_cast<MDL_Object*>(new MDL_Polyline()); });
  return new LMP_Polyline(model);
}

int LMP_Polyline::setColor(lua_State* L) {
  if (!polyline()) return 0;
  const int top = lua_gettop(L);
  if (top == 0 || lua_isnil(L, top)) {
    polyline()->outlined = false;
    return 0;
  }
  double* c = nullptr;
  if (LMP_getArgs(L, "|C", &c) && c) LMP_setLooksColor(polyline(), c);
  return 0;
}

int LMP_Polyline::getColor(lua_State* L) { return LMP_getLooksColor(L, polyline()); }
int LMP_Polyline::setTexture(lua_State* L) { return LMP_setLooksTexture(L, polyline()); }
int LMP_Polyline::getMaterial(lua_State* L) { return LMP_getLooksMaterial(L, polyline()); }

int LMP_Polyline::getFillColor(lua_State* L) {
  if (!polyline() || !polyline()->filled) return 0;
  return LMP_returnColor(L, polyline()->fillColor);
}

int LMP_Polyline::setFillColor(lua_State* L) {
  double* c = nullptr;
  if (!polyline()) return 0;
  if (lua_gettop(L) == 0) {
    polyline()->filled = false;
    return 0;
  }
  if (!LMP_getArgs(L, "|C", &c) || !c) return 0;
  polyline()->fillColor = LMP_toColor(c);
  polyline()->filled = true;
  return 0;
}

int LMP_Polyline::getThickness(lua_State* L) { return LMP_getField(L, polyline(), &MDL_Polyline::thickness); }
int LMP_Polyline::getClosed(lua_State* L) { return LMP_getField(L, polyline(), &MDL_Polyline::closed); }

int LMP_Polyline::setThickness(lua_State* L) {
  double t = 0;
  if (!polyline() || !LMP_getArgs(L, "N", &t)) return 0;
  polyline()->thickness = t;
  polyline()->outlineDirty = true;
  return 0;
}

int LMP_Polyline::setClosed(lua_State* L) {
  bool closed = false;
  if (!polyline() || !LMP_getArgs(L, "B", &closed)) return 0;
  polyline()->closed = closed;
  polyline()->outlineDirty = true;
  return 0;
}

int LMP_Polyline::addPoints(lua_State* L) { return polyline() ? appendPoints(L, polyline()) : 0; }

int LMP_Polyline::setPoints(lua_State* L) {
  if (!polyline()) return 0;
  polyline()->clearPoints();
  return appendPoints(L, polyline());
}

int LMP_Polyline::getPointsCount(lua_State* L) {
  return polyline() ? LMP_returnNumber(L, polyline()->points.count) : 0;
}

int LMP_Polyline::getPoint(lua_State* L) {
  int index = 0;
  if (!polyline() || !LMP_getArgs(L, "I", &index)) return 0;
  if (index < 1 || index > polyline()->points.count) return 0;  // nothing outside the points
  const Vec2& p = polyline()->points[index - 1];
  double* out = LMP_iPushV2(L);
  out[0] = p.x;
  out[1] = p.y;
  return 1;
}

int LMP_Polyline::distanceToPoint(lua_State* L) {
  double* v = nullptr;
  if (!polyline() || !LMP_getArgs(L, "W", &v)) return 0;
  return LMP_returnNumber(L, polyline()->distanceToPoint(Vec2(v[0], v[1])));
}

int LMP_Polyline::clear(lua_State*) {
  if (polyline()) polyline()->clearPoints();
  return 0;
}

const LMP_MethodReg<LMP_Polyline> LMP_Polyline::methods[] = {
    {"setColor", &LMP_Polyline::setColor},
    {"getColor", &LMP_Polyline::getColor},
    {"setTexture", &LMP_Polyline::setTexture},
    {"getMaterial", &LMP_Polyline::getMaterial},
    {"getFillColor", &LMP_Polyline::getFillColor},
    {"setFillColor", &LMP_Polyline::setFillColor},
    {"getThickness", &LMP_Polyline::getThickness},
    {"setThickness", &LMP_Polyline::setThickness},
    {"getClosed", &LMP_Polyline::getClosed},
    {"setClosed", &LMP_Polyline::setClosed},
    {"addPoints", &LMP_Polyline::addPoints},
    {"setPoints", &LMP_Polyline::setPoints},
    {"getPointsCount", &LMP_Polyline::getPointsCount},
    {"getPoint", &LMP_Polyline::getPoint},
    {"distanceToPoint", &LMP_Polyline::distanceToPoint},
    {"clear", &LMP_Polyline::clear},
    {nullptr, nullptr},
};
