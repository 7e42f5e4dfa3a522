#include "model/mesh_data.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "support/models_xml.h"

namespace {

using namespace modelsxml;

struct Loaded {
  TiXmlDocument doc;
  MeshData mesh;
  explicit Loaded(const std::string& xml) {
    doc.Parse(xml.c_str());
    EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
    EXPECT_TRUE(mesh.loadXml(doc.RootElement()));
  }
};

// A unit square of two triangles with normals, uvs and colours.
const std::vector<double> kSquare = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
const std::vector<double> kUp = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
const std::vector<double> kUvs = {0, 0, 1, 0, 1, 1, 0.5, 0.25};
const std::vector<int32_t> kTwo = {0, 1, 2, 0, 2, 3};

TEST(MeshData, DoubleAndFloatPackingsReadToIdenticalData) {
  const char* common =
      "<min>0 0 0</min><max>1, 1, 0</max><double_sided>1</double_sided>"
      "<colors count=\"4\">ff000080 00ff00ff\n0000ffff ffffffff</colors>";
  Loaded wide("<mesh name=\"sq\">" + std::string(common) + section("vertices", 4, 8, hexDoubles(kSquare)) +
              section("normals", 4, 8, hexDoubles(kUp)) + section("uvs", 4, 8, hexDoubles(kUvs)) +
              section("triangles", 2, 4, hexInt32(kTwo)) + "</mesh>");
  Loaded narrow("<mesh name=\"sq\">" + std::string(common) + section("vertices", 4, 4, hexFloats(kSquare)) +
                section("normals", 4, 4, hexFloats(kUp)) + section("uvs", 4, 4, hexFloats(kUvs)) +
                section("triangles", 2, 2, hexUint16(kTwo)) + "</mesh>");

  for (const MeshData* m : {&wide.mesh, &narrow.mesh}) {
    EXPECT_STREQ(m->name, "sq");
    ASSERT_EQ(m->vertexCount, 4);
    ASSERT_EQ(m->normalCount, 4);
    ASSERT_EQ(m->uvCount, 4);
    ASSERT_EQ(m->colorCount, 4);
    ASSERT_EQ(m->triangleCount, 2);
    EXPECT_TRUE(m->doubleSided);
    EXPECT_EQ(m->boundsMax, Vec3(1, 1, 0));
    EXPECT_EQ(m->translucentColorCount, 1);
  }
  const MeshData& a = wide.mesh;
  const MeshData& b = narrow.mesh;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a.vertices[i], Vec3(kSquare[3 * i], kSquare[3 * i + 1], kSquare[3 * i + 2]));
    EXPECT_EQ(a.vertices[i], b.vertices[i]);
    EXPECT_EQ(a.normals[i], b.normals[i]);
    EXPECT_EQ(a.uvs[2 * i], b.uvs[2 * i]);
    EXPECT_EQ(a.uvs[2 * i + 1], b.uvs[2 * i + 1]);
  }
  EXPECT_EQ(std::memcmp(a.triangles, b.triangles, 6 * sizeof(int32_t)), 0);
  EXPECT_EQ(a.triangles[5], 3);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(a.triangleInfos[t].normal, Vec3(0, 0, 1));
    EXPECT_EQ(b.triangleInfos[t].normal, Vec3(0, 0, 1));
    EXPECT_EQ(a.triangleInfos[t].facesLight, 0);
  }
  // The shared diagonal 0-2 is edge 2 (corner 2 to 0) of the first triangle
  // and edge 0 (corner 0 to 2) of the second.
  EXPECT_EQ(a.triangleInfos[0].neighbours[2], 1);
  EXPECT_EQ(a.triangleInfos[1].neighbours[0], 0);
  EXPECT_EQ(a.colors[0].r, 1.0);
  EXPECT_EQ(a.colors[0].g, 0.0);
  EXPECT_DOUBLE_EQ(a.colors[0].a, 128 / 255.0);
  EXPECT_EQ(a.colors[3].a, 1.0);
}

