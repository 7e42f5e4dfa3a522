#include "script/lmp_rigid_body.h"

#include "model/scene.h"
#include "script/lmp_args.h"
#include "script/lmp_fields.h"
#include "script/lmp_values.h"

const char* const LMP_RigidBody::luaName = "newRigidBody";

namespace {

// The body is moved or pushed by the script: it is awake again.
void wake(MDL_RigidBody* b) {
  b->still = 0;
  b->stillTimer = 0;
}

bool readNumber(lua_State* L, double* out) { return LMP_getArgs(L, "N", out) != 0; }

bool readVector(lua_State* L, Vec3* out) {
  double* v = nullptr;
  if (!LMP_getArgs(L, "V", &v)) return false;
  *out = LMP_toVec3(v);
  return true;
}

// The body takes the copy's position and rotation; the copy keeps its scale
// inside the body, at the body's origin.
void adoptCopy(MDL_RigidBody* body, MDL_Object* copy) {
  const RigidTransform& placed = copy->getWorld();
  RigidTransform& w = body->editWorld();
  w.position = placed.position;
  w.basis = placed.basis;
  Vec3 lengths(length3(w.basis.X()), length3(w.basis.Y()), length3(w.basis.Z()));
  Matrix3::orthonormalize(w.basis, body->keepAxis);
  w.inverseStale = 1;
  body->addChild(copy);
  RigidTransform& l = copy->editLocal();
  l.position = Vec3();
  l.basis = Matrix3();
  for (int i = 0; i < 3; ++i) l.basis.axis[i][i] = lengths[i];
  l.inverseStale = 1;
}

}  // namespace

LMP_Proxy* LMP_RigidBody::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new LMP_RigidBody(nullptr);
  // A parent only names the scene: a body is always a root.
  MDL_RigidBody* body = new MDL_RigidBody;
  LMP_registerNewObject(scene, body);
  if (lua_gettop(L) >= 2) {
    LMP_Object* source = LMP_getObjectArg(L, 2);
    MDL_Object* copy = source && source->object() ? scene->instantiateByName(source->object()) : nullptr;
    if (copy) adoptCopy(body, copy);
  }
  body->getWorld();
  body->recomputeLocal();
  return new LMP_RigidBody(body);
}

int LMP_RigidBody::getSpeed(lua_State* L) { return body() ? LMP_returnV3(L, body()->speed) : 0; }

int LMP_RigidBody::setSpeed(lua_State* L) {
  double *v = nullptr, *point = nullptr;
  if (!body()) return 0;
  int n = LMP_getArgs(L, "V|V", &v, &point);
  if (!n) return 0;
  if (n == 1) {
    wake(body());
    body()->speed = LMP_toVec3(v);
  } else {
    body()->setSpeed(LMP_toVec3(point), LMP_toVec3(v));
  }
  return 0;
}

int LMP_RigidBody::getForce(lua_State* L) { return body() ? LMP_returnV3(L, body()->force) : 0; }

int LMP_RigidBody::setForce(lua_State* L) {
  if (!body() || !readVector(L, &body()->force)) return 0;
  wake(body());
  return 0;
}

int LMP_RigidBody::getTorque(lua_State* L) { return body() ? LMP_returnV3(L, body()->torque) : 0; }

int LMP_RigidBody::setTorque(lua_State* L) {
  if (!body() || !readVector(L, &body()->torque)) return 0;
  wake(body());
  return 0;
}

int LMP_RigidBody::getAngularSpeed(lua_State* L) { return body() ? LMP_returnV3(L, body()->getAngularSpeed()) : 0; }

int LMP_RigidBody::setAngularSpeed(lua_State* L) {
  Vec3 w;
  if (body() && readVector(L, &w)) body()->setAngularSpeed(w);
  return 0;
}

// An immovable body answers +infinity.
int LMP_RigidBody::getMass(lua_State* L) { return body() ? LMP_returnNumber(L, 1.0 / body()->inverseMass) : 0; }

int LMP_RigidBody::setMass(lua_State* L) {
  double m = 0;
  if (body() && readNumber(L, &m)) body()->inverseMass = m == 0.0 ? 0.0 : 1.0 / m;
  return 0;
}

