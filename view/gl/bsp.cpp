#include "view/gl/bsp.h"

#include "core/assert.h"

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

// Corner k of triangle t as nodes and cuts name it.
int32_t original(int32_t t, int k) { return -1 - (3 * t + k); }

// Triangle numbers stay small enough for their corners to be named.
constexpr int32_t kMaxTriangles = (INT32_MAX - 3) / 3;

}  // namespace

namespace {

template <class E>
size_t bytesOf(const GrowArray<E>& a) {
  return size_t(a.capacity) * sizeof(E);
}

}  // namespace

size_t BspTree::bytes() const {
  return bytesOf(nodes) + bytesOf(planes) + bytesOf(cuts) + bytesOf(cutPositions_) + bytesOf(pending_) +
         bytesOf(stack_) + bytesOf(order_) + bytesOf(homes_) + bytesOf(spilled_);
}

int32_t BspTree::addNode(int32_t triangle, int32_t a, int32_t b, int32_t c) {
  if (nodes.count >= maxNodes) return -1;
  const BspNode node{dot3(planes[triangle], position(a)), -1, -1, -1, triangle, {a, b, c}};
  if (!nodes.append(node)) return -1;
  return nodes.count - 1;
}

const Vec3& BspTree::position(int32_t corner) const {
  if (corner < 0) return current_.position[(-1 - corner) % 3];
  return cutPositions_[corner - firstCut_];
}

int32_t BspTree::cut(const Vec3& n, int32_t fixed, int32_t moved, double d) {
  const Vec3 a = position(fixed), b = position(moved);
  const double along = dot3(n, b - a);
  if (along == 0) return moved;
  const double s = d / along;
  if (cuts.count == INT32_MAX || !cutPositions_.append(mix(b, a, s))) return -1;
  if (!cuts.append(BspCut{fixed, moved, s})) {
    cutPositions_.resize(cutPositions_.count - 1);
    return -1;
  }
  return cuts.count - 1;
}

int32_t BspTree::add(const BspTriangle& triangle) {
  const int32_t number = planes.count;
  if (number >= kMaxTriangles || nodes.count >= maxNodes || !planes.append(triangle.plane)) return -1;
  current_ = triangle;
  const int32_t node = addNode(number, original(number, 0), original(number, 1), original(number, 2));
  if (node < 0) planes.resize(number);
  return node;
}

int32_t BspTree::insert(int32_t start, const BspTriangle& triangle) {
  const bool first = nodes.count == 0;
  const int32_t node = add(triangle);
  if (node < 0) return -1;
  const int32_t number = planes.count - 1;
  firstCut_ = cuts.count;
  cutPositions_.resize(0);
  if (first) return number;
  VS_ASSERT(start >= 0 && start < node);
  pending_.resize(0);
  place(start, node);
  // Pieces of cut triangles wait here until their subtree takes them.
  while (pending_.count > 0) {
    const Pending next = pending_[pending_.count - 1];
    pending_.resize(pending_.count - 1);
    place(next.at, next.node);
  }
  return number;
}