TEST(MeshData, NeighboursAcrossAnEdgeByIndexOrByEqualPosition) {
  // (0,1,2) and (2,1,3): edge 1 of the first, edge 0 of the second.
  const std::vector<double> shared = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
  Loaded byIndex("<mesh>" + section("vertices", 4, 8, hexDoubles(shared)) +
                 section("triangles", 2, 4, hexInt32({0, 1, 2, 2, 1, 3})) + "</mesh>");
  // The same pair with the shared corners duplicated (vertices 3 and 4 are
  // copies of 2 and 1): still welded.
  std::vector<double> split = shared;
  split.insert(split.end(), {-0.0, 1, 0, 1, 0, 0});  // -0 welds with +0
  Loaded byPosition("<mesh>" + section("vertices", 6, 8, hexDoubles(split)) +
                    section("triangles", 2, 4, hexInt32({0, 1, 2, 4, 5, 3})) + "</mesh>");
  // split: triangle 2 is (4=(0,1,0), 5=(1,0,0), 3=(1,1,0)), i.e. (2,1,3) by position.
  for (const MeshData* m : {&byIndex.mesh, &byPosition.mesh}) {
    const TriangleInfo* t = m->triangleInfos;
    EXPECT_EQ(t[0].neighbours[0], -1);
    EXPECT_EQ(t[0].neighbours[1], 1);
    EXPECT_EQ(t[0].neighbours[2], -1);
    EXPECT_EQ(t[1].neighbours[0], 0);
    EXPECT_EQ(t[1].neighbours[1], -1);
    EXPECT_EQ(t[1].neighbours[2], -1);
  }
}

// Checks that every link is mutual and joins edges with the same end points.
void expectConsistentLinks(const MeshData& m) {
  for (int t = 0; t < m.triangleCount; ++t) {
    for (int k = 0; k < 3; ++k) {
      int u = m.triangleInfos[t].neighbours[k];
      if (u < 0) continue;
      const Vec3& a = m.vertices[m.triangles[3 * t + k]];
      const Vec3& b = m.vertices[m.triangles[3 * t + (k + 1) % 3]];
      bool back = false;
      for (int j = 0; j < 3; ++j) {
        const Vec3& c = m.vertices[m.triangles[3 * u + j]];
        const Vec3& d = m.vertices[m.triangles[3 * u + (j + 1) % 3]];
        if (m.triangleInfos[u].neighbours[j] == t && ((a == c && b == d) || (a == d && b == c))) back = true;
      }
      EXPECT_TRUE(back) << "triangle " << t << " edge " << k << " -> " << u;
    }
  }
}

TEST(MeshData, ClosedBoxWithSplitFacesFindsEveryNeighbour) {
  // Each face has its own four vertices (as exporters write for flat
  // normals), so neighbours can only be found by position.
  const double c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
  std::vector<double> verts;
  std::vector<int32_t> tris;
  for (int f = 0; f < 6; ++f) {
    int base = f * 4;
    for (int i = 0; i < 4; ++i) verts.insert(verts.end(), c[faces[f][i]], c[faces[f][i]] + 3);
    tris.insert(tris.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
  }
  Loaded box("<mesh>" + section("vertices", 24, 8, hexDoubles(verts)) + section("triangles", 12, 4, hexInt32(tris)) +
             "</mesh>");
  ASSERT_EQ(box.mesh.triangleCount, 12);
  for (int t = 0; t < 12; ++t)
    for (int k = 0; k < 3; ++k) EXPECT_NE(box.mesh.triangleInfos[t].neighbours[k], -1) << t << "/" << k;
  expectConsistentLinks(box.mesh);
}

TEST(MeshData, OpenStripLeavesBorderEdgesOpen) {
  // Four triangles in a row: 0 1 2 3 4 5 along a ribbon.
  const std::vector<double> v = {0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 2, 0, 0, 2, 1, 0};
  const std::vector<int32_t> t = {0, 2, 1, 1, 2, 3, 2, 4, 3, 3, 4, 5};
  Loaded strip("<mesh>" + section("vertices", 6, 8, hexDoubles(v)) + section("triangles", 4, 4, hexInt32(t)) +
               "</mesh>");
  const TriangleInfo* info = strip.mesh.triangleInfos;
  int open = 0, links = 0;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 3; ++k) (info[i].neighbours[k] < 0 ? open : links)++;
  EXPECT_EQ(links, 6);                   // three interior edges, each seen from both sides
  EXPECT_EQ(open, 6);                    // the strip's border
  EXPECT_EQ(info[0].neighbours[1], 1);   // edge 2->1 of the first
  EXPECT_EQ(info[3].neighbours[1], -1);  // edge 4->5 is the far end
  expectConsistentLinks(strip.mesh);
}

