#pragma once
// newMike: the script class of a mike, the listener a viewport hears through.

#include "model/sound.h"
#include "script/lmp_object.h"

class LMP_Mike : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Mike> methods[];

  explicit LMP_Mike(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newMike"; }
  const char* className() const override { return constructorName(); }

  // newMike(parent or scene [, mike]); mikes are never copied, so a source
  // gives a proxy without a model.
  static LMP_Proxy* construct(lua_State* L);

  MDL_Mike* mike() const { return static_cast<MDL_Mike*>(model); }

  int getGain(lua_State* L);
  int setGain(lua_State* L);
  int getOn(lua_State* L);
  int setOn(lua_State* L);
};
