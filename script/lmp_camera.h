#pragma once
// newCamera: the script class of a camera, the viewpoint a viewport shows.

#include "model/camera.h"
#include "script/lmp_object.h"

class LMP_Camera : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Camera> methods[];

  explicit LMP_Camera(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newCamera"; }
  const char* className() const override { return constructorName(); }

  // newCamera(parent or scene [, camera to copy]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Camera* camera() const { return static_cast<MDL_Camera*>(model); }

  int getFOV(lua_State* L);
  int setFOV(lua_State* L);
  int getNearZ(lua_State* L);
  int setNearZ(lua_State* L);
  int getFarZ(lua_State* L);
  int setFarZ(lua_State* L);
};