// The neighbour rule written out by brute force: triangle t visits the
// earlier triangles on its corner 0's position, then those on its corner 1's,
// each in index order, and takes for every still open edge the first that
// holds it, pointing that triangle's first matching edge back at t.
std::vector<int32_t> referenceNeighbours(const std::vector<Vec3>& v, const std::vector<int32_t>& tri) {
  const int32_t n = static_cast<int32_t>(tri.size() / 3);
  std::vector<int32_t> nb(tri.size(), -1);
  auto at = [&](int32_t t, int c) { return v[tri[3 * t + c]]; };
  for (int32_t t = 0; t < n; ++t) {
    for (int c = 0; c < 2; ++c) {
      for (int32_t other = 0; other < t; ++other) {
        const Vec3 p = at(t, c);
        if (!(at(other, 0) == p || at(other, 1) == p || at(other, 2) == p)) continue;
        for (int k = 0; k < 3; ++k) {
          if (nb[3 * t + k] != -1) continue;
          const Vec3 a = at(t, k), b = at(t, (k + 1) % 3);
          for (int j = 0; j < 3; ++j) {
            const Vec3 c0 = at(other, j), d0 = at(other, (j + 1) % 3);
            if ((a == c0 && b == d0) || (a == d0 && b == c0)) {
              nb[3 * t + k] = other;
              nb[3 * other + j] = t;
              break;
            }
          }
        }
      }
    }
  }
  return nb;
}

// Neighbours that buildAdjacency derives for the given corners, three per triangle.
std::vector<int32_t> derivedNeighbours(const std::vector<Vec3>& v, const std::vector<int32_t>& tri) {
  MeshData mesh;
  mesh.vertexCount = static_cast<int32_t>(v.size());
  mesh.vertices = new Vec3[v.size()];
  std::copy(v.begin(), v.end(), mesh.vertices);
  const size_t count = tri.size() / 3;
  mesh.triangleCount = static_cast<int32_t>(count);
  mesh.triangles = new int32_t[tri.size()];
  std::copy(tri.begin(), tri.end(), mesh.triangles);
  mesh.triangleInfos = new TriangleInfo[count];
  for (size_t t = 0; t < count; ++t)
    for (int32_t& nb : mesh.triangleInfos[t].neighbours) nb = -1;
  mesh.buildAdjacency();
  std::vector<int32_t> nb;
  for (size_t t = 0; t < count; ++t)
    nb.insert(nb.end(), mesh.triangleInfos[t].neighbours, mesh.triangleInfos[t].neighbours + 3);
  return nb;
}

struct Lcg {
  uint32_t seed;
  uint32_t operator()(uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  }
};

// Random meshes on a few positions: edges shared by many triangles,
// degenerate and repeated faces, -0 beside +0 and NaN corners.
TEST(MeshData, AdjacencyFollowsTheFirstMatchRuleOnCrowdedMeshes) {
  Lcg next{12345};
  for (int round = 0; round < 200; ++round) {
    std::vector<Vec3> v;
    const uint32_t positions = 2 + next(6);
    for (uint32_t i = 0; i < positions; ++i) v.push_back(Vec3(double(i % 3), double(i / 3), 0));
    v.push_back(Vec3(-0.0, 0, 0));
    v.push_back(Vec3(std::nan(""), 0, 0));
    std::vector<int32_t> tri;
    const uint32_t count = 1 + next(40);
    for (uint32_t i = 0; i < 3 * count; ++i) tri.push_back(static_cast<int32_t>(next(uint32_t(v.size()))));
    const std::vector<int32_t> got = derivedNeighbours(v, tri), want = referenceNeighbours(v, tri);
    for (uint32_t t = 0; t < count; ++t)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(got[3 * t + k], want[3 * t + k]) << round << " " << t << " " << k;
  }
}

