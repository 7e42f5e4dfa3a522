// The tree that orders translucent triangles, on triangles given in eye
// space (the eye at the origin looking down -z).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "view/gl/bsp.h"

namespace {

// Corner attributes follow the position linearly, so a cut corner can be
// checked against its own position; colour alpha carries a tag per triangle.
Vec2 uvAt(const Vec3& p) { return {p.x + 2 * p.y, p.z}; }
ColorRGBA colourAt(const Vec3& p, double tag) { return {p.x, p.y, p.z, tag}; }
Vec3 normalAt(const Vec3& p) { return {p.y, -p.x, 1 + p.z}; }

// A triangle as handed to the tree, with the corners its walk asks back.
struct Corners {
  BspTriangle triangle;
  BspVertex corner[3];
};

Corners triangle(const Vec3& a, const Vec3& b, const Vec3& c, double tag = 0) {
  Corners n{};
  const Vec3 corners[3] = {a, b, c};
  for (int k = 0; k < 3; ++k) {
    n.triangle.position[k] = corners[k];
    n.corner[k] = {corners[k], normalAt(corners[k]), uvAt(corners[k]), colourAt(corners[k], tag)};
  }
  // The plane normal points away from the eye whatever the winding.
  const double facing = dot3(a, cross3(b, c));
  n.triangle.plane = facing > 0 ? cross3(b - a, c - a) : cross3(c - a, b - a);
  normalize3(n.triangle.plane);
  return n;
}

// A triangle facing the eye around (x, y, z).
Corners facingAt(double x, double y, double z, double tag, double size = 1) {
  return triangle({x - size, y - size, z}, {x + size, y - size, z}, {x, y + size, z}, tag);
}

// A tree that keeps what it was handed by the numbers it gave, for its walk.
struct TestTree final : BspSource {
  BspTree tree;
  std::vector<Corners> given;

  void insert(int32_t start, const Corners& c) {
    if (tree.insert(start, c.triangle) >= 0) given.push_back(c);
  }
  int32_t add(const Corners& c) {
    const int32_t node = tree.add(c.triangle);
    if (node >= 0) given.push_back(c);
    return node;
  }
  int32_t count() const { return tree.count(); }
  void reset() {
    tree.reset();
    given.clear();
  }
  bool walk(int32_t node, TranslucentStreams* s) { return tree.walk(node, *this, s); }
  BspVertex corner(int32_t t, int k) const override { return given[size_t(t)].corner[k]; }
  Material* material(int32_t) const override { return nullptr; }
};

struct Walked {
  std::vector<Vec3> positions;
  std::vector<double> tags;  // one per triangle
};

Walked walk(TestTree& tree) {
  TranslucentStreams s;
  EXPECT_TRUE(tree.walk(0, &s));
  Walked w;
  w.positions.assign(s.positions.begin(), s.positions.end());
  for (int32_t t = 0; t < s.triangles(); ++t) w.tags.push_back(s.colors[3 * t].a);
  EXPECT_EQ(s.positions.count, 3 * s.triangles());
  EXPECT_EQ(s.normals.count, s.positions.count);
  EXPECT_EQ(s.uvs.count, s.positions.count);
  EXPECT_EQ(s.colors.count, s.positions.count);
  return w;
}

double area(const Vec3& a, const Vec3& b, const Vec3& c) { return 0.5 * length3(cross3(b - a, c - a)); }

// Distance along the ray from the eye to where it meets the triangle; -1 on
// a miss.
double hit(const Vec3& dir, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 e1 = b - a, e2 = c - a, p = cross3(dir, e2);
  const double det = dot3(e1, p);
  if (std::fabs(det) < 1e-12) return -1;
  const Vec3 s = -a;
  const double u = dot3(s, p) / det;
  if (u < 0 || u > 1) return -1;
  const Vec3 q = cross3(s, e1);
  const double v = dot3(dir, q) / det;
  if (v < 0 || u + v > 1) return -1;
  return dot3(e2, q) / det;
}

}  // namespace

