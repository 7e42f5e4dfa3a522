#include "model/bone.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>
#include <vector>

#include "model/animated_mesh.h"
#include "model/mesh_data.h"
#include "model/scene.h"
#include "tests/model/expect_vec3.h"
#include "tests/model/fake_proxy.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

// The bone's local rotation about z by angle (position kept).
void turnZ(MDL_Object& o, double angle) { Matrix3::fromAngles(o.editLocal().basis, 0, 0, angle); }

MDL_Bone loadBone(const char* xml) {
  TiXmlDocument doc;
  doc.Parse(xml);
  MDL_Bone b;
  b.loadXml(doc.RootElement());
  return b;
}

TEST(BoneXml, RestMatrixAndLimitsInRadians) {
  MDL_Bone b = loadBone(
      "<object name='arm'><matrix>1 0 0 0 0 1 0 0 0 0 1 0 5 6 7 1</matrix>"
      "<original_matrix>0 1 0 0 -1 0 0 0 0 0 1 0 1 2 3 1</original_matrix>"
      "<limit_xrot>-10 20</limit_xrot><limit_zrot>5 5</limit_zrot></object>");
  EXPECT_EQ(b.type, OBJECT_BONE);
  EXPECT_TRUE(b.state & STATE_MOVABLE);
  EXPECT_TRUE(b.state & STATE_VISIBLE);
  EXPECT_STREQ(b.name, "arm");
  expectNear(b.local.position, {5, 6, 7});
  expectNear(b.restTransform.position, {1, 2, 3});
  expectNear(b.restTransform.basis.X(), {0, 1, 0});
  expectNear(b.restTransform.basis.Y(), {-1, 0, 0});
  EXPECT_DOUBLE_EQ(b.rotationLimits[0], -10 * kDeg);
  EXPECT_DOUBLE_EQ(b.rotationLimits[1], 20 * kDeg);
  EXPECT_EQ(b.rotationLimits[2], -MDL_Bone::kNoLimit);  // y: not given
  EXPECT_EQ(b.rotationLimits[3], MDL_Bone::kNoLimit);
  EXPECT_TRUE(b.axisLocked(2));
}

TEST(BoneXml, ShortListsAreIgnored) {
  MDL_Bone b = loadBone(
      "<object><original_matrix>0 1 0 0 -1 0 0 0 0 0 1 0 1 2</original_matrix>"
      "<limit_yrot>30</limit_yrot><limit_zrot></limit_zrot></object>");
  expectNear(b.restTransform.position, {0, 0, 0});
  expectNear(b.restTransform.basis.X(), {1, 0, 0});
  for (int i = 0; i < 6; ++i) EXPECT_EQ(std::fabs(b.rotationLimits[i]), MDL_Bone::kNoLimit) << i;
}

TEST(BonePose, SwapExchangesAndChildrenFollow) {
  MDL_Bone b;
  b.editLocal().position = Vec3(1, 0, 0);
  b.restTransform.position = Vec3(0, 3, 0);
  MDL_Object child;
  child.editLocal().position = Vec3(0, 0, 1);
  b.addChild(&child);  // keeps its world place: local (-1, 0, 1)
  expectNear(child.getWorld().position, {0, 0, 1});
  b.changed = 0;

  b.swapPose();
  EXPECT_EQ(b.changed, 1);
  expectNear(b.getWorld().position, {0, 3, 0});
  expectNear(b.restTransform.position, {1, 0, 0});
  expectNear(child.getWorld().position, {-1, 3, 1});  // keeps its local placement

  b.swapPose();
  expectNear(b.getWorld().position, {1, 0, 0});
  expectNear(b.restTransform.position, {0, 3, 0});
  b.unlinkFromParent();
  child.unlinkFromParent();
}

TEST(BonePose, TheLoadersSwapBeforeAndAfterBindingKeepsTheFilesRoles) {
  MDL_Bone b = loadBone(
      "<object><matrix>1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1</matrix>"
      "<original_matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 7 0 1</original_matrix></object>");
  b.swapPose();  // binding sees the bone at its "original_matrix"
  expectNear(b.getWorld().position, {0, 7, 0});
  b.swapPose();
  expectNear(b.getWorld().position, {5, 0, 0});     // local: "matrix"
  expectNear(b.restTransform.position, {0, 7, 0});  // rest: "original_matrix"
}

