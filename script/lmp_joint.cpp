#include "script/lmp_joint.h"

#include <memory>

#include "model/rigid_body.h"
#include "model/scene.h"
#include "script/lmp_args.h"
#include "script/lmp_frames.h"

const char* const LMP_Joint::luaName = "newJoint";

LMP_Joint::~LMP_Joint() {
  // A live joint's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (joint() && joint()->proxy.get() == this) joint()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_Joint::construct(lua_State* L) {
  int kind = 0;
  MDL_RigidBody *a = nullptr, *b = nullptr;
  double *pointA = nullptr, *axisA = nullptr, *pointB = nullptr, *axisB = nullptr;
  int frames[4] = {LMP_REF_GLOBAL, LMP_REF_GLOBAL, LMP_REF_GLOBAL, LMP_REF_GLOBAL};
  // Parsed first: a wrong value raises before anything is made.
  const bool given = LMP_getArgs(L, "IRVVRVV|IIII", &kind, &a, &pointA, &axisA, &b, &pointB, &axisB, &frames[0],
                                 &frames[1], &frames[2], &frames[3]) != 0;
  std::unique_ptr<LMP_Joint> proxy(new LMP_Joint());
  if (!given) return proxy.release();
  Scene* scene = LMP_sceneOfBodies(L, a, b, "Joint rigid bodies must belong to the same scene");
  if (!scene) return proxy.release();
  Joint* j = LMP_appendNew(scene->joints, new Joint());
  j->init();
  j->bodyA = a;
  j->bodyB = b;
  LMP_storeInFrame(L, a, frames[0], pointA, false, j->pointA);
  LMP_storeInFrame(L, a, frames[1], axisA, true, j->axisA);
  LMP_storeInFrame(L, b, frames[2], pointB, false, j->pointB);
  LMP_storeInFrame(L, b, frames[3], axisB, true, j->axisB);
  j->kind = kind;  // any number: kinds the solver does not know do nothing
  j->proxy.assign(proxy.get());
  proxy->model = j;
  return proxy.release();
}

int LMP_Joint::getPointA(lua_State* L) {
  return joint() ? LMP_getInFrame(L, joint()->bodyA, false, joint()->pointA) : 0;
}
int LMP_Joint::getPointB(lua_State* L) {
  return joint() ? LMP_getInFrame(L, joint()->bodyB, false, joint()->pointB) : 0;
}
int LMP_Joint::getAxisA(lua_State* L) { return joint() ? LMP_getInFrame(L, joint()->bodyA, true, joint()->axisA) : 0; }
int LMP_Joint::getAxisB(lua_State* L) { return joint() ? LMP_getInFrame(L, joint()->bodyB, true, joint()->axisB) : 0; }
int LMP_Joint::setPointA(lua_State* L) {
  return joint() ? LMP_setInFrame(L, joint()->bodyA, false, joint()->pointA) : 0;
}
int LMP_Joint::setPointB(lua_State* L) {
  return joint() ? LMP_setInFrame(L, joint()->bodyB, false, joint()->pointB) : 0;
}
int LMP_Joint::setAxisA(lua_State* L) { return joint() ? LMP_setInFrame(L, joint()->bodyA, true, joint()->axisA) : 0; }
int LMP_Joint::setAxisB(lua_State* L) { return joint() ? LMP_setInFrame(L, joint()->bodyB, true, joint()->axisB) : 0; }

const LMP_MethodReg<LMP_Joint> LMP_Joint::methods[] = {
    {"getPointA", &LMP_Joint::getPointA}, {"getPointB", &LMP_Joint::getPointB}, {"getAxisA", &LMP_Joint::getAxisA},
    {"getAxisB", &LMP_Joint::getAxisB},   {"setPointA", &LMP_Joint::setPointA}, {"setPointB", &LMP_Joint::setPointB},
    {"setAxisA", &LMP_Joint::setAxisA},   {"setAxisB", &LMP_Joint::setAxisB},   {nullptr, nullptr},
};
