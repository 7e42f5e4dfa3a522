#include "script/lmp_locator.h"

#include "script/lmp_args.h"

const char* const LMP_Locator::luaName = "newLocator";

LMP_Proxy* LMP_Locator::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Locator>(L, [] { return static_cast<MDL_Object*>(new MDL_Locator()); });
  return new LMP_Locator(model);
}

const LMP_MethodReg<LMP_Locator> LMP_Locator::methods[] = {
    {nullptr, nullptr},
};
