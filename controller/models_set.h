// A models set: everything one models XML file of the package describes
// (textures, materials, shared geometry, skinning groups, keyframe tracks and
// the objects built from them). Scripts take objects from it by name and
// instantiate copies into their scenes; the copies share the set's records,
// so the set outlives every scene that might use them.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/ptr_array.h"

class MDL_Object;
class Material;
struct ImageSource;
struct MeshData;
struct AnimationData;
struct AnimatedMeshData;

struct ModelsSet {
  LMP_ProxyRef proxy;
  char* name = nullptr;          // the package file name (malloc)
  PtrArray<MDL_Object> objects;  // every object of the file, in file order
  PtrArray<Material> materials;
  PtrArray<ImageSource> textures;
  PtrArray<MeshData> meshes;
  PtrArray<AnimationData> animations;
  PtrArray<AnimatedMeshData> animatedMeshes;  // one skinning group per record

  ModelsSet() = default;
  ModelsSet(const ModelsSet&) = delete;
  ModelsSet& operator=(const ModelsSet&) = delete;
  // Releases everything the set owns, then its proxy link.
  ~ModelsSet();
  void destroy() { delete this; }

  // The first object, in file order, with exactly this name; null for none.
  MDL_Object* findByName(const char* wanted) const;
};

// The codes of a texture's "filter" attribute ("nearest_point" 1, "linear"
// 2, "mipmap" 3, exact); 0 for a missing or other value.
int32_t CTRL_textureFilterCode(const char* text);

// Largest number of elements one section of a models set may allocate; a
// count beyond it is refused rather than trusted.
constexpr int32_t kModelsSetMaxElements = 1 << 26;
