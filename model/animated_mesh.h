// Animated meshes: a mesh whose positions and normals follow the bones
// that deform it, each bone with its weighted group of vertices. Everything
// that reads a mesh through its virtual accessors sees the skinned shape.
#pragma once

#include <cstdint>

#include "model/bone.h"
#include "model/mesh.h"

struct AnimatedMeshData;

class MDL_AnimatedMesh : public MDL_Mesh {
 public:
  // Far more bones than any content has; a larger count is refused.
  static constexpr int32_t kMaxBones = 1 << 16;

  int32_t boneCount = 0;
  AnimatedMeshData** boneData = nullptr;  // owned array; groups owned by the models set
  MDL_Bone** bones = nullptr;             // owned array, parallel to boneData; slots may be null
  Vec3 skinnedMin, skinnedMax;
  bool locked = false;  // while set only an explicit update skins the mesh
  // One entry per vertex of the mesh data, owned. Null without mesh data;
  // no normals without normals in the data.
  Vec3* skinnedVertices = nullptr;
  Vec3* skinnedNormals = nullptr;
  TriangleInfo* skinnedTriangleInfos = nullptr;  // private copy, normals follow the skin

  MDL_AnimatedMesh() { type = OBJECT_ANIMATED_MESH; }
  // Copies the mesh part, the bone slots (the scene's instantiation then
  // swaps in the cloned bones), the box and the lock; the skinned arrays
  // start from the rest shape, not from the source's skinned state.
  MDL_AnimatedMesh(const MDL_AnimatedMesh& other);
  ~MDL_AnimatedMesh() override;
  MDL_Object* copyObject() const override { return new MDL_AnimatedMesh(*this); }
  void remapClonedLinks(Scene& scene, CloneMap* map) override;

  // The object reader (name and "matrix") only.
  bool loadXml(const TiXmlElement* element) override;

  Vec3* vertex(int32_t i) override;
  Vec3* normal(int32_t i) override;
  TriangleInfo* triangleInfos() override;
  const Vec3* boundsMin() override;
  const Vec3* boundsMax() override;

  // count empty bone slots (both arrays); the old slots are freed. False
  // for a count outside [0, kMaxBones] or out of memory (no slots then).
  bool allocateBones(int32_t count);
  // (Re)allocates the skinned arrays from the mesh data's rest shape and
  // sets the box to the data's box. Without mesh data the arrays are null.
  // False only when out of memory.
  bool allocateSkinned();
  // The bone of slot i when the pair takes part in skinning: a group and a
  // live (not flagged) bone object; null otherwise.
  MDL_Bone* activeBone(int32_t i) const;
  // Clears every slot whose bone is flagged for deletion.
  void forgetDeletedBones();

  // Recomputes the skinned shape from the bones. Without force nothing
  // happens while locked, without bones, or when no bone moved.
  void update(bool force);

 private:
  bool copySkinFromRest();
  void freeSkinned();
};
