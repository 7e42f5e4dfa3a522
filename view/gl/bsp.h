// The space-partitioning tree that orders translucent triangles from far to
// near. It is built anew every frame in eye space (the eye at the origin),
// so every node's plane has the eye on its near side and an in-order walk,
// far side first, is a back-to-front order from the eye.
//
// The tree keeps only what placing a triangle needs: each node's plane
// offset and links, which corners it has, and where the cuts that made its
// corners lie on their edges. The corners of the triangles handed to it
// (positions, normals, uvs, colours) stay with whoever handed them over,
// who gives them back to the walk; the walk makes the cut corners again
// from them, with the same arithmetic as the cut itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/color.h"
#include "model/ptr_array.h"
#include "model/vec3.h"

class Material;

// A triangle handed to the tree: its corners in eye space and the unit
// normal of its plane, away from the eye.
struct BspTriangle {
  Vec3 position[3];
  Vec3 plane;
};

// Everything one corner carries.
struct BspVertex {
  Vec3 position, normal;  // eye space; the normal not renormalised
  Vec2 uv;                // (0, 0) without texture coordinates
  ColorRGBA color;        // alpha -1 marks a mesh without vertex colours
};

// What the walk asks of whoever filled the tree, by the number insert gave
// each triangle.
class BspSource {
 public:
  // Corner k (0..2) of the triangle; its position exactly as handed over.
  virtual BspVertex corner(int32_t triangle, int k) const = 0;
  virtual Material* material(int32_t triangle) const = 0;

 protected:
  ~BspSource() = default;
};

// A triangle or a piece of one.
struct BspNode {
  double offset;                              // plane . first corner
  int32_t nearChild, farChild, nextCoplanar;  // node indices, -1 = none
  int32_t triangle;                           // the triangle it is (a piece of)
  // Its corners: 0 and up a cut, below 0 corner k of triangle t as
  // -1 - (3t + k).
  int32_t corner[3];
};

// A corner made by cutting an edge: `moved` carried towards `fixed` by s,
// every attribute as moved x (1 - s) + fixed x s.
struct BspCut {
  int32_t fixed, moved;  // corners, as in BspNode
  double s;
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

  // Empties the tree; the storage stays for the next frame.
  void reset() {
    nodes.resize(0);
    planes.resize(0);
    cuts.resize(0);
  }

  int32_t count() const { return nodes.count; }
  // What all its storage holds, kept from frame to frame.
  size_t bytes() const;
  int32_t triangles() const { return planes.count; }
  const Vec3& plane(int32_t triangle) const { return planes[triangle]; }

  // Appends the triangle as a node with no links (numbered triangles() -
  // 1); its node index, or -1 at the node limit or when memory runs out.
  int32_t add(const BspTriangle& triangle);

  // Places the triangle in the tree below start, cutting it where it
  // straddles a plane; an empty tree takes it as its root (node 0). Answers
  // the triangle's number (0, 1, ... in the order kept), or -1 when it was
  // dropped at the node limit or for want of memory.
  int32_t insert(int32_t start, const BspTriangle& triangle);

  // The triangles below node, far to near, in out (emptied first); a node's
  // coplanar triangles come right after it. False when memory ran out (out
  // then holds nothing).
  bool walk(int32_t node, const BspSource& source, TranslucentStreams* out);

  // Reused from frame to frame. Node i is nodes[i]; planes[t] is triangle
  // t's plane normal.
  GrowArray<BspNode> nodes{false};
  GrowArray<Vec3> planes{false};
  GrowArray<BspCut> cuts{false};
  int32_t maxNodes = kMaxNodes;

 private:
  struct Pending {
    int32_t at, node;  // where to go on placing node
  };
  struct WalkFrame {
    int32_t node;
    int32_t stage;  // 0: far side next, 1: the node itself, 2: near side
  };
  // A node of triangle with these corners, not linked; -1 at the limit or
  // when memory runs out.
  int32_t addNode(int32_t triangle, int32_t a, int32_t b, int32_t c);
  // Where a corner of the triangle being inserted lies.
  const Vec3& position(int32_t corner) const;
  // The corner where the plane (n, through the node's offset) meets the
  // edge from fixed to moved, moved lying at distance d; moved itself when
  // the edge runs along the plane; -1 when memory runs out.
  int32_t cut(const Vec3& n, int32_t fixed, int32_t moved, double d);
  void place(int32_t at, int32_t node);
  void split(int32_t at, int32_t node, const double d[3], const int side[3]);
  // Sends a piece to one side of node at: attached as that child when there
  // is none, else placed below it.
  void sendTo(int32_t at, int32_t side, int32_t piece);
  // The walk's second half: every corner of the walked nodes into out.
  bool writeCorners(const BspSource& source, TranslucentStreams* out);
  BspVertex vertexAt(const BspSource& source, const TranslucentStreams& out, int32_t corner) const;

  // While a triangle is inserted: its corners, where the cuts made so far
  // for it lie, and the pieces waiting to be placed.
  BspTriangle current_{};
  int32_t firstCut_ = 0;
  GrowArray<Vec3> cutPositions_{false};
  GrowArray<Pending> pending_{false};
  // The walk's order of nodes, the stream slot each cut is written to
  // first (or, below -1, its place among the spilled ones), and the cuts
  // no walked node holds but later cuts are made from.
  GrowArray<WalkFrame> stack_{false};
  GrowArray<int32_t> order_{false};
  GrowArray<int32_t> homes_{false};
  GrowArray<BspVertex> spilled_{false};
};