// Larger sheets as exporters write them: each position held by several
// vertices (seams), corners picking any copy, a few faces repeated with
// either winding, and some triangles folded onto a neighbour's corners.
TEST(MeshData, AdjacencyFollowsTheFirstMatchRuleOnSeamedSheets) {
  Lcg next{777};
  for (int round = 0; round < 12; ++round) {
    const int side = 4 + static_cast<int>(next(12));
    const int copies = 1 + static_cast<int>(next(3));
    std::vector<Vec3> v;
    for (int c = 0; c < copies; ++c)
      for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x) v.push_back(Vec3(x * 0.5, y * 0.25, c == 1 ? -0.0 : 0.0));
    const int row = side + 1, perCopy = row * row;
    auto corner = [&](int x, int y) { return static_cast<int32_t>(next(uint32_t(copies)) * perCopy + y * row + x); };
    std::vector<int32_t> tri;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        int32_t a = corner(x, y), b = corner(x + 1, y), c = corner(x + 1, y + 1), d = corner(x, y + 1);
        tri.insert(tri.end(), {a, b, c, a, c, d});
        if (next(8) == 0) tri.insert(tri.end(), {c, b, a});   // the face again, turned over
        if (next(10) == 0) tri.insert(tri.end(), {b, c, a});  // the same face, same winding
        if (next(12) == 0) tri.insert(tri.end(), {a, a, c});  // degenerate
      }
    const std::vector<int32_t> got = derivedNeighbours(v, tri), want = referenceNeighbours(v, tri);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << round << " " << i / 3 << " " << i % 3;
  }
}

// 200,000 triangles on one point (a few bytes of XML): every edge is shared by
// all of them, and the load still takes no time.
TEST(MeshData, CoincidentCornersLoadWithoutAHang) {
  Loaded m("<mesh>" + section("vertices", 1, 4, "") + "<triangles count=\"200000\"/></mesh>");
  ASSERT_EQ(m.mesh.triangleCount, 200000);
  EXPECT_EQ(m.mesh.triangleInfos[0].neighbours[0], 199999);
  EXPECT_EQ(m.mesh.triangleInfos[0].neighbours[1], -1);
  for (int t : {1, 1000, 199999})
    for (int k = 0; k < 3; ++k) EXPECT_EQ(m.mesh.triangleInfos[t].neighbours[k], 0) << t << " " << k;
}

TEST(MeshData, NeighboursFromTheFileAreKeptAndBadOnesCleared) {
  Loaded m("<mesh>" + section("vertices", 4, 8, hexDoubles(kSquare)) + section("triangles", 2, 4, hexInt32(kTwo)) +
           // Triangle 0: (ffff, 1, 7); triangle 1: (0, ffff, 0xfffe as 65534).
           section("neighbours", 6, 2, "ffff 0100 0700 0000 ffff feff") + "</mesh>");
  const TriangleInfo* t = m.mesh.triangleInfos;
  EXPECT_EQ(t[0].neighbours[0], -1);
  EXPECT_EQ(t[0].neighbours[1], 1);
  EXPECT_EQ(t[0].neighbours[2], -1);  // 7 is not a triangle
  EXPECT_EQ(t[1].neighbours[0], 0);
  EXPECT_EQ(t[1].neighbours[1], -1);
  EXPECT_EQ(t[1].neighbours[2], -1);  // 65534 neither
}

TEST(MeshData, ContentOutsideItsRangesIsDroppedAtLoad) {
  // Triangle 1 names vertex 9 of 4 and triangle 2 a negative vertex; the
  // file's neighbours point at them; normals and uvs are short.
  Loaded m("<mesh>" + section("vertices", 4, 8, hexDoubles(kSquare)) +
           section("normals", 2, 8, hexDoubles({0, 0, 1, 0, 0, 1})) +
           section("uvs", 3, 8, hexDoubles({0, 0, 1, 0, 1, 1})) + section("colors", 1, 0, "ff0000ff") +
           section("triangles", 4, 4, hexInt32({0, 1, 2, 0, 9, 2, -3, 1, 2, 0, 2, 3})) +
           section("neighbours", 12, 4, hexInt32({3, 1, 2, -1, -1, -1, 0, 0, 0, -1, -1, 0})) + "</mesh>");
  const MeshData& d = m.mesh;
  EXPECT_EQ(d.vertexCount, 4);
  EXPECT_EQ(d.normalCount, 0);
  EXPECT_EQ(d.normals, nullptr);
  EXPECT_EQ(d.uvCount, 0);
  EXPECT_EQ(d.colorCount, 0);
  EXPECT_EQ(d.translucentColorCount, 0);
  ASSERT_EQ(d.triangleCount, 2);
  EXPECT_EQ(d.triangles[3], 0);
  EXPECT_EQ(d.triangles[4], 2);
  EXPECT_EQ(d.triangles[5], 3);
  // File triangle 3 became 1; links to the dropped ones are gone.
  EXPECT_EQ(d.triangleInfos[0].neighbours[0], 1);
  EXPECT_EQ(d.triangleInfos[0].neighbours[1], -1);
  EXPECT_EQ(d.triangleInfos[0].neighbours[2], -1);
  EXPECT_EQ(d.triangleInfos[1].neighbours[2], 0);
}

