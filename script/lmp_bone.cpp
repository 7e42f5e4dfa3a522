#include "script/lmp_bone.h"

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_values.h"

const char* const LMP_Bone::luaName = "newBone";

LMP_Proxy* LMP_Bone::construct(lua_State* L) {
  LMP_reportError(L, "Unsupported usage of a Lua constructor LMP_Bone");
  return new LMP_Bone(nullptr);
}

int LMP_Bone::reset(lua_State*) {
  if (!bone()) return 0;
  RigidTransform& local = bone()->editLocal();
  local.position = bone()->restTransform.position;
  local.basis = bone()->restTransform.basis;
  return 0;
}

int LMP_Bone::movePoint(lua_State* L) {
  double* point = nullptr;
  double* target = nullptr;
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!bone() || !ctrl || !LMP_getArgs(L, "VV", &point, &target)) return 0;
  bone()->movePoint(LMP_toVec3(point), LMP_toVec3(target), ctrl->engine.get());
  return 0;
}

const LMP_MethodReg<LMP_Bone> LMP_Bone::methods[] = {
    {"reset", &LMP_Bone::reset},
    {"movePoint", &LMP_Bone::movePoint},
    {nullptr, nullptr},
};
