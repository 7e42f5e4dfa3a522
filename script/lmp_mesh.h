#pragma once
// newMesh: the script class of meshes. Its looks methods serve
// newAnimatedMesh too; the vertex methods are its own.

#include "model/mesh.h"
#include "script/lmp_object.h"

class LMP_Mesh : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Mesh> methods[];

  explicit LMP_Mesh(MDL_Object* object) : LMP_Object(object) {}
  static const char* constructorName() { return "newMesh"; }
  const char* className() const override { return constructorName(); }

  // newMesh(parent or scene [, source mesh]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Mesh* mesh() const { return static_cast<MDL_Mesh*>(model); }

  // Looks, shared with newAnimatedMesh.
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int getMaterial(lua_State* L);
  int setTexture(lua_State* L);
  int getTexture(lua_State* L);
  int setOwnMaterial(lua_State* L);
  int setCastShadow(lua_State* L);
  int setReceiveShadow(lua_State* L);
  int getDisplayMode(lua_State* L);
  int setDisplayMode(lua_State* L);

  // Vertices, counted from 1.
  int getNumVertices(lua_State* L);
  int getVertexPosition(lua_State* L);
  int setVertexPosition(lua_State* L);
  int resetVertexPosition(lua_State* L);
  int getVertexColor(lua_State* L);
  int setVertexColor(lua_State* L);
  int resetVertexColor(lua_State* L);
};
