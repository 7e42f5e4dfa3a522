#include "model/polyline.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/assert.h"
#include "model/image_source.h"
#include "model/material.h"

namespace {

// Smallest doubled ear area that counts as a turn (1e-10 as a float).
constexpr double kEarEpsilon = 1.000000013351432e-10;
// The same for outlines too finely sampled for it, as a share of the
// squared size of the outline: well above the rounding noise of a cross
// product of its points (about 2e-16 of that square).
constexpr double kRelativeEarEpsilon = 1e-14;
// Sine of the smallest turn that gets a rounded join.
constexpr double kJoinSine = 0.2;
constexpr double kHalfSqrt2 = 0.7071067811865476;
constexpr double kPi = 3.141592653589793;

Vec2 sub(const Vec2& a, const Vec2& b) { return {a.x - b.x, a.y - b.y}; }
Vec2 add(const Vec2& a, const Vec2& b) { return {a.x + b.x, a.y + b.y}; }
Vec2 scale(const Vec2& a, double s) { return {a.x * s, a.y * s}; }
double cross(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }
double dot(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
double length(const Vec2& a) { return std::sqrt(dot(a, a)); }
bool same(const Vec2& a, const Vec2& b) { return a.x == b.x && a.y == b.y; }
// The left normal of a direction.
Vec2 leftOf(const Vec2& d) { return {-d.y, d.x}; }
Vec2 rotate(const Vec2& v, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  return {v.x * c - v.y * s, v.x * s + v.y * c};
}

// Counter-clockwise triangle test; points on an edge are inside.
bool insideTriangle(const Vec2& p, const Vec2& a, const Vec2& b, const Vec2& c) {
  return cross(sub(b, a), sub(p, a)) >= 0.0 && cross(sub(c, b), sub(p, b)) >= 0.0 && cross(sub(a, c), sub(p, c)) >= 0.0;
}

// Appends triangles with their texture coordinates, wound counter-clockwise.
struct OutlineWriter {
  Vec2Array& vertices;
  Vec2Array& texCoords;
  bool ok = true;

  void triangle(Vec2 a, Vec2 ta, Vec2 b, Vec2 tb, Vec2 c, Vec2 tc) {
    if (!ok) return;
    if (cross(sub(b, a), sub(c, a)) < 0.0) {
      std::swap(b, c);
      std::swap(tb, tc);
    }
    ok = vertices.append(a) && vertices.append(b) && vertices.append(c) && texCoords.append(ta) &&
         texCoords.append(tb) && texCoords.append(tc);
  }
};

}  // namespace

MDL_Polyline::~MDL_Polyline() { MDL_releaseMaterial(material, ownsMaterial); }

bool MDL_Polyline::addPoint(const Vec2& p) {
  if (!points.append(p)) return false;
  fillDirty = outlineDirty = true;
  return true;
}

void MDL_Polyline::clearPoints() {
  points.freeStorage();
  fillDirty = outlineDirty = true;
}

int32_t MDL_Polyline::segmentCount() const {
  if (points.count == 0) return 0;
  return closed ? points.count : points.count - 1;
}

bool MDL_Polyline::ownMaterial() { return MDL_ownMaterial(material, ownsMaterial); }

ImageSource* MDL_Polyline::outlineImage() const { return material ? material->firstLayerImage() : nullptr; }

const GrowArray<int32_t>& MDL_Polyline::updateFill() {
  if (fillDirty) {
    fillTriangles.freeStorage();
    if (!triangulatePolygon(points, fillTriangles)) fillTriangles.freeStorage();
    fillDirty = false;
  }
  return fillTriangles;
}

double distanceToSegment(const Vec2& p, const Vec2& a, const Vec2& b) {
  const Vec2 ab = sub(b, a);
  const double len = length(ab);
  if (!(len > 0.0)) return length(sub(p, a));
  const Vec2 u = scale(ab, 1.0 / len);
  double s = dot(u, sub(p, a));
  if (s < 0.0) s = 0.0;
  if (s > len) s = len;
  return length(sub(p, add(a, scale(u, s))));
}

double MDL_Polyline::distanceToPoint(const Vec2& p) const {
  const int32_t segments = segmentCount();
  if (segments == 0) return points.count > 0 ? length(sub(p, points[0])) - thickness : DBL_MAX;
  double best = DBL_MAX;
  for (int32_t i = 0; i < segments; ++i) {
    const double d = distanceToSegment(p, points[i], points[(i + 1) % points.count]) - thickness;
    if (d < best) best = d;
  }
  return best;
}

bool MDL_Polyline::hitTest(const Vec2& p) {
  // A line without width is never hit, whatever its points.
  if (outlined && thickness > 0.0) {
    const int32_t segments = segmentCount();
    for (int32_t i = 0; i < segments; ++i)
      if (distanceToSegment(p, points[i], points[(i + 1) % points.count]) < thickness) return true;
  }
  if (filled) {
    const GrowArray<int32_t>& t = updateFill();
    for (int32_t i = 0; i + 2 < t.count; i += 3)
      if (insideTriangle(p, points[t[i]], points[t[i + 1]], points[t[i + 2]])) return true;
  }
  return false;
}

namespace {

// The corners still in the outline in a tree of boxes: each node holds a
// run of corners, halved at the median along the longer side of their box,
// down to runs of a few corners. Each node keeps its box and how many of
// its corners are live, so that an ear test looks only into nodes whose box
// reaches into its triangle and that still hold corners. Each leaf keeps
// its live corners first, so that removed ones cost nothing.
class CornerTree {
 public:
  // Corners are positions 0..n-1 of `ring`, points[ring[i]] their places.
  bool build(const Vec2Array& points, const GrowArray<int32_t>& ring) {
    const int32_t n = ring.count;
    bool finite = true;
    for (int32_t i = 0; i < n && finite; ++i) finite = std::isfinite(points[ring[i]].x) && std::isfinite(points[ring[i]].y);
    // Coordinates that are not finite numbers cannot be ordered: one leaf
    // then holds every corner, and every test looks at all of them.
    int depth = 0;
    prune_ = finite;
    if (finite)
      while ((int64_t{kLeaf} << depth) < n) ++depth;
    nodes_ = (int32_t{2} << depth) - 1;
    if (!items_.resize(n) || !slot_.resize(n) || !leaf_.resize(n) || !box_.resize(nodes_) || !first_.resize(nodes_) ||
        !end_.resize(nodes_) || !live_.resize(nodes_))
      return false;
    for (int32_t i = 0; i < n; ++i) items_[i] = i;
    const auto at = [&](int32_t corner) -> const Vec2& { return points[ring[corner]]; };
    // Nodes in index order: each node's run is split before its children
    // are reached.
    for (int32_t node = 0; node < nodes_; ++node) {
      int32_t lo = 0, hi = n;
      if (node > 0) {
        const int32_t parent = (node - 1) / 2;
        const int32_t mid = first_[parent] + (end_[parent] - first_[parent]) / 2;
        lo = node % 2 ? first_[parent] : mid;
        hi = node % 2 ? mid : end_[parent];
      }
      first_[node] = lo;
      end_[node] = hi;
      live_[node] = hi - lo;
      Box& b = box_[node];
      b = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
      for (int32_t k = lo; k < hi && finite; ++k) {
        const Vec2& p = at(items_[k]);
        b.x0 = std::min(b.x0, p.x);
        b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x);
        b.y1 = std::max(b.y1, p.y);
      }
      if (2 * node + 1 < nodes_ && hi - lo > 1) {
        const bool alongX = b.x1 - b.x0 >= b.y1 - b.y0;
        std::nth_element(items_.data + lo, items_.data + lo + (hi - lo) / 2, items_.data + hi,
                         [&](int32_t l, int32_t r) { return alongX ? at(l).x < at(r).x : at(l).y < at(r).y; });
      }
    }
    const int32_t leaves = (nodes_ + 1) / 2;
    for (int32_t node = nodes_ - leaves; node < nodes_; ++node)
      for (int32_t k = first_[node]; k < end_[node]; ++k) {
        slot_[items_[k]] = k;
        leaf_[items_[k]] = node;
      }
    return true;
  }

