#include "script/lmp_locator.h"

#include <new>

#include "script/lmp_args.h"

const char* const LMP_Locator::luaName = "newLocator";

LMP_Proxy* LMP_Locator::construct(lua_State* L) {
  if (lua_gettop(L) > 2) LMP_reportError(L, "Too much arguments for %s", luaName);
  MDL_Object* model =
      LMP_constructModel<LMP_Locator>(L, [] { return static_cast<MDL_Object*>(new (std::nothrow) MDL_Locator()); });
  return new (std::nothrow) LMP_Locator(model);
}

const LMP_MethodReg<LMP_Locator> LMP_Locator::methods[] = {
    {nullptr, nullptr},
};
