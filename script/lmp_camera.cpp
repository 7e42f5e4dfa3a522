#include "script/lmp_camera.h"

#include "model/constants.h"
#include "script/lmp_fields.h"

const char* const LMP_Camera::luaName = "newCamera";

LMP_Proxy* LMP_Camera::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Camera>(L, [] { return static_cast<MDL_Object*>(new MDL_Camera()); });
  return new LMP_Camera(model);
}

// Degrees to scripts, radians inside.
int LMP_Camera::getFOV(lua_State* L) {
  if (!camera()) return 0;
  lua_pushnumber(L, camera()->angle * 57.29577951308232);
  return 1;
}

int LMP_Camera::setFOV(lua_State* L) {
  double degrees = 0;
  if (camera() && LMP_getArgs(L, "N", &degrees)) camera()->setAngle(degrees * kDegToRad);
  return 0;
}

int LMP_Camera::getNearZ(lua_State* L) { return LMP_getField(L, camera(), &MDL_Camera::clipStart); }
int LMP_Camera::setNearZ(lua_State* L) { return LMP_setField(L, camera(), &MDL_Camera::clipStart); }
int LMP_Camera::getFarZ(lua_State* L) { return LMP_getField(L, camera(), &MDL_Camera::clipEnd); }
int LMP_Camera::setFarZ(lua_State* L) { return LMP_setField(L, camera(), &MDL_Camera::clipEnd); }

const LMP_MethodReg<LMP_Camera> LMP_Camera::methods[] = {
    {"getFOV", &LMP_Camera::getFOV},
    {"setFOV", &LMP_Camera::setFOV},
    {"getNearZ", &LMP_Camera::getNearZ},
    {"setNearZ", &LMP_Camera::setNearZ},
    {"getFarZ", &LMP_Camera::getFarZ},
    {"setFarZ", &LMP_Camera::setFarZ},
    {nullptr, nullptr},
};
