// The translucent pass's side of the ordering tree: which mesh triangle each
// of the tree's triangles is, so that the walk can have its corners again,
// computed as the pass computed them when it handed the triangle over.
#pragma once

#include <cstdint>

#include "model/ptr_array.h"
#include "model/vec3.h"
#include "view/gl/bsp.h"

class Material;
struct MeshData;

class TranslucentSource final : public BspSource {
 public:
  // One mesh as the pass takes it to eye space.
  struct Mesh {
    const MeshData* data;
    Material* material;
    const Vec3* positions;
    const Vec3* normals;  // null without usable normals
    bool uvs, colors;     // whether those arrays are used
    double toEye[16];
    Matrix3 normalToEye;
  };
  struct Triangle {
    int32_t mesh, index;  // into meshes, and the mesh's triangle
  };

  void reset(const BspTree* tree) {
    tree_ = tree;
    meshes.resize(0);
    triangles.resize(0);
  }
  // Eye-space position of a mesh's vertex.
  static Vec3 toEye(const Mesh& mesh, int32_t vertex);

  BspVertex corner(int32_t triangle, int k) const override;
  Material* material(int32_t triangle) const override;

  // By tree triangle number; reused from frame to frame.
  GrowArray<Mesh> meshes{false};
  GrowArray<Triangle> triangles{false};

 private:
  const BspTree* tree_ = nullptr;  // for the planes of meshes without normals
};
