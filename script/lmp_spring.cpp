#include "script/lmp_spring.h"

#include <memory>

#include "model/rigid_body.h"
#include "model/scene.h"
#include "script/lmp_args.h"
#include "script/lmp_frames.h"

const char* const LMP_Spring::luaName = "newSpring";

LMP_Spring::~LMP_Spring() {
  // A live spring's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (spring() && spring()->proxy.get() == this) spring()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_Spring::construct(lua_State* L) {
  MDL_RigidBody *a = nullptr, *b = nullptr;
  double *pointA = nullptr, *pointB = nullptr;
  int frameA = LMP_REF_GLOBAL, frameB = LMP_REF_GLOBAL;
  // Parsed first: a wrong value raises before anything is made.
  const bool given = LMP_getArgs(L, "RVRV|II", &a, &pointA, &b, &pointB, &frameA, &frameB) != 0;
  std::unique_ptr<LMP_Spring> proxy(new LMP_Spring());
  if (!given) return proxy.release();
  Scene* scene = LMP_sceneOfBodies(L, a, b, "Spring rigid bodies must belong to the same scene");
  if (!scene) return proxy.release();
  Spring* s = scene->addSpring();
  LMP_requireMemory(s);
  s->bodyA = a;
  s->bodyB = b;
  LMP_storeInFrame(L, a, frameA, pointA, false, s->pointA);
  LMP_storeInFrame(L, b, frameB, pointB, false, s->pointB);
  s->proxy.assign(proxy.get());
  proxy->model = s;
  return proxy.release();
}

namespace {
int pushNumber(lua_State* L, Spring* s, double Spring::*field) {
  if (!s) return 0;
  lua_pushnumber(L, s->*field);
  return 1;
}
int setNumber(lua_State* L, Spring* s, double Spring::*field) {
  double v = 0;
  if (s && LMP_getArgs(L, "N", &v)) s->*field = v;
  return 0;
}
}  // namespace

int LMP_Spring::getStiffness(lua_State* L) { return pushNumber(L, spring(), &Spring::stiffness); }
int LMP_Spring::setStiffness(lua_State* L) { return setNumber(L, spring(), &Spring::stiffness); }
int LMP_Spring::getDamping(lua_State* L) { return pushNumber(L, spring(), &Spring::damping); }
int LMP_Spring::setDamping(lua_State* L) { return setNumber(L, spring(), &Spring::damping); }
int LMP_Spring::getRestPosition(lua_State* L) { return pushNumber(L, spring(), &Spring::restLength); }
int LMP_Spring::setRestPosition(lua_State* L) { return setNumber(L, spring(), &Spring::restLength); }

int LMP_Spring::getPointA(lua_State* L) {
  return spring() ? LMP_getInFrame(L, spring()->bodyA, false, spring()->pointA) : 0;
}
int LMP_Spring::getPointB(lua_State* L) {
  return spring() ? LMP_getInFrame(L, spring()->bodyB, false, spring()->pointB) : 0;
}
int LMP_Spring::setPointA(lua_State* L) {
  return spring() ? LMP_setInFrame(L, spring()->bodyA, false, spring()->pointA) : 0;
}
int LMP_Spring::setPointB(lua_State* L) {
  return spring() ? LMP_setInFrame(L, spring()->bodyB, false, spring()->pointB) : 0;
}

const LMP_MethodReg<LMP_Spring> LMP_Spring::methods[] = {
    {"getStiffness", &LMP_Spring::getStiffness},
    {"setStiffness", &LMP_Spring::setStiffness},
    {"getDamping", &LMP_Spring::getDamping},
    {"setDamping", &LMP_Spring::setDamping},
    {"getRestPosition", &LMP_Spring::getRestPosition},
    {"setRestPosition", &LMP_Spring::setRestPosition},
    {"getPointA", &LMP_Spring::getPointA},
    {"getPointB", &LMP_Spring::getPointB},
    {"setPointA", &LMP_Spring::setPointA},
    {"setPointB", &LMP_Spring::setPointB},
    {nullptr, nullptr},
};
