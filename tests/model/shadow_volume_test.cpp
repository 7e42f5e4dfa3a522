// Shadow volumes: silhouettes, caps, extrusion and the rebuild cache, and
// the choice of the shadow lamp shared with the renderer.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "model/shadow_volume.h"
#include "support/test_geometry.h"

using namespace testgeometry;

namespace {

class ShadowVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    mesh.material = &material;
    lamp.shadows = true;
  }
  void TearDown() override { mesh.material = nullptr; }

  void show(MeshData* geometry) {
    data.reset(geometry);
    mesh.meshData = geometry;
  }
  // Every point of the arrays is finite.
  bool finite() const {
    for (const PointArray* a : {&mesh.shadowSides, &mesh.shadowFrontCap, &mesh.shadowBackCap})
      for (const Vec3& p : *a)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    return true;
  }

  std::unique_ptr<MeshData> data;
  Material material;
  MDL_Mesh mesh;
  MDL_Lamp lamp;
};

}  // namespace

TEST_F(ShadowVolume, CubeUnderAPointLampHasItsTopEdgesAsSilhouette) {
  show(cubeData(1));
  placeAt(&lamp, {0, 0, 5});
  for (int type : {SHADOW_2D, SHADOW_3D}) {
    lamp.shadowType = type;
    lamp.changed = 1;
    mesh.updateShadowVolume(&lamp);
    EXPECT_EQ(mesh.shadowSides.count, 8 * 3);  // 4 edges, two triangles each
    EXPECT_EQ(mesh.shadowFrontCap.count, type == SHADOW_3D ? 2 * 3 : 0);
    EXPECT_EQ(mesh.shadowBackCap.count, type == SHADOW_3D ? 2 * 3 : 0);
    EXPECT_EQ(mesh.shadowLamp, &lamp);
    EXPECT_EQ(mesh.changed, 0);
  }
  // Each side quad runs from a top corner 30 units away from the lamp.
  const Vec3 corner = mesh.shadowSides[0], far = mesh.shadowSides[1];
  EXPECT_NEAR(length3(far - corner), 30.0, 1e-9);
  EXPECT_NEAR(dot3(far - corner, corner - Vec3(0, 0, 5)) / (30.0 * length3(corner - Vec3(0, 0, 5))), 1.0, 1e-12);
  // The caps are the lit face, the back cap pushed away.
  EXPECT_DOUBLE_EQ(mesh.shadowFrontCap[0].z, 1.0);
  EXPECT_LT(mesh.shadowBackCap[0].z, -20.0);
}

TEST_F(ShadowVolume, SidesFaceOutOfTheVolume) {
  show(cubeData(1));
  placeAt(&lamp, {0, 0, 5});
  mesh.updateShadowVolume(&lamp);
  for (int32_t i = 0; i < mesh.shadowSides.count; i += 3) {
    const Vec3* t = &mesh.shadowSides[i];
    const Vec3 n = cross3(t[1] - t[0], t[2] - t[0]);
    const Vec3 centre = (t[0] + t[1] + t[2]) * (1.0 / 3);
    const Vec3 outward(centre.x, centre.y, 0);  // away from the volume's axis
    EXPECT_GT(dot3(n, outward), 0) << i / 3;
  }
}

TEST_F(ShadowVolume, LoneTriangleGivesThreeSilhouetteEdges) {
  MeshData* d = quadData(1);
  d->triangleCount = 1;  // the first triangle alone; its neighbour is gone
  for (int32_t& n : d->triangleInfos[0].neighbours) n = -1;
  show(d);
  placeAt(&lamp, {0, 0, 5});
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(mesh.shadowSides.count, 6 * 3);
}

TEST_F(ShadowVolume, DoubleSidedMeshLitFromBehindCastsTheTurnedVolume) {
  show(quadData(1, true));
  placeAt(&lamp, {0, 0, -5});  // below: both triangles face away
  lamp.shadowType = SHADOW_3D;
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(mesh.shadowSides.count, 4 * 2 * 3);
  EXPECT_EQ(mesh.shadowFrontCap.count, 2 * 3);
  // The cap's winding is turned over: its normal points at the lamp.
  const Vec3* t = mesh.shadowFrontCap.data;
  EXPECT_LT(cross3(t[1] - t[0], t[2] - t[0]).z, 0);
  EXPECT_GT(mesh.shadowBackCap[0].z, 20.0);

  data->doubleSided = false;
  lamp.changed = 1;
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(mesh.shadowSides.count, 0);
}

