#pragma once
// newRigidBody: the script class of a rigid body, the object that springs
// and joints connect.

#include "model/rigid_body.h"
#include "script/lmp_object.h"

class LMP_RigidBody : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_RigidBody> methods[];

  explicit LMP_RigidBody(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newRigidBody"; }
  const char* className() const override { return constructorName(); }

  // newRigidBody(parent or scene [, source object]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_RigidBody* body() const { return static_cast<MDL_RigidBody*>(model); }

  int getSpeed(lua_State* L);
  int setSpeed(lua_State* L);
  int getForce(lua_State* L);
  int setForce(lua_State* L);
  int getTorque(lua_State* L);
  int setTorque(lua_State* L);
  int getAngularSpeed(lua_State* L);
  int setAngularSpeed(lua_State* L);
  int getMass(lua_State* L);
  int setMass(lua_State* L);
  int getInertia(lua_State* L);
  int setInertia(lua_State* L);
  int getElasticity(lua_State* L);
  int setElasticity(lua_State* L);
  int getFriction(lua_State* L);
  int setFriction(lua_State* L);
  int getDamping(lua_State* L);
  int setDamping(lua_State* L);
  int getAngularDamping(lua_State* L);
  int setAngularDamping(lua_State* L);
  int getStillDelay(lua_State* L);
  int setStillDelay(lua_State* L);
  int getStill(lua_State* L);
  int setStill(lua_State* L);
  int getVerticesGroundCollision(lua_State* L);
  int setVerticesGroundCollision(lua_State* L);
  int computeMassAndInertia(lua_State* L);
};
