// Geometry records that a models set loads once and its objects share:
// triangle meshes, keyframe tracks and the weighted vertex groups of skinning.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/color.h"
#include "model/vec3.h"

class TiXmlElement;

// No model XML section's count may make an array of more elements than this:
// a few bytes of XML must not ask for gigabytes.
constexpr int64_t kMaxSectionElements = int64_t{1} << 26;
// True when an array of that many elements may be made for the section;
// otherwise logs the refusal (the caller treats the section as absent).
bool sectionFits(const TiXmlElement* section, int64_t elements);

// One per triangle, parallel to the index triples.
struct TriangleInfo {
  // Entry k: the triangle across the edge from corner k to corner (k+1)%3, or -1.
  int32_t neighbours[3];
  // (Q - P) x (R - P), not normalised.
  Vec3 normal;
  // Written by each shadow-volume build.
  uint8_t facesLight;
};

struct MeshData {
  MeshData() = default;
  MeshData(const MeshData&) = delete;
  MeshData& operator=(const MeshData&) = delete;
  ~MeshData() { clear(); }

  char* name = nullptr;  // malloc'd
  int32_t vertexCount = 0;
  Vec3* vertices = nullptr;
  int32_t normalCount = 0;
  Vec3* normals = nullptr;  // indexed like the vertices
  int32_t uvCount = 0;
  double* uvs = nullptr;  // uvCount (u, v) pairs
  // Vertex colours are drawn only when every vertex has one: colorCount is
  // 0 when the file gave fewer, and the colours given are still kept (the
  // scripts read and change them).
  int32_t colorCount = 0;
  ColorRGBA* colors = nullptr;        // givenColorCount of them
  int32_t givenColorCount = 0;        // at least colorCount
  int32_t translucentColorCount = 0;  // drawn colours whose alpha byte is below 255
  int32_t triangleCount = 0;
  int32_t* triangles = nullptr;  // triangleCount vertex-index triples
  TriangleInfo* triangleInfos = nullptr;
  bool doubleSided = false;
  Vec3 boundsMin, boundsMax;  // as the file gives them
  // The loaded positions and colours, kept by the first script edit so that
  // a reset can bring them back; null until then.
  Vec3* savedVertices = nullptr;
  ColorRGBA* savedColors = nullptr;

  // Fills the record from a "mesh" element. Content is checked: indices
  // outside the vertex range drop their triangle, per-vertex arrays shorter
  // than the vertex count are dropped (colours are kept but not drawn), bad
  // neighbour indices become -1.
  bool loadXml(const TiXmlElement* element);
  // Neighbours from corners at exactly equal positions: edges keyed by their
  // welded corner pair, so the cost is linear in the triangle count.
  void buildAdjacency();
  // Face normals of every triangle from the current vertices; clears facesLight.
  void computeTriangleNormals();
  // Frees every array and the name; the record is empty again.
  void clear();
};

struct AnimationData {
  AnimationData() = default;
  AnimationData(const AnimationData&) = delete;
  AnimationData& operator=(const AnimationData&) = delete;
  ~AnimationData() { clear(); }

  LMP_ProxyRef proxy;
  char* name = nullptr;  // malloc'd
  int32_t keyCount = 0;
  double* times = nullptr;  // seconds
  Vec3* locations = nullptr;
  Vec3* rotations = nullptr;  // radians, for Matrix3::fromAngles
  Vec3* scales = nullptr;     // one factor per local axis

  // Reads an "animation" element. Keys missing from the file (fewer "key"
  // elements than "count", or a key without "time") are zero.
  bool loadXml(const TiXmlElement* element);
  // n zeroed keys in place of the old ones; false (no keys) when out of
  // memory. A count of 0 or less leaves no keys.
  bool allocateKeys(int32_t n);
  void clear();
};

// One bone's group of weighted vertices of an animated mesh.
struct AnimatedMeshData {
  AnimatedMeshData() = default;
  AnimatedMeshData(const AnimatedMeshData&) = delete;
  AnimatedMeshData& operator=(const AnimatedMeshData&) = delete;
  ~AnimatedMeshData() { clear(); }

  char* name = nullptr;  // malloc'd
  int32_t count = 0;
  int32_t* vertexIndices = nullptr;
  // Each entry's vertex and normal in the bone's frame; filled by the
  // loader's skinning bind, not by the file.
  Vec3* restPositions = nullptr;
  Vec3* restNormals = nullptr;
  int32_t weightCount = 0;
  double* weights = nullptr;  // parallel to vertexIndices

  bool loadXml(const TiXmlElement* element);
  void clear();
};