TEST_F(ShadowVolume, SunExtrudesAlongItsDirectionByTheDepthOverTheScale) {
  show(quadData(1));
  lamp.kind = LAMP_SUN;
  lookAt(&lamp, {0, 0, 5}, {0, 0, 0});
  lamp.shadowDepth = 10;
  mesh.editLocal().basis.axis[0] = Vec3(2, 0, 0);  // twice as wide: half the local length
  mesh.updateShadowVolume(&lamp);
  ASSERT_EQ(mesh.shadowSides.count, 4 * 2 * 3);
  const Vec3 step = mesh.shadowSides[1] - mesh.shadowSides[0];
  EXPECT_NEAR(step.x, 0, 1e-12);
  EXPECT_NEAR(step.z, -5.0, 1e-12);
}

TEST_F(ShadowVolume, CornerAtTheLampStaysPut) {
  show(quadData(1));
  placeAt(&lamp, {1, 1, 0});  // on corner 2, in the plane: nothing faces it
  data->triangleInfos[0].normal = Vec3(1, 1, 1);
  mesh.updateShadowVolume(&lamp);
  // Triangle 0 (corners 0, 1, 2) faces the lamp: (P - L) . n < 0.
  bool found = false;
  for (const Vec3& p : mesh.shadowSides) found = found || p == Vec3(1, 1, 0);
  EXPECT_TRUE(found);
  EXPECT_TRUE(finite());
}

TEST_F(ShadowVolume, UnchangedMeshAndLampKeepTheirVolume) {
  show(cubeData(1));
  placeAt(&lamp, {0, 0, 5});
  mesh.updateShadowVolume(&lamp);
  lamp.changed = 0;  // as the frame step leaves it
  const int32_t sides = mesh.shadowSides.count;
  data->triangleInfos[0].facesLight = 7;  // a rebuild would rewrite it
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(data->triangleInfos[0].facesLight, 7);
  EXPECT_EQ(mesh.shadowSides.count, sides);
  placeAt(&mesh, {0, 0, 1});  // the mesh moved: rebuilt
  mesh.updateShadowVolume(&lamp);
  EXPECT_NE(data->triangleInfos[0].facesLight, 7);

  data->triangleInfos[0].facesLight = 7;
  MDL_Lamp other;
  other.changed = 0;
  placeAt(&other, {5, 0, 0});
  other.changed = 0;
  mesh.updateShadowVolume(&other);  // another lamp: rebuilt
  EXPECT_EQ(mesh.shadowLamp, &other);
  EXPECT_NE(data->triangleInfos[0].facesLight, 7);
}

TEST_F(ShadowVolume, MaterialThatCastsNothingKeepsEmptyArraysAndItsFlag) {
  show(cubeData(1));
  placeAt(&lamp, {0, 0, 5});
  material.castShadows = false;
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(mesh.shadowSides.count, 0);
  EXPECT_EQ(mesh.changed, 1);
  EXPECT_EQ(mesh.shadowLamp, nullptr);
  mesh.material = nullptr;
  mesh.updateShadowVolume(&lamp);
  EXPECT_EQ(mesh.shadowLamp, nullptr);
}

TEST_F(ShadowVolume, FlatScaleOrBadDepthGivesNoVolume) {
  show(cubeData(1));
  placeAt(&lamp, {0, 0, 5});
  mesh.updateShadowVolume(&lamp);
  ASSERT_GT(mesh.shadowSides.count, 0);
  struct Case {
    double xScale, depth;
  };
  for (const Case& c : {Case{0, 30}, Case{1, 0}, Case{1, -3}, Case{1, INFINITY}, Case{1, NAN}, Case{1e-320, 30}}) {
    SCOPED_TRACE(c.xScale * 1000 + c.depth);
    mesh.editLocal().basis.axis[0] = Vec3(c.xScale, 0, 0);
    lamp.shadowDepth = c.depth;
    lamp.shadowType = SHADOW_3D;
    mesh.updateShadowVolume(&lamp);
    EXPECT_EQ(mesh.shadowSides.count, 0);
    EXPECT_EQ(mesh.shadowBackCap.count, 0);
    EXPECT_TRUE(finite());
  }
}

