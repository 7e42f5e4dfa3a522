#pragma once
// newMaterial: the script class of a material (colours and texture layers).
// Materials reach scripts through the getMaterial of meshes and overlays;
// the constructor makes a proxy with no material.

#include "model/material.h"
#include "script/lmp_binder.h"

class LMP_Material : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Material> methods[];

  LMP_Material() = default;
  ~LMP_Material() override;

  static LMP_Proxy* construct(lua_State* L);

  Material* material() const { return static_cast<Material*>(model); }

  int getAmbient(lua_State* L);
  int setAmbient(lua_State* L);
  int getDiffuse(lua_State* L);
  int setDiffuse(lua_State* L);
  int getSpecular(lua_State* L);
  int setSpecular(lua_State* L);
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int getTexture(lua_State* L);
  int setTexture(lua_State* L);
  int addLayer(lua_State* L);
  int deleteLayer(lua_State* L);
  int rotate(lua_State* L);
  int dilate(lua_State* L);
  int translate(lua_State* L);
  int reset(lua_State* L);
};

// Pushes the material's proxy, making and linking one when it has none.
int LMP_pushMaterial(lua_State* L, Material* material);