  void remove(int32_t corner) {
    VS_ASSERT(slot_[corner] >= 0);  // each corner leaves the ring once
    // The leaf's last live corner takes the place of this one.
    int32_t node = leaf_[corner];
    const int32_t last = --end_[node];
    const int32_t moved = items_[last];
    items_[slot_[corner]] = moved;
    slot_[moved] = slot_[corner];
    items_[last] = corner;
    slot_[corner] = -1;
    for (;; node = (node - 1) / 2) {
      --live_[node];
      if (node == 0) break;
    }
  }
  bool alive(int32_t corner) const { return slot_[corner] >= 0; }

  // Calls visit(corner) for every live corner in the leaves whose box may
  // hold a point of the closed counter-clockwise triangle PQR, until visit
  // answers false; answers whether it never did.
  template <class Visit>
  bool all(const Vec2& P, const Vec2& Q, const Vec2& R, Visit visit) const {
    const Box t{std::min({P.x, Q.x, R.x}), std::min({P.y, Q.y, R.y}), std::max({P.x, Q.x, R.x}),
                std::max({P.y, Q.y, R.y})};
    const Vec2 from[3] = {P, Q, R}, along[3] = {sub(Q, P), sub(R, Q), sub(P, R)};
    int32_t stack[2 * 32];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
      const int32_t node = stack[--depth];
      if (live_[node] == 0) continue;
      if (prune_) {
        const Box& b = box_[node];
        if (b.x1 < t.x0 || b.x0 > t.x1 || b.y1 < t.y0 || b.y0 > t.y1) continue;
        // Outside an edge when even the box's corner farthest inside is:
        // rounding keeps that order for every point of the box.
        bool outside = false;
        for (int e = 0; e < 3 && !outside; ++e) {
          const Vec2& d = along[e];
          const Vec2 c{d.y > 0.0 ? b.x0 : b.x1, d.x > 0.0 ? b.y1 : b.y0};
          outside = cross(d, sub(c, from[e])) < 0.0;
        }
        if (outside) continue;
      }
      if (2 * node + 1 >= nodes_) {
        for (int32_t k = first_[node]; k < end_[node]; ++k)
          if (!visit(items_[k])) return false;
        continue;
      }
      stack[depth++] = 2 * node + 2;
      stack[depth++] = 2 * node + 1;
    }
    return true;
  }

