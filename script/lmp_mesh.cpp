#include "script/lmp_mesh.h"

#include <cstring>
#include <new>

#include "model/material.h"
#include "model/scene.h"
#include "script/lmp_args.h"
#include "script/lmp_fields.h"
#include "script/lmp_material.h"
#include "script/lmp_texture.h"
#include "script/lmp_values.h"

const char* const LMP_Mesh::luaName = "newMesh";

namespace {

// The mesh's material made private first; null when there is no mesh or no
// memory for the copy.
Material* ownedMaterial(MDL_Mesh* mesh) { return mesh && mesh->ownMaterial() ? mesh->material : nullptr; }

// Geometry a vertex method may touch: the mesh's data when index (from 1)
// lies in 1..count; else null.
MeshData* dataAt(MDL_Mesh* mesh, int index, int32_t count) {
  if (!mesh || !mesh->meshData || index < 1 || index > count) return nullptr;
  return mesh->meshData;
}

// Keeps the loaded values before the first script edit; false when there
// is no memory for the copy.
template <class T>
bool saveOnce(T*& saved, const T* values, int32_t count) {
  if (saved) return true;
  saved = new (std::nothrow) T[static_cast<size_t>(count)];
  if (!saved) return false;
  std::memcpy(static_cast<void*>(saved), values, sizeof(T) * static_cast<size_t>(count));
  return true;
}

// For the methods that take nothing: a surplus argument is reported and
// the call then changes nothing.
bool noArguments(lua_State* L) {
  LMP_getArgs(L, "");
  return lua_gettop(L) == 0;
}

int32_t countTranslucent(const ColorRGBA* colors, int32_t count) {
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i)
    if (colors[i].a != 1.0) ++n;
  return n;
}

}  // namespace

LMP_Proxy* LMP_Mesh::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Mesh>(L, [] { return static_cast<MDL_Object*>(new MDL_Mesh()); });
  return new LMP_Mesh(model);
}

int LMP_Mesh::getColor(lua_State* L) {
  if (!mesh() || !mesh()->material) return 0;
  return LMP_returnColor(L, mesh()->material->diffuse);
}

int LMP_Mesh::setColor(lua_State* L) {
  double* c = nullptr;
  if (!mesh() || !LMP_getArgs(L, "C", &c)) return 0;
  if (Material* m = ownedMaterial(mesh())) m->diffuse = LMP_toColor(c);
  return 0;
}

int LMP_Mesh::getMaterial(lua_State* L) { return mesh() ? LMP_pushMaterial(L, mesh()->material) : 0; }

int LMP_Mesh::setTexture(lua_State* L) {
  if (!mesh()) return 0;
  ImageSource* texture = LMP_lastTextureArg(L, false);
  Material* m = ownedMaterial(mesh());
  if (!m || (m->layers.count == 0 && !m->addLayer())) return 0;
  m->layers[m->layers.count - 1].image = texture;
  return 0;
}

int LMP_Mesh::getTexture(lua_State* L) {
  Material* m = mesh() ? mesh()->material : nullptr;
  if (!m || m->layers.count == 0) return 0;
  return LMP_pushTexture(L, m->layers[0].image);
}

int LMP_Mesh::setOwnMaterial(lua_State* L) {
  if (mesh() && noArguments(L)) mesh()->ownMaterial();
  return 0;
}

int LMP_Mesh::setCastShadow(lua_State* L) {
  bool on = false;
  if (!mesh() || !LMP_getArgs(L, "B", &on)) return 0;
  if (Material* m = ownedMaterial(mesh())) m->castShadows = on;
  return 0;
}

int LMP_Mesh::setReceiveShadow(lua_State* L) {
  bool on = false;
  if (!mesh() || !LMP_getArgs(L, "B", &on)) return 0;
  if (Material* m = ownedMaterial(mesh())) m->shadeless = !on;
  return 0;
}

int LMP_Mesh::getDisplayMode(lua_State* L) {
  if (!mesh()) return 0;
  lua_pushnumber(L, mesh()->displayMode);
  return 1;
}

int LMP_Mesh::setDisplayMode(lua_State* L) {
  int mode = 0;
  if (mesh() && LMP_getArgs(L, "I", &mode)) mesh()->displayMode = mode;
  return 0;
}