void BspTree::place(int32_t at, int32_t node) {
  const int32_t* corner = nodes[node].corner;
  const Vec3 piece[3] = {position(corner[0]), position(corner[1]), position(corner[2])};
  for (;;) {
    BspNode& base = nodes[at];
    const Vec3& plane = planes[base.triangle];
    double d[3];
    int side[3];
    int nearCount = 0, farCount = 0;
    for (int v = 0; v < 3; ++v) {
      // The distance from the node's plane, measured from its first corner.
      d[v] = dot3(piece[v], plane) - base.offset;
      side[v] = d[v] < -kOnPlane ? -1 : d[v] > kOnPlane ? 1 : 0;
      nearCount += side[v] < 0;
      farCount += side[v] > 0;
    }
    if (nearCount == 0 && farCount == 0) {
      nodes[node].nextCoplanar = base.nextCoplanar;
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
  int32_t& child = side < 0 ? nodes[at].nearChild : nodes[at].farChild;
  if (child < 0) {
    child = piece;
    return;
  }
  // A piece that cannot wait is dropped, like one past the node limit.
  pending_.append(Pending{child, piece});
}

void BspTree::split(int32_t at, int32_t node, const double d[3], const int side[3]) {
  const Vec3 plane = planes[nodes[at].triangle];
  const int32_t triangle = nodes[node].triangle;
  const Vec3 own = planes[triangle];
  int32_t whole[3];
  for (int v = 0; v < 3; ++v) whole[v] = nodes[node].corner[v];

  int onPlane = -1;
  for (int v = 0; v < 3; ++v)
    if (side[v] == 0) onPlane = v;
  if (onPlane >= 0) {
    // One vertex on the plane: the opposite edge is cut once, and each half
    // keeps the vertex on the plane. A cut that cannot be had loses the
    // triangle, like a piece past the node limit.
    const int k = onPlane, a = (k + 1) % 3, b = (k + 2) % 3;
    const int32_t m = cut(plane, whole[a], whole[b], d[b]);
    if (m < 0) return;
    nodes[node].corner[0] = whole[k], nodes[node].corner[1] = whole[a], nodes[node].corner[2] = m;
    nodes[node].offset = dot3(own, position(whole[k]));
    const int32_t second = addNode(triangle, whole[k], m, whole[b]);
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
  const int32_t m1 = cut(plane, whole[l], whole[a], d[a]);
  const int32_t m2 = m1 < 0 ? -1 : cut(plane, whole[l], whole[b], d[b]);
  if (m2 < 0) return;
  nodes[node].corner[0] = whole[l], nodes[node].corner[1] = m1, nodes[node].corner[2] = m2;
  nodes[node].offset = dot3(own, position(whole[l]));
  const int32_t quadFirst = addNode(triangle, m1, whole[a], whole[b]);
  const int32_t quadSecond = addNode(triangle, m1, whole[b], m2);
  sendTo(at, loneSide, node);
  sendTo(at, -loneSide, quadFirst);
  sendTo(at, -loneSide, quadSecond);
}

bool BspTree::walk(int32_t root, const BspSource& source, TranslucentStreams* out) {
  out->positions.resize(0);
  out->normals.resize(0);
  out->uvs.resize(0);
  out->colors.resize(0);
  out->materials.resize(0);
  if (root < 0 || root >= nodes.count) return true;
  // Every node is reached at most once: room for all of them at once.
  order_.resize(0);
  if (!order_.reserve(nodes.count) || !stack_.reserve(nodes.count)) return false;

  stack_.resize(0);
  stack_.append(WalkFrame{root, 0});
  while (stack_.count > 0) {
    WalkFrame& frame = stack_[stack_.count - 1];
    const BspNode& at = nodes[frame.node];
    if (frame.stage == 0) {
      frame.stage = 1;
      if (at.farChild >= 0) stack_.append(WalkFrame{at.farChild, 0});
    } else if (frame.stage == 1) {
      frame.stage = 2;
      order_.append(frame.node);
      if (at.nextCoplanar >= 0) stack_.append(WalkFrame{at.nextCoplanar, 0});
    } else if (at.nearChild >= 0) {
      frame = WalkFrame{at.nearChild, 0};  // the near side takes this frame's place
    } else {
      stack_.resize(stack_.count - 1);
    }
  }
  if (writeCorners(source, out)) return true;
  out->positions.resize(0);
  out->normals.resize(0);
  out->uvs.resize(0);
  out->colors.resize(0);
  out->materials.resize(0);
  return false;
}

BspVertex BspTree::vertexAt(const BspSource& source, const TranslucentStreams& out, int32_t corner) const {
  if (corner < 0) return source.corner((-1 - corner) / 3, (-1 - corner) % 3);
  const int32_t home = homes_[corner];
  if (home < -1) return spilled_[-2 - home];
  return {out.positions[home], out.normals[home], out.uvs[home], out.colors[home]};
}

bool BspTree::writeCorners(const BspSource& source, TranslucentStreams* out) {
  const int32_t triangles = order_.count, vertices = 3 * triangles;
  if (!out->positions.resize(vertices) || !out->normals.resize(vertices) || !out->uvs.resize(vertices) ||
      !out->colors.resize(vertices) || !out->materials.resize(triangles) || !homes_.resize(cuts.count))
    return false;
  const auto write = [out](int32_t slot, const BspVertex& v) {
    out->positions[slot] = v.position;
    out->normals[slot] = v.normal;
    out->uvs[slot] = v.uv;
    out->colors[slot] = v.color;
  };
  // Corners handed over go straight to their slots; each cut gets the
  // first slot that shows it.
  for (int32_t& home : homes_) home = -1;
  for (int32_t t = 0; t < triangles; ++t) {
    const BspNode& node = nodes[order_[t]];
    out->materials[t] = source.material(node.triangle);
    for (int k = 0; k < 3; ++k) {
      const int32_t corner = node.corner[k];
      if (corner < 0)
        write(3 * t + k, vertexAt(source, *out, corner));
      else if (homes_[corner] < 0)
        homes_[corner] = 3 * t + k;
    }
  }
  // Cuts in the order they were made: both ends of each are known by then.
  // One that no walked node shows (its piece was dropped) is kept aside
  // for the cuts made from it.
  spilled_.resize(0);
  for (int32_t c = 0; c < cuts.count; ++c) {
    const BspCut& cut = cuts[c];
    const BspVertex a = vertexAt(source, *out, cut.fixed), b = vertexAt(source, *out, cut.moved);
    const BspVertex m{mix(b.position, a.position, cut.s), mix(b.normal, a.normal, cut.s), mix(b.uv, a.uv, cut.s),
                      mix(b.color, a.color, cut.s)};
    if (homes_[c] >= 0) {
      write(homes_[c], m);
    } else {
      if (!spilled_.append(m)) return false;
      homes_[c] = -1 - spilled_.count;
    }
  }
  // Then every other slot that shows a cut.
  for (int32_t t = 0; t < triangles; ++t) {
    const BspNode& node = nodes[order_[t]];
    for (int k = 0; k < 3; ++k) {
      const int32_t corner = node.corner[k];
      if (corner >= 0 && homes_[corner] != 3 * t + k) write(3 * t + k, vertexAt(source, *out, corner));
    }
  }
  return true;
}