 private:
  static constexpr int32_t kLeaf = 8;
  struct Box {
    double x0, y0, x1, y1;
  };
  int32_t nodes_ = 0;
  bool prune_ = true;         // false without boxes: every corner is visited
  GrowArray<int32_t> items_;  // corners, each node's run together
  GrowArray<int32_t> slot_;   // where each corner is in items_, -1 once removed
  GrowArray<int32_t> leaf_;   // each corner's leaf
  GrowArray<Box> box_;        // every corner a node ever held lies in its box
  GrowArray<int32_t> first_;  // each node's run in items_
  GrowArray<int32_t> end_;    // its end; for a leaf the end of its live corners
  GrowArray<int32_t> live_;   // live corners under each node
};

// A set of corner numbers with the next member from any number on found in
// a few word scans: a bit per corner, and above each level of words a level
// with a bit per word that is not empty.
class CornerSet {
 public:
  bool build(int32_t n) {
    levels_ = 0;
    int64_t bits = n > 0 ? n : 1;
    do {
      const int64_t words = (bits + 63) / 64;
      GrowArray<uint64_t>& level = level_[levels_++];
      if (!level.resize(static_cast<int32_t>(words))) return false;
      std::memset(level.data, 0, sizeof(uint64_t) * size_t(words));
      bits = words;
    } while (bits > 1);
    return true;
  }

  void insert(int32_t i) {
    for (int l = 0; l < levels_; ++l, i >>= 6) {
      uint64_t& word = level_[l][i >> 6];
      const bool wasEmpty = word == 0;
      word |= uint64_t{1} << (i & 63);
      if (!wasEmpty) return;
    }
  }

