#pragma once
// newAnimatedMesh: the script class of skinned meshes. It takes the looks
// methods of newMesh (one body serves both), not its vertex methods.

#include "model/animated_mesh.h"
#include "script/lmp_mesh.h"

class LMP_AnimatedMesh : public LMP_Mesh {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_AnimatedMesh> methods[];

  explicit LMP_AnimatedMesh(MDL_Object* object) : LMP_Mesh(object) {}
  static const char* constructorName() { return "newAnimatedMesh"; }
  const char* className() const override { return constructorName(); }

  // newAnimatedMesh(parent or scene [, source animated mesh]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_AnimatedMesh* animatedMesh() const { return static_cast<MDL_AnimatedMesh*>(model); }

  int setLocked(lua_State* L);
  int update(lua_State* L);
};