int LMP_Mesh::getNumVertices(lua_State* L) {
  if (!mesh()) return 0;
  lua_pushnumber(L, mesh()->vertexCount());
  return 1;
}

int LMP_Mesh::getVertexPosition(lua_State* L) {
  int index = 0;
  if (!mesh() || !LMP_getArgs(L, "I", &index)) return 0;
  MeshData* data = dataAt(mesh(), index, mesh()->vertexCount());
  if (!data) return 0;
  LMP_pushV3(L, data->vertices[index - 1]);
  return 1;
}

int LMP_Mesh::setVertexPosition(lua_State* L) {
  int index = 0;
  double* v = nullptr;
  if (!mesh() || !LMP_getArgs(L, "IV", &index, &v)) return 0;
  MeshData* data = dataAt(mesh(), index, mesh()->vertexCount());
  if (!data || !saveOnce(data->savedVertices, data->vertices, data->vertexCount)) return 0;
  data->vertices[index - 1] = LMP_toVec3(v);
  mesh()->geometryDirty = true;
  return 0;
}

int LMP_Mesh::resetVertexPosition(lua_State* L) {
  if (!mesh() || !noArguments(L)) return 0;
  MeshData* data = mesh()->meshData;
  if (!data || !data->savedVertices) return 0;
  std::memcpy(static_cast<void*>(data->vertices), data->savedVertices,
              sizeof(Vec3) * static_cast<size_t>(data->vertexCount));
  mesh()->geometryDirty = true;
  return 0;
}

int LMP_Mesh::getVertexColor(lua_State* L) {
  int index = 0;
  if (!mesh() || !LMP_getArgs(L, "I", &index)) return 0;
  MeshData* data = dataAt(mesh(), index, mesh()->meshData ? mesh()->meshData->givenColorCount : 0);
  if (!data) return 0;
  return LMP_returnColor(L, data->colors[index - 1]);
}

int LMP_Mesh::setVertexColor(lua_State* L) {
  int index = 0;
  double* c = nullptr;
  if (!mesh() || !LMP_getArgs(L, "IC", &index, &c)) return 0;
  // Colours may be fewer than vertices (or none): the index is checked
  // against the colours themselves. Only drawn colours count for the
  // translucent pass.
  MeshData* data = dataAt(mesh(), index, mesh()->meshData ? mesh()->meshData->givenColorCount : 0);
  if (!data || !saveOnce(data->savedColors, data->colors, data->givenColorCount)) return 0;
  ColorRGBA& color = data->colors[index - 1];
  const bool wasOpaque = color.a == 1.0, isOpaque = c[3] == 1.0;
  if (index <= data->colorCount) {
    if (wasOpaque && !isOpaque) ++data->translucentColorCount;
    if (!wasOpaque && isOpaque) --data->translucentColorCount;
  }
  color = LMP_toColor(c);
  mesh()->geometryDirty = true;
  return 0;
}

int LMP_Mesh::resetVertexColor(lua_State* L) {
  if (!mesh() || !noArguments(L)) return 0;
  MeshData* data = mesh()->meshData;
  if (!data || !data->savedColors) return 0;
  std::memcpy(static_cast<void*>(data->colors), data->savedColors,
              sizeof(ColorRGBA) * static_cast<size_t>(data->givenColorCount));
  // The count must describe the restored colours, or a mesh made translucent
  // by a script would stay sorted as translucent after the reset.
  data->translucentColorCount = countTranslucent(data->colors, data->colorCount);
  mesh()->geometryDirty = true;
  return 0;
}

const LMP_MethodReg<LMP_Mesh> LMP_Mesh::methods[] = {
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
    {"getNumVertices", &LMP_Mesh::getNumVertices},
    {"getVertexPosition", &LMP_Mesh::getVertexPosition},
    {"setVertexPosition", &LMP_Mesh::setVertexPosition},
    {"resetVertexPosition", &LMP_Mesh::resetVertexPosition},
    {"getVertexColor", &LMP_Mesh::getVertexColor},
    {"setVertexColor", &LMP_Mesh::setVertexColor},
    {"resetVertexColor", &LMP_Mesh::resetVertexColor},
    {nullptr, nullptr},
};
