// Shadow volumes: silhouettes, caps, extrusion and the rebuild cache, and
// the choice of the shadow lamp shared with the renderer.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

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
