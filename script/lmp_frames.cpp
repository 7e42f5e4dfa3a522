#include "script/lmp_frames.h"

#include "model/rigid_body.h"
#include "script/lmp_args.h"
#include "script/lmp_values.h"

void LMP_storeInFrame(lua_State* L, MDL_RigidBody* body, int frame, const double* v, bool axis, Vec3& stored) {
  const Vec3 given = LMP_toVec3(v);
  if (frame == LMP_REF_LOCAL) {
    stored = given;
  } else if (frame == LMP_REF_GLOBAL) {
    if (!body) {
      stored = given;
      return;
    }
    const RigidTransform& w = body->getWorld();
    if (axis)
      w.toLocalDirection(given, stored);
    else
      w.toLocalPoint(given, stored);
  } else {
    LMP_reportError(L, "Invalid reference ID");
  }
}

int LMP_setInFrame(lua_State* L, MDL_RigidBody* body, bool axis, Vec3& stored) {
  double* v = nullptr;
  int frame = LMP_REF_GLOBAL;
  if (LMP_getArgs(L, "V|I", &v, &frame)) LMP_storeInFrame(L, body, frame, v, axis, stored);
  return 0;
}

int LMP_getInFrame(lua_State* L, MDL_RigidBody* body, bool axis, const Vec3& stored) {
  int frame = LMP_REF_GLOBAL;
  if (lua_gettop(L) > 0 && !LMP_getArgs(L, "I", &frame)) return 0;
  if (frame == LMP_REF_LOCAL || (frame == LMP_REF_GLOBAL && !body)) {
    LMP_pushV3(L, stored);
  } else if (frame == LMP_REF_GLOBAL) {
    const RigidTransform& w = body->getWorld();
    LMP_pushV3(L, axis ? w.basis * stored : w.toWorldPoint(stored));
  } else {
    LMP_reportError(L, "Invalid reference ID");
    return 0;
  }
  return 1;
}

Scene* LMP_sceneOfBodies(lua_State* L, MDL_RigidBody* a, MDL_RigidBody* b, const char* differentScenes) {
  if (!a && !b) {
    LMP_reportError(L, "At least one rigid body expected");
    return nullptr;
  }
  if (a && b && a->scene != b->scene) {
    LMP_reportError(L, "%s", differentScenes);
    return nullptr;
  }
  return a ? a->scene : b->scene;
}