struct LimitCase {
  const char* what;
  double restAngle, angle;  // about z, radians
  double min, max;          // z limits
  double want;              // resulting local angle about z
  bool edited;
};

TEST(BoneLimits, TwistAboutZIsClampedRelativeToRest) {
  const LimitCase cases[] = {
      {"no limits: untouched", 0, 0.7, -MDL_Bone::kNoLimit, MDL_Bone::kNoLimit, 0.7, false},
      {"locked at 10 degrees", 0, 30 * kDeg, 10 * kDeg, 10 * kDeg, 10 * kDeg, true},
      {"below the minimum", 0, -0.4, -0.1, 0.3, -0.1, true},
      {"inside the range", 0, 0.2, -0.1, 0.3, 0.2, false},
      {"within the tolerance", 0, 0.5, -1, 0.5 - 1e-8, 0.5, false},
      {"relative to a turned rest", 90 * kDeg, 120 * kDeg, 0, 10 * kDeg, 100 * kDeg, true},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.what);
    MDL_Bone b;
    Matrix3::fromAngles(b.restTransform.basis, 0, 0, c.restAngle);
    b.restTransform.inverseStale = 1;
    b.rotationLimits[4] = c.min;
    b.rotationLimits[5] = c.max;
    turnZ(b, c.angle);
    b.changed = 0;
    b.applyLimits();
    EXPECT_EQ(b.changed != 0, c.edited);
    expectNear(b.getWorld().basis.X(), {std::cos(c.want), std::sin(c.want), 0}, 1e-9);
    expectNear(b.getWorld().basis.Z(), {0, 0, 1}, 1e-9);
  }
}

TEST(BoneLimits, SwingIsNotTwist) {
  // A turn about y tilts the z axis but does not twist about z: a z lock
  // at 0 leaves it alone.
  MDL_Bone b;
  b.rotationLimits[4] = b.rotationLimits[5] = 0.0;
  Matrix3::fromAngles(b.editLocal().basis, 0, 0.6, 0);
  RigidTransform before = b.local;
  b.applyLimits();
  for (int i = 0; i < 3; ++i) expectNear(b.local.basis.axis[i], before.basis.axis[i], 1e-12);
}

int movedCalls(const FakeProxy& p) {
  int n = 0;
  for (const FakeProxy::Call& c : p.calls) n += c.id == CB_MOVED;
  return n;
}

TEST(BoneMovePoint, OneBoneTurnsThePointOntoTheTargetLine) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  MDL_Bone b;
  b.proxy.assign(&proxy.base());
  b.movePoint({1, 0, 0}, {0, 2, 0}, fakeEngine());
  // A quarter turn about z carries (1,0,0) to (0,1,0); the next pass finds
  // the point and target on one line and stops.
  expectNear(b.getWorld().basis.X(), {0, 1, 0});
  expectNear(b.getWorld().basis.Y(), {-1, 0, 0});
  EXPECT_EQ(movedCalls(proxy), 1);

  proxy.calls.clear();
  b.movePoint({0, 1, 0}, {0, 1, 0}, fakeEngine());  // already there
  EXPECT_TRUE(proxy.calls.empty());
  b.proxy.release();
}