  void erase(int32_t i) {
    for (int l = 0; l < levels_; ++l, i >>= 6) {
      uint64_t& word = level_[l][i >> 6];
      word &= ~(uint64_t{1} << (i & 63));
      if (word != 0) return;
    }
  }

  // The smallest member not below i, or -1.
  int32_t next(int32_t i) const {
    int64_t at = i;
    for (int l = 0; l < levels_; ++l) {
      const int64_t w = at >> 6;
      if (w >= level_[l].count) return -1;
      const uint64_t bits = level_[l][static_cast<int32_t>(w)] & (~uint64_t{0} << (at & 63));
      if (bits) {
        at = (w << 6) + __builtin_ctzll(bits);
        while (l-- > 0) at = (at << 6) + __builtin_ctzll(level_[l][static_cast<int32_t>(at)]);
        return static_cast<int32_t>(at);
      }
      at = w + 1;  // the next word of this level, a bit of the one above
    }
    return -1;
  }

 private:
  static constexpr int kMaxLevels = 6;  // 64^6 bits cover any int32_t count
  GrowArray<uint64_t> level_[kMaxLevels];
  int levels_ = 0;
};

// Ear clipping that walks round the ring and clips each ear it meets,
// going on from the corner after the ear. A corner's answer changes only
// when a neighbour goes (its triangle changes) or when the last corner
// inside its triangle goes, so a corner is looked at again only after
// that: a blocked corner remembers one corner inside (its witness) and
// becomes open to question when that one goes. The walk jumps straight to
// the next corner that can be clipped or is open to question (looking at
// it when the walk gets there), and so clips exactly what a walk that
// looked at every corner on its way would clip.
class EarClipper {
 public:
  // The doubled area of an ear is at least `epsilon`; whether any corner
  // judged had one in [low, high) is remembered.
  EarClipper(const Vec2Array& points, const GrowArray<int32_t>& ring, double epsilon, double low, double high)
      : points_(points), v_(ring), epsilon_(epsilon), low_(low), high_(high) {}

  // False when no corner can be clipped before the end, or out of memory.
  bool run(GrowArray<int32_t>& out) {
    m_ = v_.count;
    if (m_ < 3) return false;
    outOfMemory_ = true;
    if (!next_.resize(m_) || !prev_.resize(m_) || !witness_.resize(m_) || !witnessed_.resize(m_) ||
        !nextWitnessed_.resize(m_) || !prevWitnessed_.resize(m_) || !open_.resize(m_) || !tree_.build(points_, v_) ||
        !candidates_.build(m_))
      return false;
    for (int32_t i = 0; i < m_; ++i) {
      next_[i] = i + 1 < m_ ? i + 1 : 0;
      prev_[i] = i > 0 ? i - 1 : m_ - 1;
      witness_[i] = witnessed_[i] = nextWitnessed_[i] = prevWitnessed_[i] = -1;
      open_[i] = 1;
      candidates_.insert(i);
    }
    outOfMemory_ = false;
    u_ = prev_[0];
    return walk(out);
  }

  // Goes on from where a failed run stopped, with another test for the
  // ears: every corner left is looked at again.
  bool resume(double epsilon, GrowArray<int32_t>& out) {
    if (outOfMemory_ || m_ < 3) return false;
    epsilon_ = epsilon;
    for (int32_t i = 0, corner = u_; i < m_; ++i, corner = next_[corner]) reopen(corner);
    return walk(out);
  }

  bool judgedBetween() const { return judgedBetween_; }
  bool outOfMemory() const { return outOfMemory_; }

 private:
  const Vec2& point(int32_t corner) const { return points_[v_[corner]]; }

  bool walk(GrowArray<int32_t>& out) {
    while (m_ > 2) {
      const int32_t at = nextEar(next_[u_]);
      if (at < 0) return false;  // a whole cycle without an ear: not simple
      // A spike out to a corner and back encloses nothing: it goes without
      // a triangle.
      if (!same(point(prev_[at]), point(next_[at])))
        if (!out.append(v_[prev_[at]]) || !out.append(v_[at]) || !out.append(v_[next_[at]])) {
          outOfMemory_ = true;
          return false;
        }
      u_ = removeCorner(at);
    }
    return true;
  }

