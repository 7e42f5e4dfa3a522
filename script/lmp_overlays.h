#pragma once
// newText, newImage, newPolyline and newLocator: the script classes of the
// 2-D overlay objects drawn over a viewport, and of the plain placement
// marker. Images and polylines share one body of code for their looks
// (colour, texture and material), each keeping its own material.
//
// Overlays are sorted by world z. When two overlays have the same z, the
// later one (registered last) covers the earlier one, and picking answers it.

#include "model/image.h"
#include "model/polyline.h"
#include "model/text.h"
#include "script/lmp_object.h"

class CTRL_Generic;
struct FontRecord;

// Messages of newText name newObject.
class LMP_Text : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Text> methods[];

  explicit LMP_Text(MDL_Object* object) : LMP_Object(object) {}

  // newText(parent or scene): exactly one argument.
  static LMP_Proxy* construct(lua_State* L);

  MDL_Text* text() const { return static_cast<MDL_Text*>(model); }

  int getText(lua_State* L);
  int setText(lua_State* L);
  int getFont(lua_State* L);
  int setFont(lua_State* L);
  int getSize(lua_State* L);
  int setSize(lua_State* L);
  int getTabSize(lua_State* L);
  int setTabSize(lua_State* L);
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int getBackgroundColor(lua_State* L);
  int setBackgroundColor(lua_State* L);
  int getBoundingBox(lua_State* L);
  int getCenter(lua_State* L);
};

class LMP_Image : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Image> methods[];

  explicit LMP_Image(MDL_Object* object) : LMP_Object(object) {}
  const char* className() const override { return "newImage"; }

  // newImage(parent or scene [, texture]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Image* image() const { return static_cast<MDL_Image*>(model); }

  int setTexture(lua_State* L);
  int getTexture(lua_State* L);
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int setOwnMaterial(lua_State* L);
  int getAspectRatio(lua_State* L);
  int getCenter(lua_State* L);
  int getMaterial(lua_State* L);
};

class LMP_Polyline : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Polyline> methods[];

  explicit LMP_Polyline(MDL_Object* object) : LMP_Object(object) {}
  const char* className() const override { return "newPolyline"; }

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

// A placement marker: the object methods only.
class LMP_Locator : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Locator> methods[];

  explicit LMP_Locator(MDL_Object* object) : LMP_Object(object) {}
  const char* className() const override { return "newLocator"; }

  // newLocator(parent or scene [, source locator]).
  static LMP_Proxy* construct(lua_State* L);
};

// Texts of every scene that show `font` take the controller's default font
// instead, so that a deleted font never leaves a text without one.
void LMP_textsFallBackToDefaultFont(CTRL_Generic* ctrl, FontRecord* font);
