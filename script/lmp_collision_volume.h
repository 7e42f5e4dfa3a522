#pragma once
// newCollisionVolume: the script class of a collision volume.

#include "model/collision_volume.h"
#include "script/lmp_object.h"

class LMP_CollisionVolume : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_CollisionVolume> methods[];

  explicit LMP_CollisionVolume(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newCollisionVolume"; }
  const char* className() const override { return constructorName(); }

  // newCollisionVolume(parent or scene [, source volume]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_CollisionVolume* volume() const { return static_cast<MDL_CollisionVolume*>(model); }

  int getCollisionLayer(lua_State* L);
  int setCollisionLayer(lua_State* L);
  int getCollisionMask(lua_State* L);
  int setCollisionMask(lua_State* L);
};