  // The first corner from `from` on round the ring that can be clipped, or
  // -1. Live corners keep their ring order in their numbers.
  int32_t nextEar(int32_t from) {
    int32_t at = candidates_.next(from);
    for (;;) {
      if (at < 0) at = candidates_.next(0);
      if (at < 0) return -1;
      if (!open_[at] || decide(at)) return at;
      at = candidates_.next(at + 1);
    }
  }

  void linkWitness(int32_t corner, int32_t by) {
    witness_[corner] = by;
    prevWitnessed_[corner] = -1;
    nextWitnessed_[corner] = witnessed_[by];
    if (witnessed_[by] >= 0) prevWitnessed_[witnessed_[by]] = corner;
    witnessed_[by] = corner;
  }

  void unlinkWitness(int32_t corner) {
    const int32_t by = witness_[corner];
    if (by < 0) return;
    const int32_t before = prevWitnessed_[corner], after = nextWitnessed_[corner];
    if (before >= 0)
      nextWitnessed_[before] = after;
    else
      witnessed_[by] = after;
    if (after >= 0) prevWitnessed_[after] = before;
    witness_[corner] = -1;
  }

  // The corner must be looked at again before it is passed over.
  void reopen(int32_t corner) {
    unlinkWitness(corner);
    open_[corner] = 1;
    candidates_.insert(corner);
  }

  // Whether a live corner can be clipped now; one that cannot leaves the
  // candidates until something near it changes.
  bool decide(int32_t at) {
    open_[at] = 0;
    const int32_t u = prev_[at], w = next_[at];
    const Vec2& P = point(u);
    const Vec2& Q = point(at);
    const Vec2& R = point(w);
    if (same(P, R)) return true;
    const double area = (Q.x - P.x) * (R.y - P.y) - (Q.y - P.y) * (R.x - P.x);
    if (area >= low_ && area < high_) judgedBetween_ = true;
    if (area < epsilon_) {  // reflex or flat
      candidates_.erase(at);
      return false;
    }
    // Where the outline touches itself a point repeats a corner; it lies
    // outside this corner's angle, so it does not block the ear.
    int32_t blocker = -1;
    tree_.all(P, Q, R, [&](int32_t k) {
      if (k == u || k == at || k == w) return true;
      const Vec2& D = point(k);
      if (!insideTriangle(D, P, Q, R) || same(D, P) || same(D, Q) || same(D, R)) return true;
      blocker = k;
      return false;
    });
    if (blocker < 0) return true;
    linkWitness(at, blocker);
    candidates_.erase(at);
    return false;
  }

  // Takes a corner out of the ring; the corners it blocked are open to
  // question again.
  void unlink(int32_t corner) {
    next_[prev_[corner]] = next_[corner];
    prev_[next_[corner]] = prev_[corner];
    tree_.remove(corner);
    candidates_.erase(corner);
    unlinkWitness(corner);
    --m_;
    while (witnessed_[corner] >= 0) reopen(witnessed_[corner]);
  }

  // Removes a corner; neighbours that then coincide (the two visits of a
  // point where the outline touches itself) become one corner. Answers the
  // corner the walk goes on from.
  int32_t removeCorner(int32_t corner) {
    const int32_t before = prev_[corner];
    int32_t after = next_[corner];
    unlink(corner);
    if (m_ >= 2 && same(point(before), point(after))) {
      const int32_t beyond = next_[after];
      unlink(after);
      after = beyond;
    }
    reopen(before);
    reopen(after);
    return after;
  }

  const Vec2Array& points_;
  const GrowArray<int32_t>& v_;
  double epsilon_;
  const double low_, high_;
  bool judgedBetween_ = false;
  bool outOfMemory_ = false;
  int32_t m_ = 0;
  int32_t u_ = 0;  // the walk goes on after this corner
  GrowArray<int32_t> next_, prev_;
  GrowArray<int32_t> witness_;        // a corner inside this one's triangle, or -1
  GrowArray<int32_t> witnessed_;      // the first corner this one blocks, or -1
  GrowArray<int32_t> nextWitnessed_;  // the list of corners one corner blocks
  GrowArray<int32_t> prevWitnessed_;
  GrowArray<uint8_t> open_;  // to be looked at before the walk passes it
  CornerTree tree_;
  CornerSet candidates_;  // the corners that are open or can be clipped
};

}  // namespace

