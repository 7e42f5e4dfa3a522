#include "view/gl/bsp.h"

#include <cassert>

namespace {

template <class T>
T mix(const T& b, const T& a, double s);

template <>
Vec3 mix(const Vec3& b, const Vec3& a, double s) {
  return b * (1 - s) + a * s;
}
template <>
Vec2 mix(const Vec2& b, const Vec2& a, double s) {
  return {b.x * (1 - s) + a.x * s, b.y * (1 - s) + a.y * s};
}
template <>
ColorRGBA mix(const ColorRGBA& b, const ColorRGBA& a, double s) {
  return {b.r * (1 - s) + a.r * s, b.g * (1 - s) + a.g * s, b.b * (1 - s) + a.b * s, b.a * (1 - s) + a.a * s};
}

// Vertex b of the triangle moved to where the edge from a meets the plane.
BspNode::Vertex cutVertex(const BspNode& t, int a, int b, const Vec3& plane, double db) {
  BspNode::Vertex m = t.vertex(b);
  BspTree::splitEdge(plane, t.position[a], &m.position, t.normal[a], &m.normal, t.uv[a], &m.uv, t.color[a], &m.color,
                     db);
  return m;
}

// The triangle (x, y, z) with the rest of whole: its plane, material and the
// winding of whole when (x, y, z) follow its cyclic order.
BspNode piece(const BspNode& whole, const BspNode::Vertex& x, const BspNode::Vertex& y, const BspNode::Vertex& z) {
  BspNode p = whole;
  p.setVertex(0, x);
  p.setVertex(1, y);
  p.setVertex(2, z);
  return p;
}

}  // namespace

void BspTree::splitEdge(const Vec3& n, const Vec3& a, Vec3* b, const Vec3& normalA, Vec3* normalB, const Vec2& uvA,
                        Vec2* uvB, const ColorRGBA& colorA, ColorRGBA* colorB, double db) {
  const double along = dot3(n, *b - a);
  if (along == 0) return;
  const double s = db / along;
  *b = mix(*b, a, s);
  *normalB = mix(*normalB, normalA, s);
  *uvB = mix(*uvB, uvA, s);
  *colorB = mix(*colorB, colorA, s);
}

int32_t BspTree::add(const BspNode& record) {
  if (nodes.count >= maxNodes || !nodes.append(record)) return -1;
  if (!links.append(BspLinks{record.plane, dot3(record.plane, record.position[0]), -1, -1, -1})) {
    nodes.resize(nodes.count - 1);
    return -1;
  }
  return nodes.count - 1;
}

void BspTree::insert(int32_t start, const BspNode& record) {
  const bool first = nodes.count == 0;
  const int32_t node = add(record);
  if (node < 0 || first) return;
  assert(start >= 0 && start < node);
  if (start < 0 || start >= node) return;
  pending.resize(0);
  place(start, node);
  // Pieces of split triangles wait here until their subtree takes them.
  while (pending.count > 0) {
    const Pending next = pending[pending.count - 1];
    pending.resize(pending.count - 1);
    place(next.at, next.node);
  }
}

void BspTree::place(int32_t at, int32_t node) {
  const BspNode& piece = nodes[node];
  for (;;) {
    BspLinks& base = links[at];
    double d[3];
    int side[3];
    int nearCount = 0, farCount = 0;
    for (int v = 0; v < 3; ++v) {
      // The distance from the node's plane, measured from its first corner.
      d[v] = dot3(piece.position[v], base.plane) - base.offset;
      side[v] = d[v] < -kOnPlane ? -1 : d[v] > kOnPlane ? 1 : 0;
      nearCount += side[v] < 0;
      farCount += side[v] > 0;
    }
    if (nearCount == 0 && farCount == 0) {
      links[node].nextCoplanar = base.nextCoplanar;
      base.nextCoplanar = node;
      return;
    }
    if (nearCount > 0 && farCount > 0) {
      split(at, node, d, side);
      return;
    }
    int32_t& child = farCount > 0 ? base.farChild : base.nearChild;
    if (child < 0) {
      child = node;
      return;
    }
    at = child;
  }
}

