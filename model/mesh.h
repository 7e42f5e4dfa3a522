// Triangle-mesh objects: shared geometry (MeshData) shown with a material
// that stays shared until the mesh changes its looks, and ray picking.
#pragma once

#include <cstdint>

#include "model/mesh_data.h"
#include "model/object.h"
#include "model/ptr_array.h"

class Material;
class MDL_Lamp;

enum DisplayMode { DISPLAY_MODE_NORMAL = 0, DISPLAY_MODE_SPRITE = 1 };

class MDL_Mesh : public MDL_Object {
 public:
  MeshData* meshData = nullptr;  // owned by the models set
  Material* material = nullptr;  // shared until ownMaterial
  bool ownsMaterial = false;
  int32_t displayMode = DISPLAY_MODE_NORMAL;
  // Shadow-volume triangles (three points each), rebuilt per lamp.
  PointArray shadowSides{false};
  PointArray shadowFrontCap{false};
  PointArray shadowBackCap{false};
  MDL_Lamp* shadowLamp = nullptr;
  // Scratch of the volume build: each vertex's far point and each
  // triangle's facing flag.
  PointArray shadowFar{false};
  GrowArray<uint8_t> shadowFacing{false};
  bool geometryDirty = false;  // vertex positions or colours changed by a script

  MDL_Mesh() { type = OBJECT_MESH; }
  // Shares the geometry and the material; a private material is copied, so
  // the copy never points at a material its source will delete.
  MDL_Mesh(const MDL_Mesh& other);
  ~MDL_Mesh() override;
  MDL_Object* copyObject() const override { return new MDL_Mesh(*this); }

  // The only road to positions, normals, triangle records and box; an
  // animated mesh answers with its skinned data. A mesh without geometry
  // answers null arrays and an empty box at the origin.
  virtual Vec3* vertex(int32_t i);
  virtual Vec3* normal(int32_t i);  // null when the geometry has no normals
  virtual TriangleInfo* triangleInfos();
  virtual const Vec3* boundsMin();
  virtual const Vec3* boundsMax();

  int32_t vertexCount() const { return meshData ? meshData->vertexCount : 0; }
  int32_t triangleCount() const { return meshData ? meshData->triangleCount : 0; }
  // Index triples, always those of the shared geometry.
  const int32_t* triangles() const { return meshData ? meshData->triangles : nullptr; }

  // Gives the mesh a private material (a copy of the current one, or a
  // default one) before a change of looks. False only when out of memory.
  bool ownMaterial();

  // Ray from origin toward target in the mesh's local frame (t = 1 at the
  // target). Only hits with 0 < t < nearest count; on success nearest is
  // the nearest t and triangle the first triangle, in index order, there.
  bool raycast(const Vec3& origin, const Vec3& target, double& nearest, int32_t& triangle);

  // Rebuilds the shadow arrays for lamp (in the mesh's frame) when the mesh
  // or the lamp moved or the lamp is another one; clears `changed`.
  void updateShadowVolume(MDL_Lamp* lamp);
};

// One triangle against origin + t direction. Single-sided unless the mesh's
// geometry is double-sided; a hit must be strictly nearer than `nearest`.
bool intersectRayTriangle(const MDL_Mesh& mesh, const Vec3& origin, const Vec3& direction, const Vec3& a, const Vec3& b,
                          const Vec3& c, double& nearest, bool allowBehind);

// The twelve triangles of a box, two per face in the order z-min, z-max,
// y-max, y-min, x-max, x-min, each wound to face out of the box.
void boxTriangles(const Vec3& min, const Vec3& max, Vec3 out[12][3]);
