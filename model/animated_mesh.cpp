#include "model/animated_mesh.h"

#include <cstring>
#include <new>

#include "core/assert.h"
#include "model/constants.h"
#include "model/mesh_data.h"
#include "model/scene.h"

namespace {

constexpr double kHuge = kDoubleMax;

}  // namespace

MDL_AnimatedMesh::MDL_AnimatedMesh(const MDL_AnimatedMesh& other) : MDL_Mesh(other), locked(other.locked) {
  if (allocateBones(other.boneCount)) {
    // A pair that could not skin the source (a missing or deleted bone)
    // is left empty rather than cloned.
    for (int32_t i = 0; i < boneCount; ++i) {
      if (!other.activeBone(i)) continue;
      boneData[i] = other.boneData[i];
      bones[i] = other.bones[i];
    }
  }
  allocateSkinned();
  skinnedMin = other.skinnedMin;
  skinnedMax = other.skinnedMax;
}

MDL_AnimatedMesh::~MDL_AnimatedMesh() {
  delete[] bones;
  freeSkinned();
  delete[] boneData;
}

void MDL_AnimatedMesh::freeSkinned() {
  delete[] skinnedVertices;
  delete[] skinnedNormals;
  delete[] skinnedTriangleInfos;
  skinnedVertices = skinnedNormals = nullptr;
  skinnedTriangleInfos = nullptr;
}

bool MDL_AnimatedMesh::loadXml(const TiXmlElement* element) {
  MDL_Object::loadXml(element);
  return true;
}

Vec3* MDL_AnimatedMesh::vertex(int32_t i) { return skinnedVertices ? skinnedVertices + i : nullptr; }
Vec3* MDL_AnimatedMesh::normal(int32_t i) { return skinnedNormals ? skinnedNormals + i : nullptr; }
TriangleInfo* MDL_AnimatedMesh::triangleInfos() { return skinnedTriangleInfos; }
const Vec3* MDL_AnimatedMesh::boundsMin() { return &skinnedMin; }
const Vec3* MDL_AnimatedMesh::boundsMax() { return &skinnedMax; }

bool MDL_AnimatedMesh::allocateBones(int32_t count) {
  delete[] bones;
  delete[] boneData;
  bones = nullptr;
  boneData = nullptr;
  boneCount = 0;
  if (count < 0 || count > kMaxBones) return false;
  if (count == 0) return true;
  bones = new (std::nothrow) MDL_Bone*[count]();
  boneData = new (std::nothrow) AnimatedMeshData*[count]();
  if (!bones || !boneData) {
    delete[] bones;
    delete[] boneData;
    bones = nullptr;
    boneData = nullptr;
    return false;
  }
  boneCount = count;
  return true;
}

bool MDL_AnimatedMesh::allocateSkinned() {
  freeSkinned();
  if (!meshData) return true;
  if (!copySkinFromRest()) {
    freeSkinned();
    return false;
  }
  skinnedMin = meshData->boundsMin;
  skinnedMax = meshData->boundsMax;
  return true;
}

bool MDL_AnimatedMesh::copySkinFromRest() {
  const MeshData& d = *meshData;
  const int32_t n = d.vertexCount > 0 ? d.vertexCount : 0;
  skinnedVertices = new (std::nothrow) Vec3[n];
  if (!skinnedVertices) return false;
  if (d.vertices) std::memcpy(static_cast<void*>(skinnedVertices), d.vertices, sizeof(Vec3) * n);
  if (d.normals) {
    skinnedNormals = new (std::nothrow) Vec3[n];
    if (!skinnedNormals) return false;
    std::memcpy(static_cast<void*>(skinnedNormals), d.normals, sizeof(Vec3) * n);
  }
  if (d.triangleInfos && d.triangleCount > 0) {
    skinnedTriangleInfos = new (std::nothrow) TriangleInfo[d.triangleCount];
    if (!skinnedTriangleInfos) return false;
    std::memcpy(static_cast<void*>(skinnedTriangleInfos), d.triangleInfos, sizeof(TriangleInfo) * d.triangleCount);
  }
  return true;
}

