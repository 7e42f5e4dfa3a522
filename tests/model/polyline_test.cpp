#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench/outline_shapes.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/polyline.h"

namespace {

constexpr double kThin = 0.009999999776482582;

void setPoints(MDL_Polyline& line, const std::vector<Vec2>& pts) {
  line.clearPoints();
  for (const Vec2& p : pts) ASSERT_TRUE(line.addPoint(p));
}

Vec2Array toArray(const std::vector<Vec2>& pts) {
  Vec2Array a;
  for (const Vec2& p : pts) EXPECT_TRUE(a.append(p));
  return a;
}

double cross(const Vec2& o, const Vec2& a, const Vec2& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double signedArea(const std::vector<Vec2>& pts) {
  double s = 0.0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const Vec2& a = pts[i];
    const Vec2& b = pts[(i + 1) % pts.size()];
    s += a.x * b.y - b.x * a.y;
  }
  return 0.5 * s;
}

// Even-odd rule; the points tested never lie on the outline.
bool insideOutline(const std::vector<Vec2>& pts, const Vec2& p) {
  bool in = false;
  for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
    const Vec2& a = pts[i];
    const Vec2& b = pts[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

bool insideTriangle(const Vec2& p, const Vec2& a, const Vec2& b, const Vec2& c) {
  return cross(a, b, p) >= -1e-12 && cross(b, c, p) >= -1e-12 && cross(c, a, p) >= -1e-12;
}

TEST(PolylineGeometry, DistanceAndHitTable) {
  MDL_Polyline line;
  EXPECT_EQ(line.type, OBJECT_POLYLINE);
  EXPECT_EQ(line.distanceToPoint({0, 0}), DBL_MAX);
  EXPECT_FALSE(line.hitTest({0, 0}));
  setPoints(line, {{3, 4}});
  EXPECT_NEAR(line.distanceToPoint({0, 0}), 5.0 - kThin, 1e-15);

  struct Case {
    std::vector<Vec2> points;
    bool closed;
    double thickness;
    Vec2 probe;
    double distance;
    bool hit;
  } cases[] = {
      // One open segment along x.
      {{{0, 0}, {1, 0}}, false, kThin, {0.5, 0.009}, 0.009 - kThin, true},
      {{{0, 0}, {1, 0}}, false, kThin, {0.5, 0.011}, 0.011 - kThin, false},
      {{{0, 0}, {1, 0}}, false, kThin, {0.5, -0.005}, 0.005 - kThin, true},
      {{{0, 0}, {1, 0}}, false, kThin, {1.006, 0.007}, std::hypot(0.006, 0.007) - kThin, true},  // past the end
      {{{0, 0}, {1, 0}}, false, kThin, {1.006, 0.008}, 0.01 - kThin, false},
      {{{0, 0}, {1, 0}}, false, kThin, {-0.02, 0}, 0.02 - kThin, false},
      {{{0, 0}, {1, 0}}, false, kThin, {0.5, kThin}, 0.0, false},  // the edge itself is out
      // A closed square: the closing side counts, its open twin has none.
      {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true, 0.1, {-0.05, 0.5}, -0.05, true},
      {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, false, 0.1, {-0.05, 0.5}, std::hypot(0.05, 0.5) - 0.1, false},
      {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true, 0.1, {0.5, 0.5}, 0.4, false},
      // A line without width is never hit, even on its points.
      {{{0, 0}, {1, 0}}, false, 0.0, {0.5, 0}, 0.0, false},
      {{{0, 0}, {1, 0}}, false, -0.5, {0.5, 0}, 0.5, false},
      // Equal neighbours are a zero-length segment measured to its point.
      {{{0, 0}, {0, 0}}, false, kThin, {0, 0.005}, 0.005 - kThin, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "probe (" << c.probe.x << ", " << c.probe.y << ") closed " << c.closed
                                      << " thickness " << c.thickness);
    MDL_Polyline l;
    setPoints(l, c.points);
    l.closed = c.closed;
    l.thickness = c.thickness;
    EXPECT_NEAR(l.distanceToPoint(c.probe), c.distance, 1e-12);
    EXPECT_EQ(l.hitTest(c.probe), c.hit);
  }
}

TEST(PolylineGeometry, DistanceToSegmentClampsToTheEnds) {
  EXPECT_DOUBLE_EQ(distanceToSegment({5, 1}, {0, 0}, {2, 0}), std::sqrt(10.0));
  EXPECT_DOUBLE_EQ(distanceToSegment({-3, -4}, {0, 0}, {2, 0}), 5.0);
  EXPECT_DOUBLE_EQ(distanceToSegment({1, 2}, {0, 0}, {2, 0}), 2.0);
  EXPECT_DOUBLE_EQ(distanceToSegment({1, 1}, {1, 4}, {1, 4}), 3.0);
}

TEST(PolylineGeometry, FilledPolygonHitsInsideAndRecomputesLazily) {
  MDL_Polyline square;
  setPoints(square, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_FALSE(square.hitTest({0.5, 0.5}));  // not filled yet
  square.filled = true;
  square.outlined = false;
  EXPECT_TRUE(square.hitTest({0.5, 0.5}));
  EXPECT_TRUE(square.hitTest({1.0, 0.5}));  // an edge of the fill
  EXPECT_FALSE(square.hitTest({1.001, 0.5}));
  EXPECT_EQ(square.fillTriangles.count, 6);
  EXPECT_FALSE(square.fillDirty);

  // New points change the fill only at the next update.
  ASSERT_TRUE(square.addPoint({-1, 1}));
  EXPECT_TRUE(square.fillDirty);
  EXPECT_EQ(square.fillTriangles.count, 6);
  EXPECT_EQ(square.updateFill().count, 9);

  // Points that do not make a polygon give no fill.
  setPoints(square, {{0, 0}, {1, 1}, {2, 2}});
  EXPECT_EQ(square.updateFill().count, 0);
  EXPECT_FALSE(square.hitTest({1, 1}));
}

struct Outline {
  const char* name;
  std::vector<Vec2> points;
};

// Checks what any triangulation of an outline must give: every point used,
// counter-clockwise triangles inside the outline, the outline's area.
void expectGoodTriangulation(const Outline& o) {
  SCOPED_TRACE(o.name);
  Vec2Array pts = toArray(o.points);
  GrowArray<int32_t> tris;
  ASSERT_TRUE(triangulatePolygon(pts, tris));
  ASSERT_EQ(tris.count % 3, 0);
  std::set<std::pair<double, double>> used, all;
  for (const Vec2& p : o.points) all.insert({p.x, p.y});
  double area = 0.0;
  for (int32_t i = 0; i < tris.count; i += 3) {
    for (int32_t k = 0; k < 3; ++k) {
      ASSERT_GE(tris[i + k], 0);
      ASSERT_LT(tris[i + k], pts.count);
      used.insert({pts[tris[i + k]].x, pts[tris[i + k]].y});
    }
    const Vec2& a = pts[tris[i]];
    const Vec2& b = pts[tris[i + 1]];
    const Vec2& c = pts[tris[i + 2]];
    const double twice = cross(a, b, c);
    EXPECT_GT(twice, 0.0) << "triangle " << i / 3 << " is not counter-clockwise";
    area += 0.5 * twice;
    const Vec2 centre{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
    EXPECT_TRUE(insideOutline(o.points, centre)) << "triangle " << i / 3 << " lies outside";
  }
  EXPECT_EQ(used, all) << "a point is left out";
  EXPECT_NEAR(area, std::fabs(signedArea(o.points)), 1e-9);
}

std::vector<Vec2> reversed(std::vector<Vec2> v) { return {v.rbegin(), v.rend()}; }
std::vector<Vec2> toVector(const Vec2Array& a) { return {a.data, a.data + a.count}; }

std::vector<Vec2> star(int tips, double outer, double inner) {
  std::vector<Vec2> v;
  for (int i = 0; i < 2 * tips; ++i) {
    const double r = i % 2 ? inner : outer;
    const double a = 3.141592653589793 * i / tips;
    v.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return v;
}

// Corners at fixed angles and pseudo-random radii: star-shaped, so simple,
// with reflex corners scattered all round.
std::vector<Vec2> ragged(int n) {
  std::vector<Vec2> v;
  uint32_t state = 12345;
  for (int i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    const double r = 1.0 + double(state >> 16 & 0x7FFF) / 0x7FFF;
    const double a = 2 * 3.141592653589793 * i / n;
    v.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return v;
}

TEST(Triangulation, ConvexConcaveAndSelfTouchingOutlines) {
  const std::vector<Vec2> square{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  const std::vector<Vec2> ell{{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}};
  const std::vector<Vec2> comb{{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1},
                               {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
  // Two squares meeting at (1, 1), the point visited twice.
  const std::vector<Vec2> corners{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}};
  // Two triangles whose tips meet at (1, 1).
  const std::vector<Vec2> bow{{0, 0}, {2, 0}, {1, 1}, {2, 2}, {0, 2}, {1, 1}};
  // A square with a hole that opens at its corner (0, 0).
  const std::vector<Vec2> notch{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {1, 2}, {2, 2}, {2, 1}};
  const Outline outlines[] = {
      {"square", square},
      {"clockwise square", reversed(square)},
      {"hexagon", {{2, 0}, {1, 1.7}, {-1, 1.7}, {-2, 0}, {-1, -1.7}, {1, -1.7}}},
      {"ell", ell},
      {"clockwise ell", reversed(ell)},
      {"comb", comb},
      {"star", star(7, 3.0, 1.0)},
      {"touching squares", corners},
      {"clockwise touching squares", reversed(corners)},
      {"bow", bow},
      {"notch", notch},
      {"clockwise notch", reversed(notch)},
      // A closing point equal to the first adds nothing.
      {"repeated first point", {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}}},
      // Large enough that ears are looked for near their triangles only.
      {"star of 400 points", star(200, 3.0, 2.5)},
      {"ragged ring of 500 points", ragged(500)},
      {"clockwise ragged ring", reversed(ragged(500))},
  };
  for (const Outline& o : outlines) expectGoodTriangulation(o);

  // A simple polygon of n corners gives n - 2 triangles.
  Vec2Array pts = toArray(comb);
  GrowArray<int32_t> tris;
  ASSERT_TRUE(triangulatePolygon(pts, tris));
  EXPECT_EQ(tris.count, 3 * (12 - 2));
}

TEST(Triangulation, RefusesWhatIsNoPolygon) {
  const std::vector<std::vector<Vec2>> bad{
      {},
      {{0, 0}, {1, 0}},
      {{0, 0}, {1, 1}, {2, 2}},          // collinear
      {{0, 0}, {2, 2}, {2, 0}, {0, 2}},  // crossing edges
      {{0, 0}, {1, 0}, {0, 0}},          // a point and its twin
  };
  for (const auto& b : bad) {
    Vec2Array pts = toArray(b);
    GrowArray<int32_t> tris;
    EXPECT_FALSE(triangulatePolygon(pts, tris)) << b.size() << " points";
  }
}

// Ear clipping by a plain walk round the ring, every corner looked at in
// turn against every other live corner: the clipper's fixed-test answer,
// slowly. Empty when it fails.
std::vector<int32_t> walkedEars(const Vec2Array& points) {
  const double kEpsilon = 1.000000013351432e-10;
  const int32_t n = points.count;
  auto same = [](const Vec2& a, const Vec2& b) { return a.x == b.x && a.y == b.y; };
  auto inside = [](const Vec2& p, const Vec2& a, const Vec2& b, const Vec2& c) {
    return cross(a, b, p) >= 0.0 && cross(b, c, p) >= 0.0 && cross(c, a, p) >= 0.0;
  };
  double area = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const Vec2& prev = points[(i + n - 1) % n];
    area += prev.x * points[i].y - points[i].x * prev.y;
  }
  std::vector<int32_t> ring;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t index = area > 0.0 ? i : n - 1 - i;
    if (!ring.empty() && same(points[ring.back()], points[index])) continue;
    ring.push_back(index);
  }
  while (ring.size() > 1 && same(points[ring.front()], points[ring.back()])) ring.pop_back();
  std::vector<int32_t> out;
  if (ring.size() < 3) return out;
  const auto at = [&](size_t k) -> const Vec2& { return points[ring[k]]; };
  size_t guard = 2 * ring.size(), u = ring.size() - 1;
  // Drops corner `k`, and the next one when the corners round it then
  // coincide; answers where the walk goes on.
  auto drop = [&](size_t k) {
    ring.erase(ring.begin() + long(k));
    size_t before = (k + ring.size() - 1) % ring.size(), after = k % ring.size();
    if (ring.size() >= 2 && same(at(before), at(after))) {
      ring.erase(ring.begin() + long(after));
      if (after < before) --before;
      after = (before + 1) % ring.size();
    }
    guard = 2 * ring.size();
    return after;
  };
  while (ring.size() > 2) {
    if (guard-- < 1) return {};
    const size_t m = ring.size(), q = (u + 1) % m, w = (q + 1) % m;
    const Vec2 &P = at(u), &Q = at(q), &R = at(w);
    if (same(P, R)) {
      u = drop(q);
      continue;
    }
    // Not below the test: an area that is no number passes.
    bool ear = !((Q.x - P.x) * (R.y - P.y) - (Q.y - P.y) * (R.x - P.x) < kEpsilon);
    for (size_t k = 0; k < m && ear; ++k)
      ear = k == u || k == q || k == w || !inside(at(k), P, Q, R) || same(at(k), P) || same(at(k), Q) ||
            same(at(k), R);
    if (!ear) {
      u = q;
      continue;
    }
    out.insert(out.end(), {ring[u], ring[q], ring[w]});
    u = drop(q);
  }
  return out;
}

TEST(Triangulation, TheFastClipperClipsTheEarsOfAPlainWalk) {
  std::vector<std::pair<std::string, std::vector<Vec2>>> outlines;
  auto add = [&outlines](const std::string& name, const Vec2Array& p) { outlines.push_back({name, toVector(p)}); };
  for (int n : {8, 100, 2000}) {
    add("spiral", outline_shapes::spiral(n));
    add("comb", outline_shapes::comb(n));
    add("star", outline_shapes::star(n));
  }
  outlines.push_back({"ragged", ragged(1500)});
  // Corners that are no numbers or infinite: no order among them.
  const double nan = std::nan(""), inf = HUGE_VAL;
  for (const Vec2& odd : {Vec2{nan, 1}, Vec2{1, nan}, Vec2{inf, 1}, Vec2{-inf, inf}}) {
    outlines.push_back({"square with an odd corner", {{0, 0}, {2, 0}, odd, {2, 2}, {1, 3}, {0, 2}}});
    // Clockwise, so that an area of no number turns it the right way round;
    // its first corner is blocked by the inner one.
    outlines.push_back({"clockwise ell with an odd corner", {{0, 3}, {1, 3}, {1, 1}, {3, 1}, {3, 0}, {0, 0}, odd}});
    outlines.push_back({"ring with an odd corner", ragged(40)});
    outlines.back().second[17] = odd;
  }
  // Star-shaped rings, rings on a coarse lattice (repeated and collinear
  // points, touching and crossing edges) and random points.
  uint32_t state = 7;
  auto random = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 8) / double(1 << 24);
  };
  for (int t = 0; t < 600; ++t) {
    const int n = 3 + int(random() * 40);
    std::vector<Vec2> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * 3.141592653589793 * i / n, r = 0.5 + random();
      if (t % 3 == 0) p.push_back({r * std::cos(a), r * std::sin(a)});
      if (t % 3 == 1) p.push_back({std::round(4 * r * std::cos(a)), std::round(4 * r * std::sin(a))});
      if (t % 3 == 2) p.push_back({std::floor(random() * 5), std::floor(random() * 5)});
    }
    outlines.push_back({"random " + std::to_string(t), p});
  }
  int filled = 0;
  for (const auto& o : outlines) {
    const Vec2Array points = toArray(o.second);
    const std::vector<int32_t> want = walkedEars(points);
    if (want.empty()) continue;  // the walk fails: the clipper may do better
    ++filled;
    GrowArray<int32_t> got;
    ASSERT_TRUE(triangulatePolygon(points, got)) << o.first << " of " << points.count;
    EXPECT_EQ(std::vector<int32_t>(got.data, got.data + got.count), want) << o.first << " of " << points.count;
  }
  EXPECT_GT(filled, 200);
}

TEST(Triangulation, FinelySampledOutlinesFillToo) {
  // Ears of a circle of radius 0.05 in 2,000 points have a doubled area of
  // 8e-11, below the fixed test; the walk fills nothing.
  std::vector<Vec2> circle;
  for (int i = 0; i < 2000; ++i) {
    const double a = 2 * 3.141592653589793 * i / 2000;
    circle.push_back({0.05 * std::cos(a), 0.05 * std::sin(a)});
  }
  EXPECT_TRUE(walkedEars(toArray(circle)).empty());
  expectGoodTriangulation({"fine circle", circle});
  // Far finer ones: a clipped ear for every corner but two, and the area.
  for (const auto& shape : {outline_shapes::spiral(100000), outline_shapes::star(100000)}) {
    GrowArray<int32_t> tris;
    ASSERT_TRUE(triangulatePolygon(shape, tris));
    EXPECT_EQ(tris.count, 3 * (shape.count - 2));
    double area = 0.0, outline = 0.0;
    for (int32_t i = 0; i < tris.count; i += 3) area += 0.5 * cross(shape[tris[i]], shape[tris[i + 1]], shape[tris[i + 2]]);
    for (int32_t i = 0; i < shape.count; ++i) {
      const Vec2& a = shape[i];
      const Vec2& b = shape[(i + 1) % shape.count];
      outline += 0.5 * (a.x * b.y - b.x * a.y);
    }
    EXPECT_NEAR(area, std::fabs(outline), 1e-9);
  }
}

// Every point well inside the line (clear of the 45-degree chords of the
// rounded parts) lies on an outline triangle.
void expectOutlineCovers(MDL_Polyline& line) {
  line.updateOutline();
  const Vec2Array& v = line.outlineVertices;
  ASSERT_GT(v.count, 0);
  ASSERT_EQ(v.count % 3, 0);
  ASSERT_EQ(line.outlineTexCoords.count, v.count);
  double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
  for (const Vec2& p : line.points) {
    minX = std::min(minX, p.x);
    minY = std::min(minY, p.y);
    maxX = std::max(maxX, p.x);
    maxY = std::max(maxY, p.y);
  }
  const double t = line.thickness;
  int checked = 0;
  for (double y = minY - t; y <= maxY + t; y += t / 20) {
    for (double x = minX - t; x <= maxX + t; x += t / 20) {
      const Vec2 p{x, y};
      if (line.distanceToPoint(p) > -0.08 * t) continue;
      ++checked;
      bool covered = false;
      for (int32_t i = 0; i < v.count && !covered; i += 3) covered = insideTriangle(p, v[i], v[i + 1], v[i + 2]);
      ASSERT_TRUE(covered) << "gap at (" << x << ", " << y << ")";
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(PolylineOutline, BandsJoinsAndCapsCoverTheLine) {
  MDL_Polyline zigzag;
  zigzag.thickness = 0.1;
  zigzag.closed = false;
  // Left turns of 90, 150 and 120 degrees, a turn straight back, a right
  // turn of 150 degrees and a left one of 20.
  const double y3 = 1 - 0.8660254037844386;
  const Vec2 p6{1.8660254037844386, y3 + 0.5};
  setPoints(zigzag, {{0, 0},
                     {1, 0},
                     {1, 1},
                     {0.5, y3},
                     {1.5, y3},
                     {1.0, y3},
                     p6,
                     {p6.x + std::cos(50 * 3.141592653589793 / 180), p6.y + std::sin(50 * 3.141592653589793 / 180)}});
  expectOutlineCovers(zigzag);

  MDL_Polyline ring;
  ring.thickness = 0.05;
  setPoints(ring, {{0, 0}, {1, 0}, {1, 1}, {0.6, 0.3}, {0, 1}});
  expectOutlineCovers(ring);
  ring.closed = false;
  ring.outlineDirty = true;
  expectOutlineCovers(ring);
}

TEST(PolylineOutline, TriangleCountsAndTextureCoordinates) {
  MDL_Polyline line;
  line.closed = false;
  setPoints(line, {{0, 0}, {1, 0}});
  line.updateOutline();
  EXPECT_FALSE(line.outlineDirty);
  // One band and two half-disc caps of four triangles.
  ASSERT_EQ(line.outlineVertices.count, 3 * (2 + 8));
  // Across the line v runs from 0 to 1; caps use the 45-degree values.
  std::set<double> vs;
  for (const Vec2& tc : line.outlineTexCoords) vs.insert(tc.y);
  EXPECT_EQ(vs, (std::set<double>{0.0, 0.1464466094067262, 0.5, 0.8535533905932737, 1.0}));
  // Without an image u advances by minus the length.
  double minU = 0.0;
  for (const Vec2& tc : line.outlineTexCoords) minU = std::min(minU, tc.x);
  EXPECT_NEAR(minU, -1.0 - kThin, 1e-12);

  // A 200 x 100 image repeats every 2 thickness / aspect along the line.
  ImageSource image;
  image.width = 200;
  image.height = 100;
  Material looks;
  ASSERT_NE(looks.addLayer(), nullptr);
  ASSERT_NE(looks.addLayer(), nullptr);
  looks.layers[1].image = &image;
  line.material = &looks;
  EXPECT_EQ(line.outlineImage(), &image);
  line.outlineDirty = true;
  line.updateOutline();
  double maxU = 0.0;
  for (int32_t i = 0; i < 6; ++i) maxU = std::max(maxU, line.outlineTexCoords[i].x);
  EXPECT_NEAR(maxU, 0.5 * 0.5 / kThin, 1e-9);
  // Without width the unit scale holds.
  line.thickness = 0.0;
  line.outlineDirty = true;
  line.updateOutline();
  minU = 0.0;
  for (int32_t i = 0; i < 6; ++i) minU = std::min(minU, line.outlineTexCoords[i].x);
  EXPECT_EQ(minU, -1.0);
  line.material = nullptr;

  // A closed square: four bands and four right-angle joins of two steps.
  MDL_Polyline square;
  square.thickness = 0.1;
  setPoints(square, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  square.updateOutline();
  const int32_t squareCount = square.outlineVertices.count;
  EXPECT_EQ(squareCount, 3 * (4 * 2 + 4 * 2));
  // Repeated points, a closing point equal to the first: the same outline.
  setPoints(square, {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 1}, {0, 0}});
  square.updateOutline();
  EXPECT_EQ(square.outlineVertices.count, squareCount);
  // A nearly straight turn adds no join.
  setPoints(square, {{0, 0}, {1, 0}, {2, 0.1}});
  square.closed = false;
  square.updateOutline();
  EXPECT_EQ(square.outlineVertices.count, 3 * (4 + 8));
  // A single point (or none) has no outline.
  setPoints(square, {{1, 1}, {1, 1}});
  square.updateOutline();
  EXPECT_EQ(square.outlineVertices.count, 0);
  EXPECT_EQ(square.outlineTexCoords.count, 0);
}

TEST(PolylineOutline, ALineWhosePointsAllCoincideIsADotWhereItCanBeHit) {
  struct Case {
    const char* what;
    std::vector<Vec2> points;
    bool closed;
    bool dot;
  } cases[] = {
      {"one point", {{1, 1}}, true, true},
      {"one point, open: no segment", {{1, 1}}, false, false},
      {"a point and its twin, open", {{1, 1}, {1, 1}}, false, true},
      {"none", {}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MDL_Polyline line;
    line.thickness = 0.1;
    line.closed = c.closed;
    setPoints(line, c.points);
    line.updateOutline();
    EXPECT_EQ(line.outlineVertices.count, 0);
    EXPECT_EQ(line.hitTest({1.05, 1}), c.dot);
    if (!c.dot) {
      EXPECT_EQ(line.dotVertices.count, 0);
      continue;
    }
    // Two half-disc caps of four triangles; every point the hit test finds
    // well inside lies on one.
    ASSERT_EQ(line.dotVertices.count, 3 * 8);
    ASSERT_EQ(line.dotTexCoords.count, 3 * 8);
    for (double a = 0; a < 6.28; a += 0.1)
      for (double r : {0.0, 0.05, 0.09}) {
        const Vec2 p{1 + r * std::cos(a), 1 + r * std::sin(a)};
        bool covered = false;
        for (int32_t i = 0; i < 24 && !covered; i += 3)
          covered = insideTriangle(p, line.dotVertices[i], line.dotVertices[i + 1], line.dotVertices[i + 2]);
        EXPECT_TRUE(covered) << p.x << ", " << p.y;
      }
    // Points added make it a line again.
    ASSERT_TRUE(line.addPoint({2, 1}));
    line.updateOutline();
    EXPECT_GT(line.outlineVertices.count, 0);
    EXPECT_EQ(line.dotVertices.count, 0);
  }
}

TEST(PolylineLooks, OwnMaterialCopiesOnFirstChange) {
  Material shared;
  shared.diffuse = {0.1, 0.2, 0.3, 1};
  {
    MDL_Polyline line;
    line.material = &shared;
    ASSERT_TRUE(line.ownMaterial());
    EXPECT_TRUE(line.ownsMaterial);
    EXPECT_NE(line.material, &shared);
    line.material->diffuse.r = 1.0;
    Material* own = line.material;
    ASSERT_TRUE(line.ownMaterial());
    EXPECT_EQ(line.material, own);
  }  // the private copy goes with the line
  EXPECT_EQ(shared.diffuse.r, 0.1);
  MDL_Polyline bare;
  EXPECT_EQ(bare.outlineImage(), nullptr);
  ASSERT_TRUE(bare.ownMaterial());
  EXPECT_EQ(bare.material->layers.count, 0);
  EXPECT_EQ(bare.material->diffuse.a, 1.0);
}

}  // namespace