bool triangulatePolygon(const Vec2Array& points, GrowArray<int32_t>& out) {
  const int32_t n = points.count;
  if (n < 3) return false;
  double area = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const Vec2& prev = points[(i + n - 1) % n];
    const Vec2& cur = points[i];
    area += prev.x * cur.y - cur.x * prev.y;
  }
  area *= 0.5;

  // The working ring runs counter-clockwise. A point equal to the one before
  // it (a closed outline repeating its first point) adds no corner and would
  // leave a flat triangle that no ear test passes, so it is left out.
  GrowArray<int32_t> v;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t index = area > 0.0 ? i : n - 1 - i;
    if (v.count > 0 && same(points[v[v.count - 1]], points[index])) continue;
    if (!v.append(index)) return false;
  }
  while (v.count > 1 && same(points[v[0]], points[v[v.count - 1]])) v.resize(v.count - 1);
  if (v.count < 3) return false;

  // A finely sampled outline has corners too flat for the fixed test even
  // where they are real turns; measured against the outline's size they
  // are still told apart from rounding noise. The fixed test goes first, so
  // that whatever it fills keeps its triangles. When it gets stuck having
  // judged a corner that the two tests judge differently, the relative
  // test takes over: a lower one goes on from where the walk stopped (what
  // was clipped are ears under it too), a higher one starts again.
  double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
  for (int32_t i : v) {
    minX = std::min(minX, points[i].x);
    minY = std::min(minY, points[i].y);
    maxX = std::max(maxX, points[i].x);
    maxY = std::max(maxY, points[i].y);
  }
  const double size = std::max(maxX - minX, maxY - minY);
  double relative = kRelativeEarEpsilon * size * size;
  if (!(relative > 0.0) || !std::isfinite(relative)) relative = kEarEpsilon;

  const int32_t first = out.count;
  EarClipper fixed(points, v, kEarEpsilon, std::min(relative, kEarEpsilon), std::max(relative, kEarEpsilon));
  if (fixed.run(out)) return true;
  if (fixed.judgedBetween() && !fixed.outOfMemory()) {
    if (relative < kEarEpsilon) {
      if (fixed.resume(relative, out)) return true;
    } else {
      out.resize(first);
      if (EarClipper(points, v, relative, 0.0, 0.0).run(out)) return true;
    }
  }
  out.resize(first);
  return false;
}