TEST(BoneMovePoint, ChainTurnsEveryMovableBoneUpToTheFirstNonBone) {
  FakeProxyHooks hooks;
  FakeProxy top, mid, tip;
  MDL_Object holder;  // ends the chain
  MDL_Bone a, b, c;
  holder.addChild(&a);
  a.addChild(&b);
  b.addChild(&c);
  b.editLocal().position = Vec3(1, 0, 0);
  c.editLocal().position = Vec3(1, 0, 0);
  a.proxy.assign(&top.base());
  b.proxy.assign(&mid.base());
  c.proxy.assign(&tip.base());

  const Vec3 point(3, 0, 0), target(0, 3, 0);  // reachable: the chain is 3 long
  c.movePoint(point, target, fakeEngine());
  const Vec3 reached = c.getWorld().toWorldPoint(Vec3(1, 0, 0));
  EXPECT_LT(lengthSquared3(reached - target), 0.5);
  EXPECT_GE(movedCalls(top), 1);
  EXPECT_GE(movedCalls(mid), 1);
  EXPECT_GE(movedCalls(tip), 1);
  expectNear(holder.getWorld().basis.X(), {1, 0, 0});

  // Without STATE_MOVABLE nothing turns and nothing fires.
  for (MDL_Bone* x : {&a, &b, &c}) x->state &= ~STATE_MOVABLE;
  top.calls.clear();
  const RigidTransform before = c.getWorld();
  c.movePoint(reached, Vec3(3, 0, 0), fakeEngine());
  expectNear(c.getWorld().position, before.position);
  EXPECT_TRUE(top.calls.empty());

  for (MDL_Bone* x : {&a, &b, &c}) x->proxy.release();
  c.unlinkFromParent();
  b.unlinkFromParent();
  a.unlinkFromParent();
}

TEST(BoneMovePoint, TwoLockedAxesLeaveTurnsAboutTheThird) {
  MDL_Bone b;
  for (int i = 0; i < 4; ++i) b.rotationLimits[i] = 0.0;  // x and y locked at 0
  b.movePoint({1, 0, 0}, {0, 1, 1}, nullptr);
  expectNear(b.getWorld().basis.X(), {0, 1, 0});
  expectNear(b.getWorld().basis.Z(), {0, 0, 1});
}

TEST(BoneMovePoint, AStepThatMovesAwayIsUndoneButStillReported) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  MDL_Bone b;
  // Locked about z at -90 degrees: the limit throws the quarter turn
  // toward the target over to the far side, so it is taken back.
  b.rotationLimits[4] = b.rotationLimits[5] = -90 * kDeg;
  b.proxy.assign(&proxy.base());
  b.changed = 0;
  b.movePoint({1, 0, 0}, {0, 1, 0}, fakeEngine());
  expectNear(b.getWorld().basis.X(), {1, 0, 0}, 1e-9);
  EXPECT_EQ(movedCalls(proxy), 1);
  b.proxy.release();
}

// An animated mesh over three vertices with two bones: bone A at the origin
// holds every vertex, bone B at (2, 0, 0) shares vertex 2 half and half.
struct Rig {
  MeshData data;
  AnimatedMeshData groupA, groupB;
  MDL_Bone boneA, boneB;
  MDL_AnimatedMesh mesh;

