#include "model/mesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/material.h"

namespace {

// Geometry built in memory: vertices and index triples, box from the vertices.
struct Geometry {
  MeshData data;
  Geometry(const std::vector<Vec3>& v, const std::vector<int32_t>& t, bool doubleSided = false) {
    data.vertexCount = static_cast<int32_t>(v.size());
    data.vertices = new Vec3[v.size()];
    std::copy(v.begin(), v.end(), data.vertices);
    data.triangleCount = static_cast<int32_t>(t.size() / 3);
    data.triangles = new int32_t[t.size()];
    std::copy(t.begin(), t.end(), data.triangles);
    data.triangleInfos = new TriangleInfo[t.size() / 3]();
    data.doubleSided = doubleSided;
    data.boundsMin = data.boundsMax = v[0];
    for (const Vec3& p : v)
      for (int i = 0; i < 3; ++i) {
        if (p[i] < data.boundsMin[i]) data.boundsMin[i] = p[i];
        if (p[i] > data.boundsMax[i]) data.boundsMax[i] = p[i];
      }
    data.computeTriangleNormals();
  }
};

// A unit quad in the plane z = h facing +z, as two triangles.
void addQuad(std::vector<Vec3>& v, std::vector<int32_t>& t, double h) {
  int32_t base = static_cast<int32_t>(v.size());
  v.insert(v.end(), {{0, 0, h}, {1, 0, h}, {1, 1, h}, {0, 1, h}});
  // Counter-clockwise seen from above: (c - b) x (a - b) points at +z.
  t.insert(t.end(), {base + 0, base + 1, base + 2, base + 0, base + 2, base + 3});
}

struct Pick {
  bool hit;
  double t;
  int32_t triangle;
};
Pick pick(MDL_Mesh& m, const Vec3& from, const Vec3& to) {
  Pick p{false, 1.0, -7};
  p.hit = m.raycast(from, to, p.t, p.triangle);
  return p;
}

TEST(MeshPicking, NearestOfTwoStackedQuadsAndMissBeside) {
  std::vector<Vec3> v;
  std::vector<int32_t> t;
  addQuad(v, t, 0.0);  // triangles 0, 1
  addQuad(v, t, 1.0);  // triangles 2, 3: nearer to a viewer above
  Geometry g(v, t);
  MDL_Mesh mesh;
  mesh.meshData = &g.data;

  Pick p = pick(mesh, {0.25, 0.75, 5}, {0.25, 0.75, -5});
  ASSERT_TRUE(p.hit);
  EXPECT_DOUBLE_EQ(p.t, 0.4);  // z = 1 at t = 4 / 10
  EXPECT_EQ(p.triangle, 3);    // the upper-left half of the upper quad
  p = pick(mesh, {0.75, 0.25, 5}, {0.75, 0.25, -5});
  ASSERT_TRUE(p.hit);
  EXPECT_EQ(p.triangle, 2);

  // Beside the mesh, and a surface beyond the target, are not hit.
  EXPECT_FALSE(pick(mesh, {1.5, 0.5, 5}, {1.5, 0.5, -5}).hit);
  EXPECT_FALSE(pick(mesh, {0.5, 0.5, 5}, {0.5, 0.5, 3}).hit);
  // From below, single-sided quads face away.
  EXPECT_FALSE(pick(mesh, {0.25, 0.75, -5}, {0.25, 0.75, 5}).hit);
  // A failed pick leaves the outputs alone.
  p = pick(mesh, {1.5, 0.5, 5}, {1.5, 0.5, -5});
  EXPECT_EQ(p.t, 1.0);
  EXPECT_EQ(p.triangle, -7);
}

TEST(MeshPicking, DoubleSidedFromBothSidesButNeverEdgeOn) {
  std::vector<Vec3> v;
  std::vector<int32_t> t;
  addQuad(v, t, 0.0);
  Geometry g(v, t, true);
  MDL_Mesh mesh;
  mesh.meshData = &g.data;
  EXPECT_TRUE(pick(mesh, {0.25, 0.75, 5}, {0.25, 0.75, -5}).hit);
  Pick below = pick(mesh, {0.25, 0.75, -5}, {0.25, 0.75, 5});
  EXPECT_TRUE(below.hit);
  EXPECT_DOUBLE_EQ(below.t, 0.5);
  // A ray in the plane of the quad.
  EXPECT_FALSE(pick(mesh, {-1, 0.5, 0}, {2, 0.5, 0}).hit);
}

TEST(MeshPicking, SharedEdgeGoesToTheLowerIndexAndInsideTheBoxStillPicks) {
  std::vector<Vec3> v;
  std::vector<int32_t> t;
  addQuad(v, t, 0.0);
  // A far-away vertex stretches the box so the origin below lies inside it.
  v.push_back({0, 0, 10});
  Geometry g(v, t);
  MDL_Mesh mesh;
  mesh.meshData = &g.data;
  // On the diagonal shared by triangles 0 and 1.
  Pick p = pick(mesh, {0.5, 0.5, 3}, {0.5, 0.5, -3});
  ASSERT_TRUE(p.hit);
  EXPECT_EQ(p.triangle, 0);
  EXPECT_DOUBLE_EQ(p.t, 0.5);
}

TEST(MeshPicking, SingleTriangleTestRules) {
  std::vector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  Geometry g(v, {0, 1, 2});
  MDL_Mesh mesh;
  mesh.meshData = &g.data;
  const Vec3 down(0, 0, -1);
  double nearest = 10;
  // a, b, c counter-clockwise from above: (c-b) x (a-b) = (-1,1,0) x (-1,0,0) = +z.
  EXPECT_TRUE(intersectRayTriangle(mesh, {0.2, 0.2, 2}, down, v[0], v[1], v[2], nearest, false));
  EXPECT_DOUBLE_EQ(nearest, 2);
  // Only strictly nearer hits count.
  EXPECT_FALSE(intersectRayTriangle(mesh, {0.2, 0.2, 2}, down, v[0], v[1], v[2], nearest, false));
  // Behind the origin only when allowed.
  nearest = 10;
  EXPECT_FALSE(intersectRayTriangle(mesh, {0.2, 0.2, -1}, down, v[0], v[1], v[2], nearest, false));
  EXPECT_TRUE(intersectRayTriangle(mesh, {0.2, 0.2, -1}, down, v[0], v[1], v[2], nearest, true));
  EXPECT_DOUBLE_EQ(nearest, -1);
  // Outside the corners, on each dropped axis (normals along x, y and z).
  struct Case {
    Vec3 a, b, c, origin, dir;
    bool hit;
  };
  const Case cases[] = {
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.6, 0.6, 1}, {0, 0, -1}, false},
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, 0.5, 1}, {0, 0, -1}, true},  // on the edge
      {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {3, 0.2, 0.2}, {-1, 0, 0}, true},
      {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {3, 0.2, 0.9}, {-1, 0, 0}, false},
      {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0.2, 3, 0.2}, {0, -1, 0}, true},
      {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {-0.1, 3, 0.2}, {0, -1, 0}, false},
      // The same triangle seen from its back.
      {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0.2, -3, 0.2}, {0, 1, 0}, false},
  };
  for (const Case& c : cases) {
    double n = 100;
    EXPECT_EQ(intersectRayTriangle(mesh, c.origin, c.dir, c.a, c.b, c.c, n, false), c.hit)
        << c.origin.x << "," << c.origin.y << "," << c.origin.z;
  }
}

