#include "model/polyline.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "model/image_source.h"
#include "model/material.h"

namespace {

// Smallest doubled ear area that counts as a turn (1e-10 as a float).
constexpr double kEarEpsilon = 1.000000013351432e-10;
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

// The corners still in the outline, bucketed by a grid over their bounding
// box (about one corner per cell), so that an ear test looks only at the
// corners near its triangle instead of at all of them.
class CornerGrid {
 public:
  // Corners are positions 0..n-1 of `ring`, points[ring[i]] their places.
  bool build(const Vec2Array& points, const GrowArray<int32_t>& ring) {
    const int32_t n = ring.count;
    minX_ = minY_ = DBL_MAX;
    double maxX = -DBL_MAX, maxY = -DBL_MAX;
    for (int32_t i = 0; i < n; ++i) {
      const Vec2& p = points[ring[i]];
      minX_ = std::min(minX_, p.x);
      minY_ = std::min(minY_, p.y);
      maxX = std::max(maxX, p.x);
      maxY = std::max(maxY, p.y);
    }
    side_ = 1;
    // Coordinates that are not finite numbers share one cell: every test
    // then looks at every corner, as without the grid.
    if (std::isfinite(minX_) && std::isfinite(minY_) && std::isfinite(maxX) && std::isfinite(maxY)) {
      while (int64_t(side_) * side_ < n && side_ < 4096) side_ *= 2;
      scaleX_ = maxX > minX_ ? side_ / (maxX - minX_) : 0.0;
      scaleY_ = maxY > minY_ ? side_ / (maxY - minY_) : 0.0;
    } else {
      minX_ = minY_ = scaleX_ = scaleY_ = 0.0;
    }
    const int32_t cells = side_ * side_;
    if (!start_.resize(cells + 1) || !items_.resize(n) || !alive_.resize(n)) return false;
    std::memset(start_.data, 0, sizeof(int32_t) * size_t(cells + 1));
    for (int32_t i = 0; i < n; ++i) ++start_[cellOf(points[ring[i]]) + 1];
    for (int32_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
    GrowArray<int32_t> fill;
    if (!fill.resize(cells)) return false;
    std::memcpy(fill.data, start_.data, sizeof(int32_t) * size_t(cells));
    for (int32_t i = 0; i < n; ++i) {
      items_[fill[cellOf(points[ring[i]])]++] = i;
      alive_[i] = 1;
    }
    return true;
  }

  void remove(int32_t corner) { alive_[corner] = 0; }

  // Calls visit(corner) for every live corner in the cells that the box
  // touches, until visit answers false; answers whether it never did.
  template <class Visit>
  bool all(double x0, double y0, double x1, double y1, Visit visit) const {
    const int32_t cx0 = column(x0, minX_, scaleX_), cx1 = column(x1, minX_, scaleX_);
    const int32_t cy0 = column(y0, minY_, scaleY_), cy1 = column(y1, minY_, scaleY_);
    for (int32_t cy = cy0; cy <= cy1; ++cy)
      for (int32_t cx = cx0; cx <= cx1; ++cx) {
        const int32_t c = cy * side_ + cx;
        for (int32_t k = start_[c]; k < start_[c + 1]; ++k)
          if (alive_[items_[k]] && !visit(items_[k])) return false;
      }
    return true;
  }

 private:
  int32_t column(double v, double origin, double scale) const {
    const double t = (v - origin) * scale;
    if (!(t >= 0.0)) return 0;  // also NaN
    return t >= side_ - 1 ? side_ - 1 : static_cast<int32_t>(t);
  }
  int32_t cellOf(const Vec2& p) const { return column(p.y, minY_, scaleY_) * side_ + column(p.x, minX_, scaleX_); }

  int32_t side_ = 1;
  double minX_ = 0.0, minY_ = 0.0, scaleX_ = 0.0, scaleY_ = 0.0;
  GrowArray<int32_t> start_, items_;
  GrowArray<uint8_t> alive_;
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

  int32_t m = v.count;
  if (m < 3) return false;
  // Corners are linked in a ring, so that clipping one costs nothing.
  GrowArray<int32_t> next, prev;
  CornerGrid grid;
  if (!next.resize(m) || !prev.resize(m) || !grid.build(points, v)) return false;
  for (int32_t i = 0; i < m; ++i) {
    next[i] = i + 1 < m ? i + 1 : 0;
    prev[i] = i > 0 ? i - 1 : m - 1;
  }
  int32_t guard = 2 * m;
  auto unlink = [&](int32_t corner) {
    next[prev[corner]] = next[corner];
    prev[next[corner]] = prev[corner];
    grid.remove(corner);
    --m;
  };
  // Removes a corner; neighbours that then coincide (the two visits of a
  // point where the outline touches itself) become one corner. Answers the
  // corner the walk goes on from.
  auto removeCorner = [&](int32_t corner) {
    const int32_t before = prev[corner];
    int32_t after = next[corner];
    unlink(corner);
    if (m >= 2 && same(points[v[before]], points[v[after]])) {
      const int32_t beyond = next[after];
      unlink(after);
      after = beyond;
    }
    guard = 2 * m;
    return after;
  };
  int32_t u = prev[0];
  while (m > 2) {
    if (guard < 1) return false;  // a whole cycle without an ear: not simple
    --guard;
    const int32_t at = next[u];
    const int32_t w = next[at];
    const Vec2& P = points[v[u]];
    const Vec2& Q = points[v[at]];
    const Vec2& R = points[v[w]];
    if (same(P, R)) {
      // A spike out to Q and back encloses nothing.
      u = removeCorner(at);
      continue;
    }
    if ((Q.x - P.x) * (R.y - P.y) - (Q.y - P.y) * (R.x - P.x) < kEarEpsilon) {
      u = at;
      continue;
    }
    // Where the outline touches itself a point repeats a corner; it lies
    // outside this corner's angle, so it does not block the ear.
    const bool ear = grid.all(std::min({P.x, Q.x, R.x}), std::min({P.y, Q.y, R.y}), std::max({P.x, Q.x, R.x}),
                              std::max({P.y, Q.y, R.y}), [&](int32_t k) {
                                if (k == u || k == at || k == w) return true;
                                const Vec2& D = points[v[k]];
                                return !insideTriangle(D, P, Q, R) || same(D, P) || same(D, Q) || same(D, R);
                              });
    if (!ear) {
      u = at;
      continue;
    }
    if (!out.append(v[u]) || !out.append(v[at]) || !out.append(v[w])) return false;
    u = removeCorner(at);
  }
  return true;
}

void MDL_Polyline::updateOutline() {
  if (!outlineDirty) return;
  outlineVertices.freeStorage();
  outlineTexCoords.freeStorage();
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
  if (n < 2) return;
  const bool ring = closed && n >= 3;
  const int32_t segments = ring ? n : n - 1;
  const double t = thickness;

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
    // Half-disc caps fanned from each end point in 45-degree steps.
    static const double kV[5] = {0.0, 0.1464466094067262, 0.5, 0.8535533905932737, 1.0};
    auto cap = [&](const Vec2& end, const Vec2& d, const Vec2& outward, double uEnd) {
      const Vec2 nn = leftOf(d);
      const Vec2 dirs[5] = {nn, scale(add(nn, outward), kHalfSqrt2), outward, scale(sub(outward, nn), kHalfSqrt2),
                            scale(nn, -1.0)};
      for (int32_t s = 0; s < 4; ++s) {
        const Vec2 p0 = scale(dirs[s], t), p1 = scale(dirs[s + 1], t);
        out.triangle(end, {uEnd, 0.5}, add(end, p0), {uEnd - k * dot(p0, d), kV[s]}, add(end, p1),
                     {uEnd - k * dot(p1, d), kV[s + 1]});
      }
    };
    const Vec2 first = direction(0);
    const Vec2 last = direction(segments - 1);
    cap(pts[0], first, scale(first, -1.0), uAtPoint0);
    cap(pts[n - 1], last, last, u);
  }

  if (!out.ok) {
    // Out of memory: no outline rather than a half-built one.
    outlineVertices.freeStorage();
    outlineTexCoords.freeStorage();
  }
}