MDL_Bone* MDL_AnimatedMesh::activeBone(int32_t i) const {
  VS_ASSERT(i >= 0 && i < boneCount);
  if (!boneData[i]) return nullptr;
  MDL_Bone* b = bones[i];
  if (!b || b->pendingDelete || b->type != OBJECT_BONE) return nullptr;
  return b;
}

void MDL_AnimatedMesh::forgetDeletedBones() {
  for (int32_t i = 0; i < boneCount; ++i)
    if (bones[i] && bones[i]->pendingDelete) bones[i] = nullptr;
}

void MDL_AnimatedMesh::remapClonedLinks(Scene& scene, CloneMap* map) {
  for (int32_t i = 0; i < boneCount; ++i) {
    if (!activeBone(i)) {
      bones[i] = nullptr;
      continue;
    }
    // cloneObject copies by class, so a bone's clone is a bone.
    bones[i] = static_cast<MDL_Bone*>(scene.cloneObject(bones[i], map));
  }
}

void MDL_AnimatedMesh::update(bool force) {
  if (!skinnedVertices) return;  // no geometry to skin
  if (!force) {
    if (locked || boneCount < 1) return;
    bool moved = false;
    for (int32_t i = 0; i < boneCount && !moved; ++i)
      if (MDL_Bone* b = activeBone(i)) moved = b->changed != 0;
    if (!moved) return;
  }
  changed = 1;
  const MeshData& d = *meshData;
  const int32_t vertexCount = d.vertexCount;
  Vec3* const outV = skinnedVertices;
  Vec3* const outN = skinnedNormals;
  std::memset(static_cast<void*>(outV), 0, sizeof(Vec3) * vertexCount);
  if (outN) std::memset(static_cast<void*>(outN), 0, sizeof(Vec3) * vertexCount);

  const RigidTransform& meshWorld = getWorld();
  for (int32_t b = 0; b < boneCount; ++b) {
    MDL_Bone* bone = activeBone(b);
    if (!bone) continue;
    const AnimatedMeshData& g = *boneData[b];
    if (!g.restPositions || !g.vertexIndices || !g.weights) continue;  // never bound
    RigidTransform r = bone->getWorld();
    meshWorld.makeRelative(r);
    const Vec3 X = r.basis.axis[0], Y = r.basis.axis[1], Z = r.basis.axis[2], P = r.position;
    const int32_t n = g.count < g.weightCount ? g.count : g.weightCount;
    const Vec3* const rest = g.restPositions;
    const Vec3* const restN = outN ? g.restNormals : nullptr;
    for (int32_t j = 0; j < n; ++j) {
      const int32_t v = g.vertexIndices[j];
      if (v < 0 || v >= vertexCount) continue;
      const double w = g.weights[j];
      const Vec3& p = rest[j];
      Vec3& o = outV[v];
      o.x += w * (X.x * p.x + Y.x * p.y + Z.x * p.z + P.x);
      o.y += w * (X.y * p.x + Y.y * p.y + Z.y * p.z + P.y);
      o.z += w * (X.z * p.x + Y.z * p.y + Z.z * p.z + P.z);
      if (restN) {
        const Vec3& q = restN[j];
        Vec3& m = outN[v];
        m.x += w * (X.x * q.x + Y.x * q.y + Z.x * q.z);
        m.y += w * (X.y * q.x + Y.y * q.y + Z.y * q.z);
        m.z += w * (X.z * q.x + Y.z * q.y + Z.z * q.z);
      }
    }
  }

  Vec3 lo(kHuge, kHuge, kHuge), hi(-kHuge, -kHuge, -kHuge);
  for (int32_t v = 0; v < vertexCount; ++v) {
    const Vec3& p = outV[v];
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  skinnedMin = lo;
  skinnedMax = hi;

  if (skinnedTriangleInfos && d.triangles) {
    for (int32_t t = 0; t < d.triangleCount; ++t) {
      const int32_t* c = d.triangles + 3 * t;
      const Vec3& a = outV[c[0]];
      skinnedTriangleInfos[t].normal = cross3(outV[c[1]] - a, outV[c[2]] - a);
    }
  }
}
