#include "script/lmp_mike.h"

#include "script/lmp_fields.h"

const char* const LMP_Mike::luaName = "newMike";

LMP_Proxy* LMP_Mike::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Mike>(L, [] { return static_cast<MDL_Object*>(new MDL_Mike()); });
  return new LMP_Mike(model);
}

int LMP_Mike::getGain(lua_State* L) { return LMP_getField(L, mike(), &MDL_Mike::gain); }
int LMP_Mike::setGain(lua_State* L) { return LMP_setField(L, mike(), &MDL_Mike::gain); }
int LMP_Mike::getOn(lua_State* L) { return LMP_getField(L, mike(), &MDL_Mike::on); }
int LMP_Mike::setOn(lua_State* L) { return LMP_setField(L, mike(), &MDL_Mike::on); }

const LMP_MethodReg<LMP_Mike> LMP_Mike::methods[] = {
    {"getGain", &LMP_Mike::getGain},
    {"setGain", &LMP_Mike::setGain},
    {"getOn", &LMP_Mike::getOn},
    {"setOn", &LMP_Mike::setOn},
    {nullptr, nullptr},
};