TEST(MeshPicking, BoxTrianglesFaceOutward) {
  Vec3 box[12][3];
  const Vec3 lo(-1, -2, -3), hi(4, 5, 6);
  const Vec3 centre = (lo + hi) * 0.5;
  boxTriangles(lo, hi, box);
  const int axisOfFace[6] = {2, 2, 1, 1, 0, 0};
  const double sideOfFace[6] = {-1, 1, 1, -1, 1, -1};
  for (int i = 0; i < 12; ++i) {
    Vec3 n = cross3(box[i][2] - box[i][1], box[i][0] - box[i][1]);
    Vec3 mid = (box[i][0] + box[i][1] + box[i][2]) * (1.0 / 3) - centre;
    EXPECT_GT(dot3(n, mid), 0) << "triangle " << i;
    const int f = i / 2;
    EXPECT_GT(n[axisOfFace[f]] * sideOfFace[f], 0) << "face order at " << i;
  }
}

TEST(MeshPicking, MeshWithoutGeometryIsEmptyAndNeverHit) {
  MDL_Mesh mesh;
  EXPECT_EQ(mesh.type, OBJECT_MESH);
  EXPECT_EQ(mesh.vertexCount(), 0);
  EXPECT_EQ(mesh.triangleCount(), 0);
  EXPECT_EQ(mesh.vertex(0), nullptr);
  EXPECT_EQ(mesh.normal(0), nullptr);
  EXPECT_EQ(mesh.triangleInfos(), nullptr);
  EXPECT_EQ(*mesh.boundsMin(), Vec3());
  EXPECT_EQ(*mesh.boundsMax(), Vec3());
  EXPECT_FALSE(pick(mesh, {0, 0, 5}, {0, 0, -5}).hit);
}