TEST(ShadowLamp, FirstShadowLampAmongTheFirstEightThatAreOn) {
  Scene scene;
  std::vector<MDL_Lamp*> lamps;
  for (int i = 0; i < 10; ++i) {
    lamps.push_back(new MDL_Lamp);
    scene.registerObject(lamps.back());
  }
  int32_t index = -1;
  EXPECT_EQ(findShadowLamp(scene, &index), nullptr);
  lamps[8]->shadows = true;  // the ninth lamp that is on gives no light
  EXPECT_EQ(findShadowLamp(scene), nullptr);
  lamps[2]->on = false;  // now it is the eighth
  EXPECT_EQ(findShadowLamp(scene, &index), lamps[8]);
  EXPECT_EQ(index, 7);
  lamps[5]->shadows = true;
  lamps[5]->on = false;  // off lamps cannot cast
  EXPECT_EQ(findShadowLamp(scene), lamps[8]);
  lamps[5]->on = true;
  lamps[2]->on = true;
  EXPECT_EQ(findShadowLamp(scene, &index), lamps[5]);
  EXPECT_EQ(index, 5);
}

TEST(ShadowStep, BuildsTheCastersOfTheShadowLampAndMarksItSeen) {
  Scene scene;
  std::unique_ptr<MeshData> cube(cubeData(1));
  Material opaque, glass, noShadow;
  glass.diffuse.a = 0.5;
  noShadow.castShadows = false;
  MDL_Lamp* plain = new MDL_Lamp;
  MDL_Lamp* caster = new MDL_Lamp;
  caster->shadows = true;
  placeAt(caster, {0, 0, 5});
  scene.registerObject(plain);
  scene.registerObject(caster);
  Material* looks[] = {&opaque, &glass, &noShadow, &opaque};
  std::vector<MDL_Mesh*> meshes;
  for (Material* m : looks) {
    MDL_Mesh* mesh = new MDL_Mesh;
    mesh->meshData = cube.get();
    mesh->material = m;
    scene.registerObject(mesh);
    meshes.push_back(mesh);
  }
  meshes[3]->state = 0;  // hidden
  updateShadowVolumes(scene);
  EXPECT_EQ(meshes[0]->shadowLamp, caster);
  EXPECT_GT(meshes[0]->shadowSides.count, 0);
  EXPECT_EQ(meshes[1]->shadowLamp, nullptr);  // translucent
  EXPECT_EQ(meshes[2]->shadowLamp, nullptr);
  EXPECT_EQ(meshes[3]->shadowLamp, nullptr);
  EXPECT_EQ(caster->changed, 0);
  EXPECT_EQ(plain->changed, 1);
  for (MDL_Mesh* m : meshes) m->material = nullptr;
}

