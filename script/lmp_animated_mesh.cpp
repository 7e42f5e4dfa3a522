#include "script/lmp_animated_mesh.h"

#include "script/lmp_args.h"

const char* const LMP_AnimatedMesh::luaName = "newAnimatedMesh";

LMP_Proxy* LMP_AnimatedMesh::construct(lua_State* L) {
  MDL_Object* model =
      LMP_constructModel<LMP_AnimatedMesh>(L, [] { return static_cast<MDL_Object*>(new MDL_AnimatedMesh()); });
  return new LMP_AnimatedMesh(model);
}

int LMP_AnimatedMesh::setLocked(lua_State* L) {
  bool locked = false;
  if (animatedMesh() && LMP_getArgs(L, "B", &locked)) animatedMesh()->locked = locked;
  return 0;
}

int LMP_AnimatedMesh::update(lua_State*) {
  if (animatedMesh()) animatedMesh()->update(true);
  return 0;
}

// The looks rows of newMesh, then the skinning rows; not the vertex rows.
const LMP_MethodReg<LMP_AnimatedMesh> LMP_AnimatedMesh::methods[] = {
    {"getColor", &LMP_Mesh::getColor},
    {"setColor", &LMP_Mesh::setColor},
    {"getMaterial", &LMP_Mesh::getMaterial},
    {"setTexture", &LMP_Mesh::setTexture},
    {"getTexture", &LMP_Mesh::getTexture},
    {"setOwnMaterial", &LMP_Mesh::setOwnMaterial},
    {"setCastShadow", &LMP_Mesh::setCastShadow},
    {"setReceiveShadow", &LMP_Mesh::setReceiveShadow},
    {"getDisplayMode", &LMP_Mesh::getDisplayMode},
    {"setDisplayMode", &LMP_Mesh::setDisplayMode},
    {"setLocked", &LMP_AnimatedMesh::setLocked},
    {"update", &LMP_AnimatedMesh::update},
    {nullptr, nullptr},
};