TEST(MeshMaterial, ChangeOfOneMeshLeavesTheSharedMaterialAndTheOtherMesh) {
  std::vector<Vec3> v;
  std::vector<int32_t> t;
  addQuad(v, t, 0.0);
  Geometry g(v, t);
  Material shared;
  shared.name = MDL_copyString("paint");
  shared.diffuse = {0.2, 0.4, 0.6, 1};
  MDL_Mesh a, b;
  a.meshData = b.meshData = &g.data;
  a.material = b.material = &shared;

  ASSERT_TRUE(a.ownMaterial());
  Material* own = a.material;
  EXPECT_NE(own, &shared);
  EXPECT_TRUE(a.ownsMaterial);
  own->diffuse.r = 1.0;
  EXPECT_EQ(shared.diffuse.r, 0.2);
  EXPECT_EQ(b.material, &shared);
  EXPECT_FALSE(b.ownsMaterial);
  EXPECT_STREQ(own->name, "paint");
  EXPECT_NE(own->name, shared.name);
  EXPECT_EQ(own->diffuse.b, 0.6);
  // A second call makes no second copy.
  ASSERT_TRUE(a.ownMaterial());
  EXPECT_EQ(a.material, own);
  // Geometry stays shared.
  EXPECT_EQ(a.vertex(0), b.vertex(0));

  MDL_Mesh bare;
  ASSERT_TRUE(bare.ownMaterial());
  ASSERT_NE(bare.material, nullptr);
  EXPECT_EQ(bare.material->shininess, 50.0);
}

TEST(MeshMaterial, CopyOfAMeshWithAPrivateMaterialOutlivesItsSource) {
  std::vector<Vec3> v;
  std::vector<int32_t> t;
  addQuad(v, t, 0.0);
  Geometry g(v, t);
  Material shared;
  auto* source = new MDL_Mesh;
  source->meshData = &g.data;
  source->material = &shared;
  source->displayMode = DISPLAY_MODE_SPRITE;
  source->geometryDirty = true;
  source->setName("m");
  MDL_Object* copied = source->copyObject();
  auto* sharing = static_cast<MDL_Mesh*>(copied);
  // Before a change of looks the copy shares the models-set material.
  EXPECT_EQ(sharing->material, &shared);
  EXPECT_FALSE(sharing->ownsMaterial);
  EXPECT_EQ(sharing->displayMode, DISPLAY_MODE_SPRITE);
  EXPECT_FALSE(sharing->geometryDirty);
  EXPECT_EQ(sharing->meshData, &g.data);
  EXPECT_STREQ(sharing->name, "m");

  ASSERT_TRUE(source->ownMaterial());
  source->material->diffuse.g = 0.25;
  auto* clone = static_cast<MDL_Mesh*>(source->copyObject());
  delete source;
  ASSERT_NE(clone->material, nullptr);
  EXPECT_NE(clone->material, &shared);
  EXPECT_TRUE(clone->ownsMaterial);
  EXPECT_EQ(clone->material->diffuse.g, 0.25);  // still readable after the source died
  delete clone;
  delete sharing;
  EXPECT_EQ(shared.diffuse.g, 1.0);
}

}  // namespace
