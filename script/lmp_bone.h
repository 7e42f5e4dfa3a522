#pragma once
// newBone: the script class of the bones of loaded models. Scripts cannot
// make bones; they reach them through the object tree.

#include "model/bone.h"
#include "script/lmp_object.h"

class LMP_Bone : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Bone> methods[];

  explicit LMP_Bone(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newBone"; }
  const char* className() const override { return constructorName(); }

  // Refused, whatever the arguments: reports the usage and answers a proxy
  // without a bone.
  static constexpr int kConstructorArgs = -1;
  static LMP_Proxy* construct(lua_State* L);

  MDL_Bone* bone() const { return static_cast<MDL_Bone*>(model); }

  int reset(lua_State* L);
  int movePoint(lua_State* L);
};