namespace {

// The volume built the plain way, for comparing point by point with the
// builder on meshes too big to check by hand: a face is lit when its normal
// points against the light; each edge of a lit face that borders no lit face
// gets a side quad stretched away from the light, and with caps each lit
// face gives a front triangle and a far back one. A double-sided mesh does
// the same for its unlit faces, turned round.
struct PlainVolume {
  std::vector<Vec3> sides, front, back;
};

PlainVolume plainVolume(MDL_Mesh& mesh, MDL_Lamp& lamp) {
  PlainVolume out;
  const MeshData& d = *mesh.meshData;
  RigidTransform& world = mesh.getWorld();
  const RigidTransform& lampWorld = lamp.getWorld();
  const double length = 1.0 / (length3(world.basis.X()) / lamp.shadowDepth);
  Vec3 lampAt, towards;
  world.toLocalPoint(lampWorld.position, lampAt);
  world.toLocalDirection(-lampWorld.basis.Z(), towards);
  const bool sun = lamp.kind == LAMP_SUN, caps = lamp.shadowType == SHADOW_3D;
  std::vector<bool> lit(d.triangleCount);
  for (int32_t t = 0; t < d.triangleCount; ++t) {
    const Vec3 dir = sun ? towards : d.vertices[d.triangles[3 * t]] - lampAt;
    lit[t] = dot3(d.triangleInfos[t].normal, dir) < 0;
  }
  Vec3 offset = towards;
  if (length3(towards) > 0) offset = towards * (length / length3(towards));
  auto far = [&](const Vec3& v) {
    if (sun) return v + offset;
    const Vec3 e = v - lampAt;
    return length3(e) > 0 ? v + e * (length / length3(e)) : v;
  };
  auto corner = [&](int32_t t, int c) { return d.vertices[d.triangles[3 * t + c]]; };
  auto edgeOpen = [&](int32_t t, int e, bool litSide) {
    const int32_t o = d.triangleInfos[t].neighbours[e];
    return o < 0 || lit[o] != litSide;
  };
  for (int32_t t = 0; t < d.triangleCount; ++t) {
    if (!lit[t]) continue;
    for (int c = 0; c < 3 && caps; ++c) {
      out.front.push_back(corner(t, c));
      out.back.push_back(far(corner(t, c)));
    }
    for (int e = 0; e < 3; ++e) {
      if (!edgeOpen(t, e, true)) continue;
      const Vec3 a = corner(t, e), b = corner(t, (e + 1) % 3);
      out.sides.insert(out.sides.end(), {a, far(a), far(b), a, far(b), b});
    }
  }
  for (int32_t t = 0; t < d.triangleCount && d.doubleSided; ++t) {
    if (lit[t]) continue;
    for (int c = 2; c >= 0 && caps; --c) {
      out.back.push_back(far(corner(t, c)));
      out.front.push_back(corner(t, c));
    }
    for (int e = 2; e >= 0; --e) {
      if (!edgeOpen(t, e, false)) continue;
      const Vec3 a = corner(t, e), b = corner(t, (e + 1) % 3);
      out.sides.insert(out.sides.end(), {b, far(b), far(a), far(a), a, b});
    }
  }
  return out;
}

void expectSamePoints(const PointArray& got, const std::vector<Vec3>& want, const char* what) {
  ASSERT_EQ(got.count, static_cast<int32_t>(want.size())) << what;
  for (int32_t i = 0; i < got.count; ++i)
    ASSERT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y && got[i].z == want[i].z) << what << " " << i;
}

}  // namespace

// A wavy sheet, turned and stretched, so lit and unlit bands give
// silhouettes all over it: every point of every array, in order, for point
// lamps and suns, with and without caps, single- and double-sided, and a
// point lamp placed on one of its corners.
TEST_F(ShadowVolume, WavySheetVolumeMatchesTheRulesPointByPoint) {
  MeshData* d = gridData(24, 3);
  for (int32_t i = 0; i < d->vertexCount; ++i) {
    Vec3& v = d->vertices[i];
    v.z = 0.4 * std::sin(3 * v.x) * std::cos(2 * v.y);
  }
  d->computeTriangleNormals();
  show(d);
  RigidTransform& place = mesh.editLocal();
  Matrix3::fromAngles(place.basis, 0.3, -0.2, 0.7);
  place.basis.axis[0] = place.basis.axis[0] * 1.5;
  place.position = Vec3(0.5, -0.25, 0.1);
  place.inverseStale = 1;
  const Vec3 onCorner = mesh.getWorld().toWorldPoint(d->vertices[37]);
  for (bool twoSided : {false, true})
    for (int kind : {LAMP_LAMP, LAMP_SUN})
      for (int type : {SHADOW_2D, SHADOW_3D})
        for (bool atCorner : {false, true}) {
          SCOPED_TRACE(testing::Message() << twoSided << kind << type << atCorner);
          d->doubleSided = twoSided;
          lamp.kind = kind;
          lamp.shadowType = type;
          if (atCorner)
            placeAt(&lamp, onCorner);
          else
            lookAt(&lamp, {1, 2, 1.5}, {0, 0, 0});
          lamp.changed = 1;
          mesh.updateShadowVolume(&lamp);
          const PlainVolume want = plainVolume(mesh, lamp);
          ASSERT_GT(want.sides.size(), 100u);
          expectSamePoints(mesh.shadowSides, want.sides, "sides");
          expectSamePoints(mesh.shadowFrontCap, want.front, "front cap");
          expectSamePoints(mesh.shadowBackCap, want.back, "back cap");
        }
}
