#pragma once
// newLamp: the script class of a light source.

#include "model/lamp.h"
#include "script/lmp_object.h"

class LMP_Lamp : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Lamp> methods[];

  explicit LMP_Lamp(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newLamp"; }
  const char* className() const override { return constructorName(); }

  // newLamp(parent or scene [, lamp to copy]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Lamp* lamp() const { return static_cast<MDL_Lamp*>(model); }
  // The lamp when it is a spot lamp; the spot methods do nothing otherwise.
  MDL_Lamp* spot() const { return lamp() && lamp()->kind == LAMP_SPOT ? lamp() : nullptr; }

  int getShadow(lua_State* L);
  int setShadow(lua_State* L);
  int getOn(lua_State* L);
  int setOn(lua_State* L);
  int getShadowType(lua_State* L);
  int setShadowType(lua_State* L);
  int getShadowDepth(lua_State* L);
  int setShadowDepth(lua_State* L);
  int getShadowCoeff(lua_State* L);
  int setShadowCoeff(lua_State* L);
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int getAmbientColor(lua_State* L);
  int setAmbientColor(lua_State* L);
  int getSpotExponent(lua_State* L);
  int setSpotExponent(lua_State* L);
  int getSpotSize(lua_State* L);
  int setSpotSize(lua_State* L);
  int getEnergy(lua_State* L);
  int setEnergy(lua_State* L);
};
