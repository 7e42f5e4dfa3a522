// Which per-vertex arrays of a mesh can be drawn: one shorter than the
// vertex list cannot be indexed by every vertex and counts as absent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/mesh.h"

struct MeshArrays {
  int32_t vertices = 0;
  bool normals = false;
  bool colors = false;
  bool uvs = false;

  explicit MeshArrays(const MDL_Mesh& mesh) {
    const MeshData* d = mesh.meshData;
    if (!d) return;
    vertices = d->vertexCount > 0 ? d->vertexCount : 0;
    normals = d->normals && d->normalCount >= vertices;
    colors = d->colors && d->colorCount >= vertices;
    uvs = d->uvs && d->uvCount >= vertices;
  }

  // Byte offsets of each array in a mesh's vertex buffer, in upload order.
  size_t normalOffset() const { return size_t(vertices) * 24; }
  size_t colorOffset() const { return normalOffset() + (normals ? size_t(vertices) * 24 : 0); }
  size_t uvOffset() const { return colorOffset() + (colors ? size_t(vertices) * 32 : 0); }
  size_t bufferSize() const { return uvOffset() + (uvs ? size_t(vertices) * 16 : 0); }
};

// Buffer objects hold the rest pose of plain meshes only: a skinned mesh
// sharing the data must not be drawn from them, and a sprite is placed
// anew every frame.
inline bool drawnFromBuffers(const MDL_Mesh& mesh) {
  return mesh.type == OBJECT_MESH && mesh.displayMode != DISPLAY_MODE_SPRITE;
}
