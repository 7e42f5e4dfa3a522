// The space-partitioning tree that orders translucent triangles from far to
// near. It is built anew every frame in eye space (the eye at the origin),
// so every node's plane has the eye on its near side and an in-order walk,
// far side first, is a back-to-front order from the eye.
#pragma once

#include <cstdint>

#include "model/color.h"
#include "model/ptr_array.h"
#include "model/vec3.h"

class Material;

// One triangle or piece of a triangle, with what the draw needs of it.
struct BspNode {
  // Everything one corner carries.
  struct Vertex {
    Vec3 position, normal;
    Vec2 uv;
    ColorRGBA color;
  };

  Vec3 position[3];    // eye space
  Vec3 normal[3];      // eye space, not renormalised
  Vec2 uv[3];          // (0, 0) without texture coordinates
  ColorRGBA color[3];  // alpha -1 marks a mesh without vertex colours
  Vec3 plane;          // unit normal of the triangle's plane, away from the eye
  Material* material;

  Vertex vertex(int k) const { return {position[k], normal[k], uv[k], color[k]}; }
  void setVertex(int k, const Vertex& v) {
    position[k] = v.position;
    normal[k] = v.normal;
    uv[k] = v.uv;
    color[k] = v.color;
  }
};

// Where a node sits in the tree, and the plane it divides space by: all that
// placing a triangle reads of the nodes on its way down, kept apart from the
// corners so that a deep descent stays in the cache.
struct BspLinks {
  Vec3 plane;                                 // the node's plane normal
  double offset;                              // plane . first corner
  int32_t nearChild, farChild, nextCoplanar;  // node indices, -1 = none
};

// The flat vertex streams a walk fills: three vertices per triangle and one
// material per triangle. Like the nodes, they keep their storage from frame
// to frame: handing tens of megabytes back and asking for them again every
// frame costs more than the walk itself.
struct TranslucentStreams {
  GrowArray<Vec3> positions{false};
  GrowArray<Vec3> normals{false};
  GrowArray<Vec2> uvs{false};
  GrowArray<ColorRGBA> colors{false};
  GrowArray<Material*> materials{false};

  int32_t triangles() const { return materials.count; }
};

class BspTree {
 public:
  // Far more pieces than a frame of real content makes; past it further
  // triangles and pieces are dropped rather than memory exhausted.
  static constexpr int32_t kMaxNodes = 1 << 20;
  // Vertices within this distance of a plane count as lying on it (the
  // float 1e-5, as a double).
  static constexpr double kOnPlane = 9.999999747378752e-6;

  // Empties the tree; the node storage stays for the next frame.
  void reset() {
    nodes.resize(0);
    links.resize(0);
  }

  // Appends a copy of record with no links; its index, or -1 when the node
  // limit is reached or memory runs out.
  int32_t add(const BspNode& record);
  int32_t count() const { return nodes.count; }

  // Places record in the tree below start, splitting it where it straddles
  // a plane; an empty tree takes it as its root (node 0).
  void insert(int32_t start, const BspNode& record);

  // The triangles below node, far to near, in out (emptied first); a node's
  // coplanar triangles come right after it.
  // False when memory ran out (out then holds what was walked).
  bool walk(int32_t node, TranslucentStreams* out);

  // Cuts the edge (a, b) where it meets the plane with normal n, given b's
  // distance db from that plane: b's position, normal, uv and colour move to
  // the cut. Nothing changes when the edge runs parallel to the plane.
  static void splitEdge(const Vec3& n, const Vec3& a, Vec3* b, const Vec3& normalA, Vec3* normalB, const Vec2& uvA,
                        Vec2* uvB, const ColorRGBA& colorA, ColorRGBA* colorB, double db);

  // Node i is nodes[i] placed by links[i]; both reused from frame to frame.
  GrowArray<BspNode> nodes{false};
  GrowArray<BspLinks> links{false};
  int32_t maxNodes = kMaxNodes;

 private:
  struct Pending {
    int32_t at, node;  // where to go on placing node
  };
  struct WalkFrame {
    int32_t node;
    int32_t stage;  // 0: far side next, 1: the node itself, 2: near side
  };
  void place(int32_t at, int32_t node);
  void split(int32_t at, int32_t node, const double d[3], const int side[3]);
  // Sends a piece to one side of node at: attached as that child when there
  // is none, else placed below it.
  void sendTo(int32_t at, int32_t side, int32_t piece);

  GrowArray<Pending> pending{false};
  GrowArray<WalkFrame> stack{false};
};