void BspTree::sendTo(int32_t at, int32_t side, int32_t piece) {
  if (piece < 0) return;
  int32_t& child = side < 0 ? links[at].nearChild : links[at].farChild;
  if (child < 0) {
    child = piece;
    return;
  }
  // A piece that cannot wait is dropped, like one past the node limit.
  pending.append(Pending{child, piece});
}

void BspTree::split(int32_t at, int32_t node, const double d[3], const int side[3]) {
  const Vec3 plane = links[at].plane;
  const BspNode whole = nodes[node];

  int onPlane = -1;
  for (int v = 0; v < 3; ++v)
    if (side[v] == 0) onPlane = v;
  if (onPlane >= 0) {
    // One vertex on the plane: the opposite edge is cut once, and each half
    // keeps the vertex on the plane.
    const int k = onPlane, a = (k + 1) % 3, b = (k + 2) % 3;
    const BspNode::Vertex m = cutVertex(whole, a, b, plane, d[b]);
    nodes[node] = piece(whole, whole.vertex(k), whole.vertex(a), m);
    links[node].offset = dot3(whole.plane, whole.position[k]);
    const int32_t second = add(piece(whole, whole.vertex(k), m, whole.vertex(b)));
    sendTo(at, side[a], node);
    sendTo(at, side[b], second);
    return;
  }

  // One vertex alone on its side: a triangle there, a quad on the other.
  const int nearCount = (side[0] < 0) + (side[1] < 0) + (side[2] < 0);
  const int loneSide = nearCount == 1 ? -1 : 1;
  int l = 0;
  while (side[l] != loneSide) ++l;
  const int a = (l + 1) % 3, b = (l + 2) % 3;
  const BspNode::Vertex m1 = cutVertex(whole, l, a, plane, d[a]);
  const BspNode::Vertex m2 = cutVertex(whole, l, b, plane, d[b]);
  nodes[node] = piece(whole, whole.vertex(l), m1, m2);
  links[node].offset = dot3(whole.plane, whole.position[l]);
  const int32_t quadFirst = add(piece(whole, m1, whole.vertex(a), whole.vertex(b)));
  const int32_t quadSecond = add(piece(whole, m1, whole.vertex(b), m2));
  sendTo(at, loneSide, node);
  sendTo(at, -loneSide, quadFirst);
  sendTo(at, -loneSide, quadSecond);
}

bool BspTree::walk(int32_t root, TranslucentStreams* out) {
  out->positions.resize(0);
  out->normals.resize(0);
  out->uvs.resize(0);
  out->colors.resize(0);
  out->materials.resize(0);
  if (root < 0 || root >= nodes.count) return true;
  // Every node is reached at most once: room for all of them at once.
  const int32_t vertices = 3 * nodes.count;
  if (!out->positions.reserve(vertices) || !out->normals.reserve(vertices) || !out->uvs.reserve(vertices) ||
      !out->colors.reserve(vertices) || !out->materials.reserve(nodes.count) || !stack.reserve(nodes.count))
    return false;

  stack.resize(0);
  stack.append(WalkFrame{root, 0});
  while (stack.count > 0) {
    WalkFrame& frame = stack[stack.count - 1];
    const BspLinks& at = links[frame.node];
    if (frame.stage == 0) {
      frame.stage = 1;
      if (at.farChild >= 0 && !stack.append(WalkFrame{at.farChild, 0})) return false;
    } else if (frame.stage == 1) {
      const BspNode& node = nodes[frame.node];
      frame.stage = 2;
      out->positions.append(node.position, 3);
      out->normals.append(node.normal, 3);
      out->uvs.append(node.uv, 3);
      out->colors.append(node.color, 3);
      out->materials.append(&node.material, 1);
      if (at.nextCoplanar >= 0 && !stack.append(WalkFrame{at.nextCoplanar, 0})) return false;
    } else if (at.nearChild >= 0) {
      frame = WalkFrame{at.nearChild, 0};  // the near side takes this frame's place
    } else {
      stack.resize(stack.count - 1);
    }
  }
  return true;
}
