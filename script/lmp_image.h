#pragma once
// newImage: the script class of picture overlays, a textured square drawn
// over the viewport.

#include "model/image.h"
#include "script/lmp_object.h"

class LMP_Image : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Image> methods[];

  explicit LMP_Image(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newImage"; }
  const char* className() const override { return constructorName(); }

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