TEST(Bsp, ParallelTrianglesComeOutFarToNearInEveryInsertionOrder) {
  std::vector<int> order = {0, 1, 2, 3};
  const double depths[4] = {-1, -2.5, -4, -7};
  do {
    TestTree tree;
    for (int i : order) tree.insert(0, facingAt(0.1 * i, 0, depths[i], i));
    const Walked w = walk(tree);
    EXPECT_EQ(w.tags, (std::vector<double>{3, 2, 1, 0}));
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(Bsp, CoplanarTrianglesFollowTheirNodeMostRecentFirst) {
  TestTree tree;
  tree.insert(0, facingAt(0, 0, -5, 1));
  tree.insert(0, facingAt(0, 0, -8, 9));  // behind the plane
  tree.insert(0, facingAt(3, 0, -5, 2));  // on the plane
  tree.insert(0, facingAt(-3, 1, -5, 3));
  tree.insert(0, facingAt(0, 0, -2, 0));  // before the plane
  ASSERT_EQ(tree.count(), 5);
  EXPECT_EQ(tree.tree.nodes[0].nextCoplanar, 3);
  EXPECT_EQ(tree.tree.nodes[3].nextCoplanar, 2);
  EXPECT_EQ(walk(tree).tags, (std::vector<double>{9, 1, 3, 2, 0}));
}

TEST(Bsp, StraddlingTrianglesAreCutIntoPiecesOnBothSides) {
  // The root lies in z = -5; each case crosses it and lists how many pieces
  // land behind it and before it.
  struct Case {
    const char* what;
    Vec3 a, b, c;
    int far, near;
  } cases[] = {
      {"one vertex on the plane", {0, 0, -5}, {1, -1, -3}, {1, 1, -8}, 1, 1},
      {"on the plane as the last vertex", {1, -1, -3}, {1, 1, -8}, {0, 0, -5}, 1, 1},
      {"one near, two far", {0, 0, -3}, {1, -1, -7}, {-1, 1, -6}, 2, 1},
      {"two near, one far", {-1, 0, -4}, {1, 0, -2}, {0, 1, -9}, 1, 2},
      {"lone vertex last", {1, 0, -2}, {0, 1, -9}, {-1, 0, -4}, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestTree tree;
    tree.insert(0, facingAt(0, 0, -5, 0, 20));
    const Corners whole = triangle(c.a, c.b, c.c, 1);
    tree.insert(0, whole);
    const Walked w = walk(tree);
    ASSERT_EQ(w.tags.size(), size_t(c.far + c.near + 1));
    const int root = int(std::find(w.tags.begin(), w.tags.end(), 0.0) - w.tags.begin());
    EXPECT_EQ(root, c.far);
    double pieces = 0;
    TranslucentStreams s;
    tree.walk(0, &s);
    for (int t = 0; t < int(w.tags.size()); ++t) {
      if (t == root) continue;
      const Vec3* p = &w.positions[3 * t];
      for (int k = 0; k < 3; ++k) {
        // Behind the root everything is at or beyond its plane, before it at or nearer.
        if (t < root)
          EXPECT_LE(p[k].z, -5 + 1e-9);
        else
          EXPECT_GE(p[k].z, -5 - 1e-9);
        // Cut corners carry what the edge carries there.
        const Vec2 uv = s.uvs[3 * t + k], want = uvAt(p[k]);
        EXPECT_NEAR(uv.x, want.x, 1e-9);
        EXPECT_NEAR(uv.y, want.y, 1e-9);
        const ColorRGBA col = s.colors[3 * t + k];
        EXPECT_NEAR(col.r, p[k].x, 1e-9);
        EXPECT_NEAR(col.b, p[k].z, 1e-9);
        EXPECT_NEAR(s.normals[3 * t + k].z, normalAt(p[k]).z, 1e-9);
      }
      // Same winding and plane as the whole.
      EXPECT_GT(dot3(cross3(p[1] - p[0], p[2] - p[0]), cross3(c.b - c.a, c.c - c.a)), 0);
      pieces += area(p[0], p[1], p[2]);
    }
    EXPECT_NEAR(pieces, area(c.a, c.b, c.c), 1e-9);  // nothing lost, nothing twice
  }
}

TEST(Bsp, EveryRayFromTheEyeMeetsTheWalkedTrianglesFarToNear) {
  // Random triangles of all orientations, many of them crossing one
  // another: along any ray, a triangle drawn later must be nearer.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> spread(-4, 4), depth(-14, -3), corner(-1.5, 1.5);
  TestTree tree;
  double total = 0;
  for (int i = 0; i < 150; ++i) {
    const Vec3 centre(spread(random), spread(random), depth(random));
    const Vec3 a = centre + Vec3(corner(random), corner(random), corner(random));
    const Vec3 b = centre + Vec3(corner(random), corner(random), corner(random));
    const Vec3 c = centre + Vec3(corner(random), corner(random), corner(random));
    tree.insert(0, triangle(a, b, c, i));
    total += area(a, b, c);
  }
  const Walked w = walk(tree);
  EXPECT_GT(w.tags.size(), 150u);  // some were cut
  double pieces = 0;
  for (size_t t = 0; t < w.tags.size(); ++t)
    pieces += area(w.positions[3 * t], w.positions[3 * t + 1], w.positions[3 * t + 2]);
  EXPECT_NEAR(pieces, total, 1e-6 * total);

  int crossings = 0;
  for (int r = 0; r < 3000; ++r) {
    Vec3 dir(spread(random) / 8, spread(random) / 8, -1);
    double last = 1e9;
    for (size_t t = 0; t < w.tags.size(); ++t) {
      const double d = hit(dir, w.positions[3 * t], w.positions[3 * t + 1], w.positions[3 * t + 2]);
      if (d <= 0) continue;
      ASSERT_LE(d, last + 1e-4) << "ray " << r << " triangle " << t;
      crossings += last < 1e9;
      last = d;
    }
  }
  EXPECT_GT(crossings, 1000);  // the rays did meet several triangles each
}

// Pieces dropped at the node limit take corners with them that other
// pieces' cuts were made from: every corner the walk gives still carries
// what its edge carries there, whatever the limit cut off.
TEST(Bsp, CornersStayRightWhereTheLimitDroppedPieces) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> spread(-3, 3), depth(-12, -4), corner(-2.5, 2.5);
  std::vector<Corners> triangles;
  for (int i = 0; i < 60; ++i) {
    const Vec3 centre(spread(random), spread(random), depth(random));
    Vec3 p[3];
    for (Vec3& v : p) v = centre + Vec3(corner(random), corner(random), corner(random));
    triangles.push_back(triangle(p[0], p[1], p[2], i));
  }
  for (int32_t limit = 20; limit <= 400; limit += 7) {
    SCOPED_TRACE(limit);
    TestTree tree;
    tree.tree.maxNodes = limit;
    for (const Corners& t : triangles) tree.insert(0, t);
    TranslucentStreams s;
    ASSERT_TRUE(tree.walk(0, &s));
    ASSERT_LE(s.triangles(), tree.count());
    for (int32_t v = 0; v < s.positions.count; ++v) {
      const Vec3 p = s.positions[v];
      const Vec2 want = uvAt(p);
      ASSERT_NEAR(s.uvs[v].x, want.x, 1e-9) << v;
      ASSERT_NEAR(s.uvs[v].y, want.y, 1e-9) << v;
      ASSERT_NEAR(s.colors[v].g, p.y, 1e-9) << v;
      ASSERT_NEAR(s.normals[v].x, normalAt(p).x, 1e-9) << v;
      ASSERT_NEAR(s.normals[v].z, normalAt(p).z, 1e-9) << v;
      ASSERT_NEAR(s.colors[v].a, std::round(s.colors[v].a), 1e-9) << v;  // the whole's tag
    }
  }
}

TEST(Bsp, DeepTreesAreBuiltAndWalkedWithoutRecursion) {
  // Inserted near to far, each triangle goes below all the others: a tree
  // as deep as it is large.
  TestTree tree;
  const int n = 3000;
  for (int i = 0; i < n; ++i) tree.insert(0, facingAt(0, 0, -1 - 0.01 * i, i));
  Walked w = walk(tree);
  ASSERT_EQ(w.tags.size(), size_t(n));
  for (int i = 0; i < n; ++i) ASSERT_EQ(w.tags[i], n - 1 - i);

  // Far deeper than any call stack: a chain of far children, the walk's
  // worst case.
  TestTree chain;
  const int depth = 250000;
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(chain.add(facingAt(0, 0, -1 - i, i)), i);
    if (i > 0) chain.tree.nodes[i - 1].farChild = i;
  }
  w = walk(chain);
  ASSERT_EQ(w.tags.size(), size_t(depth));
  EXPECT_EQ(w.tags.front(), depth - 1);
  EXPECT_EQ(w.tags.back(), 0);
}

TEST(Bsp, PiecesOfOneTriangleAreNotCutByEachOther) {
  // Slivers 3e13 long and a unit wide (a translucent box stretched that far
  // by its matrix): rounding puts the pieces of one triangle off their own
  // plane by more than the tolerance. Cut again by each other, they made
  // pieces without end, until the node limit (seconds for one frame).
  TestTree tree;
  tree.insert(0, triangle({4.4408920985006262e-16, -1.3938641048743385, -9.8008745965420285},
                          {1.3719886811400717, -1.1478880863671017, -10.039920318408907},
                          {4.4408920985006262e-16, 6.6613381477509392e-16, -8.3666002653407556}, 0));
  tree.insert(0, triangle({-14291548761875.594, 6149400462681.1963, -5976143046679.917},
                          {-14291548761874.736, 6149400462680.8271, -5976143046679.5576},
                          {14291548761876.451, -6149400462680.1709, 5976143046664.9775}, 1));
  tree.insert(0, triangle({-14291548761874.736, 6149400462680.8271, -5976143046679.5576},
                          {14291548761876.965, -6149400462679.5557, 5976143046664.3799},
                          {14291548761876.451, -6149400462680.1709, 5976143046664.9775}, 2));
  tree.insert(0, triangle({-14291548761874.223, 6149400462681.4424, -5976143046680.1553},
                          {-14291548761875.08, 6149400462681.8115, -5976143046680.5146},
                          {14291548761876.107, -6149400462679.1865, 5976143046664.0205}, 3));
  EXPECT_EQ(tree.tree.triangles(), 4);
  EXPECT_LT(tree.count(), 200);
  // Every piece is still drawn, each with its own triangle's tag.
  const Walked w = walk(tree);
  EXPECT_EQ(w.tags.size(), size_t(tree.count()));
  for (int tag = 0; tag < 4; ++tag) EXPECT_NE(std::find(w.tags.begin(), w.tags.end(), tag), w.tags.end()) << tag;
}

TEST(Bsp, NodesPastTheLimitAreDroppedAndTheStorageIsKeptAcrossFrames) {
  TestTree tree;
  tree.tree.maxNodes = 4;
  tree.insert(0, facingAt(0, 0, -5, 0, 20));
  for (int i = 0; i < 5; ++i) tree.insert(0, triangle({0, 0, -3}, {1, -1, -7}, {-1, 1, -6}, 1));
  EXPECT_EQ(tree.count(), 4);
  EXPECT_EQ(walk(tree).tags.size(), 4u);

  const BspNode* storage = tree.tree.nodes.data;
  const Vec3* planes = tree.tree.planes.data;
  const BspCut* cuts = tree.tree.cuts.data;
  const int32_t capacity = tree.tree.nodes.capacity;
  ASSERT_GT(tree.tree.cuts.count, 0);
  tree.reset();
  EXPECT_EQ(tree.count(), 0);
  EXPECT_EQ(walk(tree).tags.size(), 0u);
  tree.insert(0, facingAt(0, 0, -5, 0));
  EXPECT_EQ(tree.tree.nodes.data, storage);
  EXPECT_EQ(tree.tree.planes.data, planes);
  EXPECT_EQ(tree.tree.cuts.data, cuts);
  EXPECT_EQ(tree.tree.nodes.capacity, capacity);
}