void MDL_Polyline::updateOutline() {
  if (!outlineDirty) return;
  outlineVertices.freeStorage();
  outlineTexCoords.freeStorage();
  dotVertices.freeStorage();
  dotTexCoords.freeStorage();
  outlineDirty = false;

  // Texture coordinate u runs along the line so the image repeats every
  // 2 thickness / aspect; a line without width keeps the unit scale.
  double k = 1.0;
  if (thickness > 0.0)
    if (const ImageSource* image = outlineImage())
      k = (image->width != 0 ? static_cast<double>(image->height) / image->width : 1.0) * -0.5 / thickness;

  // Equal neighbours (and a closing point equal to the first) make no band.
  Vec2Array pts;
  for (const Vec2& p : points) {
    if (pts.count > 0 && same(pts[pts.count - 1], p)) continue;
    if (!pts.append(p)) return;
  }
  if (closed)
    while (pts.count > 1 && same(pts[0], pts[pts.count - 1])) pts.resize(pts.count - 1);
  const int32_t n = pts.count;
  const double t = thickness;
  // Half-disc caps fanned from an end point in 45-degree steps.
  static const double kV[5] = {0.0, 0.1464466094067262, 0.5, 0.8535533905932737, 1.0};
  auto cap = [&](OutlineWriter& out, const Vec2& end, const Vec2& d, const Vec2& outward, double uEnd) {
    const Vec2 nn = leftOf(d);
    const Vec2 dirs[5] = {nn, scale(add(nn, outward), kHalfSqrt2), outward, scale(sub(outward, nn), kHalfSqrt2),
                          scale(nn, -1.0)};
    for (int32_t s = 0; s < 4; ++s) {
      const Vec2 p0 = scale(dirs[s], t), p1 = scale(dirs[s + 1], t);
      out.triangle(end, {uEnd, 0.5}, add(end, p0), {uEnd - k * dot(p0, d), kV[s]}, add(end, p1),
                   {uEnd - k * dot(p1, d), kV[s + 1]});
    }
  };
  if (n < 2) {
    // All the points in one place: the hit test finds the line there as a
    // dot of its half-width, so it shows as one (two caps back to back).
    if (n == 1 && segmentCount() > 0 && t > 0.0) {
      OutlineWriter dot{dotVertices, dotTexCoords};
      cap(dot, pts[0], {1.0, 0.0}, {-1.0, 0.0}, 0.0);
      cap(dot, pts[0], {1.0, 0.0}, {1.0, 0.0}, 0.0);
      if (!dot.ok) {
        dotVertices.freeStorage();
        dotTexCoords.freeStorage();
      }
    }
    return;
  }
  const bool ring = closed && n >= 3;
  const int32_t segments = ring ? n : n - 1;

  OutlineWriter out{outlineVertices, outlineTexCoords};
  auto direction = [&](int32_t i) {
    const Vec2 d = sub(pts[(i + 1) % n], pts[i]);
    return scale(d, 1.0 / length(d));
  };

  double u = 0.0;
  double uAtPoint0 = 0.0;
  for (int32_t i = 0; i < segments; ++i) {
    const Vec2& a = pts[i];
    const Vec2& b = pts[(i + 1) % n];
    const Vec2 d = direction(i);
    const Vec2 off = scale(leftOf(d), t);
    const double uEnd = u - length(sub(b, a)) * k;
    out.triangle(sub(a, off), {u, 1}, sub(b, off), {uEnd, 1}, add(b, off), {uEnd, 0});
    out.triangle(sub(a, off), {u, 1}, add(b, off), {uEnd, 0}, add(a, off), {u, 0});

    // The join where this segment meets the next one.
    const bool hasNext = ring || i + 1 < segments;
    if (hasNext) {
      const Vec2 d1 = direction((i + 1) % segments);
      const double c = cross(d, d1);
      const double along = dot(d, d1);
      // A turn back on itself needs its outer side covered however small its
      // sine is.
      if (std::fabs(c) >= kJoinSine || along < 0.0) {
        const bool left = c >= 0.0;
        const Vec2 outer0 = left ? scale(leftOf(d), -1.0) : leftOf(d);
        const Vec2 outer1 = left ? scale(leftOf(d1), -1.0) : leftOf(d1);
        const double vOuter = left ? 1.0 : 0.0;
        const double turn = std::atan2(std::fabs(c), along);
        int32_t steps = static_cast<int32_t>(std::ceil(turn / (kPi / 4.0) - 1e-9));
        if (steps < 1) steps = 1;
        const double uJoin = i + 1 < n ? uEnd : uAtPoint0;
        Vec2 from = outer0;
        for (int32_t s = 1; s <= steps; ++s) {
          const Vec2 to = s == steps ? outer1 : rotate(outer0, (left ? turn : -turn) * s / steps);
          out.triangle(b, {uJoin, 0.5}, add(b, scale(from, t)), {uJoin, vOuter}, add(b, scale(to, t)), {uJoin, vOuter});
          from = to;
        }
      }
    }
    u = uEnd;
  }

  if (!ring) {
    const Vec2 first = direction(0);
    const Vec2 last = direction(segments - 1);
    cap(out, pts[0], first, scale(first, -1.0), uAtPoint0);
    cap(out, pts[n - 1], last, last, u);
  }

  if (!out.ok) {
    // Out of memory: no outline rather than a half-built one.
    outlineVertices.freeStorage();
    outlineTexCoords.freeStorage();
  }
}