  Rig() {
    data.vertexCount = data.normalCount = 3;
    data.vertices = new Vec3[3]{{1, 0, 0}, {0, 1, 0}, {2, 0, 0}};
    data.normals = new Vec3[3]{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    data.triangleCount = 1;
    data.triangles = new int32_t[3]{0, 1, 2};
    data.triangleInfos = new TriangleInfo[1]();
    data.computeTriangleNormals();
    data.boundsMin = Vec3(0, 0, 0);
    data.boundsMax = Vec3(2, 1, 0);
    // Rest entries in each bone's frame.
    set(groupA, {0, 1, 2}, {1, 1, 0.5}, {{1, 0, 0}, {0, 1, 0}, {2, 0, 0}});
    set(groupB, {2}, {0.5}, {{0, 0, 0}});
    boneB.editLocal().position = Vec3(2, 0, 0);
    mesh.meshData = &data;
    mesh.allocateBones(2);
    mesh.boneData[0] = &groupA;
    mesh.bones[0] = &boneA;
    mesh.boneData[1] = &groupB;
    mesh.bones[1] = &boneB;
    mesh.allocateSkinned();
  }
  static void set(AnimatedMeshData& g, std::vector<int32_t> v, std::vector<double> w, std::vector<Vec3> rest) {
    g.count = static_cast<int32_t>(v.size());
    g.weightCount = static_cast<int32_t>(w.size());
    g.vertexIndices = new int32_t[v.size()];
    std::copy(v.begin(), v.end(), g.vertexIndices);
    g.weights = new double[w.size()];
    std::copy(w.begin(), w.end(), g.weights);
    g.restPositions = new Vec3[rest.size()];
    std::copy(rest.begin(), rest.end(), g.restPositions);
    g.restNormals = new Vec3[rest.size()];
    for (size_t i = 0; i < rest.size(); ++i) g.restNormals[i] = Vec3(0, 0, 1);
  }
};

TEST(Skinning, RestShapeUntilABoneTurns) {
  Rig r;
  expectNear(*r.mesh.vertex(2), {2, 0, 0});
  expectNear(*r.mesh.boundsMax(), {2, 1, 0});
  ASSERT_NE(r.mesh.triangleInfos(), r.data.triangleInfos);  // a private copy
  expectNear(r.mesh.triangleInfos()[0].normal, {0, 0, -1});
  r.boneA.changed = r.boneB.changed = 0;
  r.mesh.changed = 0;
  turnZ(r.boneA, 0.0);  // edited, not moved: the mesh still skins
  r.boneA.changed = 0;
  r.mesh.update(false);
  EXPECT_EQ(r.mesh.changed, 0);
}

TEST(Skinning, QuarterTurnOfBoneAWorkedByHand) {
  Rig r;
  turnZ(r.boneA, 90 * kDeg);
  r.mesh.update(false);
  EXPECT_EQ(r.mesh.changed, 1);
  // v0 = R (1,0,0); v1 = R (0,1,0); v2 = 0.5 R (2,0,0) + 0.5 (2,0,0).
  expectNear(*r.mesh.vertex(0), {0, 1, 0});
  expectNear(*r.mesh.vertex(1), {-1, 0, 0});
  expectNear(*r.mesh.vertex(2), {1, 1, 0});
  expectNear(*r.mesh.normal(2), {0, 0, 1});
  expectNear(*r.mesh.boundsMin(), {-1, 0, 0});
  expectNear(*r.mesh.boundsMax(), {1, 1, 0});
  // (v1 - v0) x (v2 - v0) = (-1,-1,0) x (1,0,0)
  expectNear(r.mesh.triangleInfos()[0].normal, {0, 0, 1});
  // The shared geometry is untouched.
  expectNear(r.data.vertices[0], {1, 0, 0});
  expectNear(r.data.triangleInfos[0].normal, {0, 0, -1});
}

TEST(Skinning, PositionsAreInTheMeshFrame) {
  Rig r;
  r.mesh.editLocal().position = Vec3(0, 0, 5);
  r.mesh.update(true);
  expectNear(*r.mesh.vertex(0), {1, 0, -5});
  expectNear(*r.mesh.vertex(2), {2, 0, -5});
}

TEST(Skinning, LockedMeshSkinsOnlyWhenForced) {
  Rig r;
  r.mesh.locked = true;
  turnZ(r.boneA, 90 * kDeg);
  r.mesh.update(false);
  expectNear(*r.mesh.vertex(0), {1, 0, 0});
  r.mesh.update(true);
  expectNear(*r.mesh.vertex(0), {0, 1, 0});
}

TEST(Skinning, BadEntriesAndDeadSlotsAreSkipped) {
  Rig r;
  // An index outside the vertices, and one weight fewer than entries.
  r.groupB.vertexIndices[0] = 7;
  r.groupA.weightCount = 2;  // entry 2 of A takes no part
  r.mesh.update(true);
  expectNear(*r.mesh.vertex(2), {0, 0, 0});  // in no group now: the origin
  expectNear(*r.mesh.vertex(1), {0, 1, 0});

  r.groupB.vertexIndices[0] = 2;
  r.groupA.weightCount = 3;
  r.boneB.pendingDelete = 1;  // a flagged bone no longer deforms
  r.mesh.update(true);
  expectNear(*r.mesh.vertex(2), {1, 0, 0});
  r.boneB.pendingDelete = 0;
  r.mesh.bones[1] = nullptr;  // nor does a slot that matched nothing
  r.mesh.update(true);
  expectNear(*r.mesh.vertex(2), {1, 0, 0});
}

TEST(Skinning, MeshWithoutDataHasNoSkin) {
  MDL_AnimatedMesh m;
  ASSERT_TRUE(m.allocateSkinned());
  EXPECT_EQ(m.vertex(0), nullptr);
  EXPECT_EQ(m.normal(0), nullptr);
  EXPECT_EQ(m.triangleInfos(), nullptr);
  m.update(true);  // nothing to do, nothing to break
  EXPECT_FALSE(m.allocateBones(-1));
  EXPECT_FALSE(m.allocateBones(MDL_AnimatedMesh::kMaxBones + 1));
  EXPECT_EQ(m.boneCount, 0);
}

TEST(Skinning, ScenePassSkinsMovedMeshesAndClearsBones) {
  Scene scene;
  Rig r;
  scene.registerObject(&r.mesh);
  scene.registerObject(&r.boneA);
  turnZ(r.boneA, 90 * kDeg);
  scene.updateSkinning();
  expectNear(*r.mesh.vertex(0), {0, 1, 0});
  EXPECT_EQ(r.boneA.changed, 0);
  EXPECT_EQ(r.boneB.changed, 1);  // in no scene: nobody clears it
  // The rig owns these objects, not the scene.
  scene.objects.resize(0);
  scene.meshes.resize(0);
  scene.bones.resize(0);
}

TEST(AnimatedMeshCopy, StartsFromTheRestShapeWithTheSameBones) {
  Rig r;
  turnZ(r.boneA, 90 * kDeg);
  r.mesh.update(true);
  r.mesh.locked = true;
  r.mesh.bones[1]->pendingDelete = 1;
  MDL_AnimatedMesh copy(r.mesh);
  r.mesh.bones[1]->pendingDelete = 0;
  EXPECT_TRUE(copy.locked);
  ASSERT_EQ(copy.boneCount, 2);
  EXPECT_EQ(copy.bones[0], &r.boneA);
  EXPECT_EQ(copy.bones[1], nullptr);  // the flagged pair is not carried over
  EXPECT_NE(copy.skinnedVertices, r.mesh.skinnedVertices);
  expectNear(*copy.vertex(0), {1, 0, 0});
  expectNear(copy.triangleInfos()[0].normal, {0, 0, -1});
  expectNear(*copy.boundsMin(), *r.mesh.boundsMin());
}

TEST(AnimatedMeshCopy, InstantiationUsesTheClonedBones) {
  Rig r;
  MDL_Object root;
  MDL_Bone stray;  // outside the subtree
  root.addChild(&r.boneA);
  root.addChild(&r.mesh);
  r.mesh.bones[1] = &stray;

  Scene scene;
  MDL_Object* clone = scene.instantiateByName(&root);
  ASSERT_NE(clone, nullptr);
  MDL_Bone* boneClone = static_cast<MDL_Bone*>(clone->firstChild);
  ASSERT_EQ(boneClone->type, OBJECT_BONE);
  MDL_AnimatedMesh* meshClone = static_cast<MDL_AnimatedMesh*>(boneClone->nextSibling);
  ASSERT_EQ(meshClone->type, OBJECT_ANIMATED_MESH);
  EXPECT_EQ(meshClone->bones[0], boneClone);
  ASSERT_NE(meshClone->bones[1], nullptr);
  EXPECT_NE(meshClone->bones[1], &stray);
  EXPECT_EQ(meshClone->bones[1]->scene, &scene);  // registered, in no tree
  EXPECT_EQ(meshClone->bones[1]->parent, nullptr);
  EXPECT_EQ(scene.bones.count, 2);

  // The clone skins under its own bones.
  turnZ(*boneClone, 90 * kDeg);
  scene.updateSkinning();
  expectNear(*meshClone->vertex(0), {0, 1, 0});
  expectNear(*r.mesh.vertex(0), {1, 0, 0});

  // Purging a bone clears the slots that named it.
  meshClone->bones[1]->pendingDelete = 1;
  scene.purgeDeleted();
  EXPECT_EQ(meshClone->bones[1], nullptr);
  EXPECT_EQ(meshClone->bones[0], boneClone);
  meshClone->update(true);

  r.mesh.unlinkFromParent();
  r.boneA.unlinkFromParent();
}

}  // namespace