TEST(MeshData, ColoursFewerThanTheVerticesAreKeptButNotDrawn) {
  Loaded m("<mesh>" + section("vertices", 4, 8, hexDoubles(kSquare)) + section("colors", 2, 0, "ff000080 00ff00ff") +
           section("triangles", 2, 4, hexInt32(kTwo)) + "</mesh>");
  const MeshData& d = m.mesh;
  EXPECT_EQ(d.colorCount, 0);              // nothing to draw every vertex with
  EXPECT_EQ(d.translucentColorCount, 0);  // so nothing translucent either
  ASSERT_EQ(d.givenColorCount, 2);
  ASSERT_NE(d.colors, nullptr);
  EXPECT_NEAR(d.colors[0].r, 1, 1e-12);
  EXPECT_NEAR(d.colors[0].a, 128 / 255.0, 1e-12);
  EXPECT_NEAR(d.colors[1].g, 1, 1e-12);
  EXPECT_NEAR(d.colors[1].r, 0, 1e-12);
}

TEST(MeshData, NegativeCountsMissingSectionsAndShortText) {
  Loaded m("<mesh>" + section("vertices", -5, 8, "000000000000f03f") + section("triangles", -1, 4, "") + "</mesh>");
  EXPECT_EQ(m.mesh.vertexCount, 0);
  EXPECT_EQ(m.mesh.vertices, nullptr);
  EXPECT_EQ(m.mesh.triangleCount, 0);

  // Fewer values than the count: the rest are zero. No size: doubles.
  Loaded s("<mesh>" + section("vertices", 2, 0, "000000000000f03f") + "<triangles count=\"1\"/></mesh>");
  ASSERT_EQ(s.mesh.vertexCount, 2);
  EXPECT_EQ(s.mesh.vertices[0].x, 1.0);
  EXPECT_EQ(s.mesh.vertices[0].y, 0.0);
  EXPECT_EQ(s.mesh.vertices[1], Vec3());
  // The text-less triangle reads as (0, 0, 0): valid and degenerate.
  ASSERT_EQ(s.mesh.triangleCount, 1);
  EXPECT_EQ(s.mesh.triangleInfos[0].normal, Vec3());

  Loaded empty("<mesh/>");
  EXPECT_EQ(empty.mesh.name, nullptr);
  EXPECT_EQ(empty.mesh.vertexCount, 0);
  EXPECT_EQ(empty.mesh.triangleInfos, nullptr);
}

