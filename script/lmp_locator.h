#pragma once
// newLocator: the script class of locators, plain placement markers.

#include "script/lmp_object.h"

// A placement marker: the object methods only.
class LMP_Locator : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Locator> methods[];

  explicit LMP_Locator(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newLocator"; }
  const char* className() const override { return constructorName(); }

  // newLocator(parent or scene [, source locator]).
  static LMP_Proxy* construct(lua_State* L);
};
