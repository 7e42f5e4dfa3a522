#pragma once
// newPolyline: the script class of line overlays, a path of 2-D points drawn
// outlined, filled or both over the viewport.

#include "model/polyline.h"
#include "script/lmp_object.h"

class LMP_Polyline : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Polyline> methods[];

  explicit LMP_Polyline(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newPolyline"; }
  const char* className() const override { return constructorName(); }

  // newPolyline(parent or scene [, source polyline]). Polylines are not
  // cloned: with a source the proxy has no model.
  static LMP_Proxy* construct(lua_State* L);

  MDL_Polyline* polyline() const { return static_cast<MDL_Polyline*>(model); }

  int setColor(lua_State* L);
  int getColor(lua_State* L);
  int setTexture(lua_State* L);
  int getMaterial(lua_State* L);
  int getFillColor(lua_State* L);
  int setFillColor(lua_State* L);
  int getThickness(lua_State* L);
  int setThickness(lua_State* L);
  int getClosed(lua_State* L);
  int setClosed(lua_State* L);
  int addPoints(lua_State* L);
  int setPoints(lua_State* L);
  int getPointsCount(lua_State* L);
  int getPoint(lua_State* L);
  int distanceToPoint(lua_State* L);
  int clear(lua_State* L);
};