// A few bytes of XML must not ask for gigabytes: a count whose array would
// pass 2^26 elements is refused (the section reads as absent) with a log line.
// Triangles hold three indices each, so their bound is a third.
TEST(MeshData, CountsPastTheBoundAreRefusedWithALogLine) {
  const int over = (1 << 26) + 1;
  const std::string counts[] = {
      "<mesh>" + section("vertices", over, 4, "") + "</mesh>",
      "<mesh>" + section("vertices", 3, 4, "") + section("colors", over, 0, "") + "</mesh>",
      "<mesh>" + section("vertices", 3, 4, "") + section("triangles", (1 << 26) / 3 + 1, 4, "") + "</mesh>",
      "<animation><keys count=\"" + std::to_string(over) + "\"/></animation>",
      "<animated_mesh>" + section("vertices", over, 4, "") + "</animated_mesh>",
      "<animated_mesh>" + section("weights", over, 4, "") + "</animated_mesh>",
      "<mesh>" + section("uvs", 2147483647, 4, "") + "</mesh>",
  };
  const char* sections[] = {"vertices", "colors", "triangles", "keys", "vertices", "weights", "uvs"};
  for (size_t i = 0; i < sizeof sections / sizeof *sections; ++i) {
    vsplat::DebugCapture log;
    TiXmlDocument doc;
    doc.Parse(counts[i].c_str());
    MeshData mesh;
    AnimationData animation;
    AnimatedMeshData group;
    const std::string root = doc.RootElement()->Value();
    if (root == "mesh") {
      mesh.loadXml(doc.RootElement());
      EXPECT_EQ(mesh.vertexCount, i == 0 || i == 6 ? 0 : 3) << i;
      EXPECT_EQ(mesh.colorCount, 0) << i;
      EXPECT_EQ(mesh.triangleCount, 0) << i;
      EXPECT_EQ(mesh.uvCount, 0) << i;
    } else if (root == "animation") {
      animation.loadXml(doc.RootElement());
      EXPECT_EQ(animation.keyCount, 0);
      EXPECT_EQ(animation.times, nullptr);
    } else {
      group.loadXml(doc.RootElement());
      EXPECT_EQ(group.count, 0) << i;
      EXPECT_EQ(group.weightCount, 0) << i;
    }
    EXPECT_NE(log.text().find(std::string("\"") + sections[i] + "\" count"), std::string::npos)
        << i << ": " << log.text();
  }
  // Counts that fit log nothing.
  vsplat::DebugCapture log;
  Loaded fine("<mesh>" + section("vertices", 3, 4, "") + section("triangles", 1000, 4, "") + "</mesh>");
  EXPECT_EQ(fine.mesh.triangleCount, 1000);
  EXPECT_EQ(log.calls(), 0u);
}

TEST(AnimationData, KeysAreReadInOrderAndMissingOnesAreZero) {
  TiXmlDocument doc;
  doc.Parse(
      "<animation name=\"walk\"><keys count=\"3\">"
      "<key time=\"0.5\"><location>1 2 3</location><rotation>0 0 1.5</rotation><scale>1 1 2</scale></key>"
      "<key><location>4 5</location></key>"
      "</keys></animation>");
  AnimationData a;
  EXPECT_TRUE(a.loadXml(doc.RootElement()));
  EXPECT_STREQ(a.name, "walk");
  ASSERT_EQ(a.keyCount, 3);
  EXPECT_EQ(a.times[0], 0.5);
  EXPECT_EQ(a.locations[0], Vec3(1, 2, 3));
  EXPECT_EQ(a.rotations[0], Vec3(0, 0, 1.5));
  EXPECT_EQ(a.scales[0], Vec3(1, 1, 2));
  EXPECT_EQ(a.times[1], 0.0);                // no "time"
  EXPECT_EQ(a.locations[1], Vec3(4, 5, 0));  // a short list stores what it has
  EXPECT_EQ(a.times[2], 0.0);                // no third "key"
  EXPECT_EQ(a.scales[2], Vec3());

  TiXmlDocument more;
  more.Parse("<animation><keys count=\"1\"><key time=\"1\"/><key time=\"2\"/></keys></animation>");
  EXPECT_TRUE(a.loadXml(more.RootElement()));
  EXPECT_EQ(a.name, nullptr);
  ASSERT_EQ(a.keyCount, 1);
  EXPECT_EQ(a.times[0], 1.0);

  TiXmlDocument none;
  none.Parse("<animation name=\"still\"/>");
  EXPECT_TRUE(a.loadXml(none.RootElement()));
  EXPECT_EQ(a.keyCount, 0);
  EXPECT_EQ(a.times, nullptr);
}

TEST(AnimatedMeshData, IndicesAndWeights) {
  TiXmlDocument doc;
  std::string xml = "<animated_mesh name=\"arm\">" + section("vertices", 3, 2, hexUint16({4, 0, 7})) +
                    section("weights", 3, 4, hexFloats({0.5, 1, 0.25})) + "</animated_mesh>";
  doc.Parse(xml.c_str());
  AnimatedMeshData g;
  EXPECT_TRUE(g.loadXml(doc.RootElement()));
  EXPECT_STREQ(g.name, "arm");
  ASSERT_EQ(g.count, 3);
  ASSERT_EQ(g.weightCount, 3);
  EXPECT_EQ(g.vertexIndices[0], 4);
  EXPECT_EQ(g.vertexIndices[2], 7);
  EXPECT_EQ(g.weights[0], 0.5);
  EXPECT_EQ(g.weights[2], 0.25);
  EXPECT_EQ(g.restPositions, nullptr);
}

}  // namespace