int LMP_RigidBody::getInertia(lua_State* L) {
  if (!body()) return 0;
  const Vec3& ii = body()->inverseInertia;
  return LMP_returnV3(L, Vec3(1.0 / ii.x, 1.0 / ii.y, 1.0 / ii.z));
}

int LMP_RigidBody::setInertia(lua_State* L) {
  Vec3 inertia;
  if (body() && readVector(L, &inertia)) body()->setInertia(inertia);
  return 0;
}

#define LMP_BODY_NUMBER(Get, Set, field)                                                           \
  int LMP_RigidBody::Get(lua_State* L) { return body() ? LMP_returnNumber(L, body()->field) : 0; } \
  int LMP_RigidBody::Set(lua_State* L) {                                                           \
    if (body()) readNumber(L, &body()->field);                                                     \
    return 0;                                                                                      \
  }

LMP_BODY_NUMBER(getElasticity, setElasticity, elasticity)
LMP_BODY_NUMBER(getFriction, setFriction, friction)
LMP_BODY_NUMBER(getDamping, setDamping, damping)
LMP_BODY_NUMBER(getAngularDamping, setAngularDamping, angularDamping)
LMP_BODY_NUMBER(getStillDelay, setStillDelay, stillDelay)
#undef LMP_BODY_NUMBER

int LMP_RigidBody::getStill(lua_State* L) {
  if (!body()) return 0;
  lua_pushboolean(L, body()->still != 0);
  return 1;
}

int LMP_RigidBody::setStill(lua_State* L) {
  bool still = false;
  if (!body() || !LMP_getArgs(L, "B", &still)) return 0;
  body()->still = still ? 1 : 0;
  if (!still) body()->stillTimer = 0;
  return 0;
}

int LMP_RigidBody::getVerticesGroundCollision(lua_State* L) {
  if (!body()) return 0;
  lua_pushboolean(L, body()->verticesGroundCollision != 0);
  return 1;
}

int LMP_RigidBody::setVerticesGroundCollision(lua_State* L) {
  bool on = false;
  if (body() && LMP_getArgs(L, "B", &on)) body()->verticesGroundCollision = on ? 1 : 0;
  return 0;
}

int LMP_RigidBody::computeMassAndInertia(lua_State* L) {
  double density = 0;
  if (body() && readNumber(L, &density)) body()->computeMassAndInertia(density);
  return 0;
}

const LMP_MethodReg<LMP_RigidBody> LMP_RigidBody::methods[] = {
    {"getSpeed", &LMP_RigidBody::getSpeed},
    {"setSpeed", &LMP_RigidBody::setSpeed},
    {"getForce", &LMP_RigidBody::getForce},
    {"setForce", &LMP_RigidBody::setForce},
    {"getTorque", &LMP_RigidBody::getTorque},
    {"setTorque", &LMP_RigidBody::setTorque},
    {"getAngularSpeed", &LMP_RigidBody::getAngularSpeed},
    {"setAngularSpeed", &LMP_RigidBody::setAngularSpeed},
    {"getMass", &LMP_RigidBody::getMass},
    {"setMass", &LMP_RigidBody::setMass},
    {"getInertia", &LMP_RigidBody::getInertia},
    {"setInertia", &LMP_RigidBody::setInertia},
    {"getElasticity", &LMP_RigidBody::getElasticity},
    {"setElasticity", &LMP_RigidBody::setElasticity},
    {"getFriction", &LMP_RigidBody::getFriction},
    {"setFriction", &LMP_RigidBody::setFriction},
    {"getDamping", &LMP_RigidBody::getDamping},
    {"setDamping", &LMP_RigidBody::setDamping},
    {"getAngularDamping", &LMP_RigidBody::getAngularDamping},
    {"setAngularDamping", &LMP_RigidBody::setAngularDamping},
    {"getStillDelay", &LMP_RigidBody::getStillDelay},
    {"setStillDelay", &LMP_RigidBody::setStillDelay},
    {"getStill", &LMP_RigidBody::getStill},
    {"setStill", &LMP_RigidBody::setStill},
    {"getVerticesGroundCollision", &LMP_RigidBody::getVerticesGroundCollision},
    {"setVerticesGroundCollision", &LMP_RigidBody::setVerticesGroundCollision},
    {"computeMassAndInertia", &LMP_RigidBody::computeMassAndInertia},
    {nullptr, nullptr},
};
