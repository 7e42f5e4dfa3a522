// Colours that follow exactly from the viewport, material and lamp values
// (clear colour, shadeless diffuse, lamps and spots, shadows, mirrors,
// vertex colours), drawn by the viewport pass.
#include <GL/glew.h>

#include <cmath>

#include "model/animated_mesh.h"
#include "model/shadow_volume.h"
#include "tests/view/render_scene.h"
#include "view/pixel_image.h"

using namespace rendertest;

namespace {

// A camera 10 above the origin looking straight down: the middle of the
// window is the origin.
class Colours : public Frame {
 protected:
  void SetUp() override {
    Frame::SetUp();
    camera({0, 0, 10}, {0, 0, 0});
    cam->editLocal().basis.axis[1] = Vec3(0, 1, 0);  // y up on screen
    cam->editLocal().basis.axis[0] = Vec3(1, 0, 0);
  }
  Rgb middle() const { return at(width / 2, height / 2); }
};

}  // namespace

TEST_F(Colours, ClearsWithTheViewportColour) {
  viewport.background[0] = 0.2, viewport.background[1] = 0.4, viewport.background[2] = 0.6;
  draw();
  EXPECT_EQ(middle(), (Rgb{51, 102, 153}));
  EXPECT_EQ(at(0, 0), (Rgb{51, 102, 153}));
}

TEST_F(Colours, ClearColourWithoutAlphaKeepsTheWindowColour) {
  viewport.background[3] = 0;
  draw();
  EXPECT_EQ(middle(), (Rgb{128, 128, 128}));  // what clear left
}

TEST_F(Colours, ShadelessMaterialIsItsDiffuseColour) {
  lamp(LAMP_SUN, {0, 0, 5}, {1, 0, 0, 1});  // no light changes it
  mesh(quadData(2), material({1, 0.6, 0.2, 1}, true));
  draw();
  EXPECT_EQ(middle(), (Rgb{255, 153, 51}));
}

TEST_F(Colours, LitFaceUnderAWhiteLamp) {
  for (int kind : {LAMP_SUN, LAMP_LAMP}) {
    SCOPED_TRACE(kind);
    open(64, 48);
    SetUp();
    MDL_Lamp* l = lamp(kind, {0, 0, 5});
    l->noSpecular = true;
    // Light is worked out per vertex: a fine grid puts vertices right
    // under the lamp.
    mesh(gridData(30, 3), material({0.8, 0.6, 0.4, 1}));
    draw();
    EXPECT_TRUE(near(middle(), {204, 153, 102}));
    l->energy = 0.5;  // the lamp's colour times its energy
    draw();
    EXPECT_TRUE(near(middle(), {102, 77, 51}));
  }
}

TEST_F(Colours, NoLampLeavesALitFaceDark) {
  mesh(quadData(3), material({1, 1, 1, 1}));
  draw();
  EXPECT_EQ(middle(), (Rgb{0, 0, 0}));
}

TEST_F(Colours, NinthLampGivesNoLightAndLampsThatAreOffUseNoLight) {
  // Eight lamps that give nothing, then a red one.
  std::vector<MDL_Lamp*> dark;
  for (int i = 0; i < 8; ++i) dark.push_back(lamp(LAMP_SUN, {0, 0, 5}, {0, 0, 0, 1}));
  lamp(LAMP_SUN, {0, 0, 5}, {1, 0, 0, 1})->noSpecular = true;
  mesh(quadData(3), material({1, 1, 1, 1}));
  draw();
  EXPECT_EQ(middle(), (Rgb{0, 0, 0}));
  dark[3]->on = false;  // the red lamp becomes the eighth that is on
  draw();
  EXPECT_TRUE(near(middle(), {255, 0, 0}));
}

TEST_F(Colours, SpotLightsOnlyInsideItsCone) {
  MDL_Lamp* spot = lamp(LAMP_SPOT, {0, 0, 5});
  spot->spotSize = 20;  // a radius of 5 tan 20 = 1.8 on the ground
  spot->spotExponent = 0;
  spot->noSpecular = true;
  mesh(gridData(40, 4), material({1, 1, 1, 1}));
  draw();
  EXPECT_TRUE(near(middle(), {255, 255, 255}));
  EXPECT_EQ(atWorld({1.0, 0, 0}).r > 200, true) << atWorld({1.0, 0, 0});
  EXPECT_EQ(atWorld({2.5, 0, 0}), (Rgb{0, 0, 0}));
  EXPECT_EQ(atWorld({0, -2.5, 0}), (Rgb{0, 0, 0}));
  // Wider than the pipeline takes: lights the half space below it.
  spot->spotSize = 135;
  draw();
  EXPECT_GT(atWorld({2.5, 0, 0}).r, 100);
}

TEST_F(Colours, PointLampAttenuatesWithItsDistance) {
  MDL_Lamp* l = lamp(LAMP_LAMP, {0, 0, 5});
  l->noSpecular = true;
  l->quad1 = 1;  // 1 / (1 + 5 / 5)
  l->distance = 5;
  mesh(gridData(30, 3), material({1, 1, 1, 1}));
  draw();
  EXPECT_TRUE(near(middle(), {128, 128, 128}));
  l->distance = 0;  // no attenuation rather than a division by zero
  draw();
  EXPECT_TRUE(near(middle(), {255, 255, 255}));
}

TEST_F(Colours, KindsWithoutPositionDoNotInheritTheLastLampsSpot) {
  // The hemi lamp takes light 0 after a spot had it in the frame before.
  MDL_Lamp* l = lamp(LAMP_SPOT, {3, 3, 1});
  l->spotSize = 1;
  l->noSpecular = true;
  mesh(quadData(3), material({1, 1, 1, 1}));
  draw();
  l->kind = LAMP_HEMI;
  draw();
  EXPECT_TRUE(near(middle(), {255, 255, 255}));  // GL's own light: from +z, far away
}

namespace {

// A sun at 45 degrees throws the shadow of a cube at (2, 0, 1.5) around
// (0.5, 0, 0), in plain view of the camera above the origin.
const Vec3 kCube{2, 0, 1.5}, kShadowed{0.5, 0, 0}, kOpen{-2, 1, 0}, kCubeTop{2, 0, 2};

}  // namespace

TEST_F(Colours, ShadowModeZeroDarkensShadowedPixels) {
  struct Case {
    int shadowType;
    double coeff;
    Rgb shadow;
  };
  for (const Case& c : {Case{SHADOW_2D, 0.5, {128, 128, 128}}, Case{SHADOW_3D, 0.5, {128, 128, 128}},
                        Case{SHADOW_2D, 1.0, {0, 0, 0}}, Case{SHADOW_3D, 1.5, {0, 0, 0}}}) {
    SCOPED_TRACE(c.shadowType * 10 + c.coeff);
    open(64, 48);
    SetUp();
    viewport.shadowMode = 0;
    lamp(LAMP_SUN, {0, 0, 8});  // lights the floor white from above: it receives shadows
    MDL_Lamp* sun = lamp(LAMP_SUN, {});
    lookAt(sun, {5, 0, 5}, {0, 0, 0});
    sun->shadows = true;
    sun->shadowType = c.shadowType;
    sun->shadowCoeff = c.coeff;
    mesh(quadData(6), material({1, 1, 1, 1}));
    mesh(cubeData(0.5), material({0, 0, 1, 1}, true), kCube);
    draw();
    EXPECT_TRUE(near(atWorld(kShadowed), c.shadow));
    EXPECT_EQ(atWorld(kOpen), (Rgb{255, 255, 255}));
    EXPECT_EQ(atWorld(kCubeTop), (Rgb{0, 0, 255}));  // the lit top is outside its own volume
  }
}

TEST_F(Colours, ShadowModeOneDrawsShadowedPixelsWithoutTheLampsShare) {
  for (int type : {SHADOW_2D, SHADOW_3D}) {
    SCOPED_TRACE(type);
    open(64, 48);
    SetUp();
    lamp(LAMP_SUN, {0, 0, 8}, {0, 0, 0, 1});  // takes light 0: the shadow lamp has light 1
    MDL_Lamp* sun = lamp(LAMP_SUN, {});
    lookAt(sun, {5, 0, 5}, {0, 0, 0});
    sun->shadows = true;
    sun->noSpecular = true;
    sun->shadowType = type;
    sun->shadowCoeff = 0.75;
    mesh(quadData(6), material({1, 1, 1, 1}));
    mesh(cubeData(0.5), material({1, 1, 1, 1}), kCube);
    draw();
    // Lit at 45 degrees: 255 cos 45 = 180; in shadow a quarter of that.
    EXPECT_TRUE(near(atWorld(kShadowed), {45, 45, 45}));
    EXPECT_TRUE(near(atWorld(kOpen), {180, 180, 180}));
    EXPECT_TRUE(near(atWorld(kCubeTop), {180, 180, 180}));
    GLfloat diffuse[4] = {};
    view->beginFrame(dc, false);
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    view->endFrame(dc);
    EXPECT_EQ(diffuse[0], 1.0f);  // given back after the pass
  }
}

TEST_F(Colours, ShadowsFallOnlyOnWhatReceivesThemInEitherMode) {
  // The cube's shadow falls on a lit floor and on a grey unlit tile above
  // it, which receives no shadow (it takes no light).
  const Vec3 tile{0.5, -0.25, 0.01}, floorInShadow{0.5, 0.3, 0};
  for (int mode : {0, 1})
    for (int type : {SHADOW_2D, SHADOW_3D}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", type " << type);
      open(64, 48);
      SetUp();
      viewport.shadowMode = mode;
      MDL_Lamp* sun = lamp(LAMP_SUN, {});
      lookAt(sun, {5, 0, 5}, {0, 0, 0});
      sun->shadows = true;
      sun->noSpecular = true;
      sun->shadowType = type;
      sun->shadowCoeff = 0.5;
      mesh(quadData(6), material({1, 1, 1, 1}));
      mesh(quadData(0.25), material({0.8, 0.8, 0.8, 1}, true), tile);
      mesh(cubeData(0.5), material({0, 0, 1, 1}, true), kCube);
      draw();
      EXPECT_EQ(atWorld(tile), (Rgb{204, 204, 204}));
      EXPECT_TRUE(near(atWorld(floorInShadow), {90, 90, 90}));  // half of 255 cos 45
      EXPECT_TRUE(near(atWorld(kOpen), {180, 180, 180}));
    }
}

TEST_F(Colours, OpenVolumesReachingIntoEmptySpaceLeaveTheBackground) {
  // A volume only 2 long: straight down from the camera, rays over the
  // empty space beside the floor enter it through a side and leave it
  // through its open far end.
  viewport.background[0] = 0.2, viewport.background[1] = 0.4, viewport.background[2] = 0.6;
  viewport.shadowMode = 0;
  MDL_Lamp* sun = lamp(LAMP_SUN, {});
  lookAt(sun, {5, 0, 5}, {0, 0, 0});
  sun->shadows = true;
  sun->shadowType = SHADOW_2D;
  sun->shadowDepth = 2;
  mesh(quadData(0.5), material({1, 1, 1, 1}, true), {-2, 1, 0});
  mesh(cubeData(0.5), material({0, 0, 1, 1}, true), kCube);
  draw();
  for (const Vec3& p : {Vec3(0.5, 0, 0), Vec3(0.3, 0.3, 0), Vec3(0.8, -0.3, 0)})
    EXPECT_EQ(atWorld(p), (Rgb{51, 102, 153})) << p.x << ", " << p.y;
  EXPECT_EQ(atWorld({-2, 1, 0}), (Rgb{255, 255, 255}));
}

TEST_F(Colours, MaterialsThatCastNothingMakeNoShadow) {
  viewport.shadowMode = 0;
  lamp(LAMP_SUN, {0, 0, 8});  // lights the floor white from above: it receives shadows
  MDL_Lamp* sun = lamp(LAMP_SUN, {});
  lookAt(sun, {5, 0, 5}, {0, 0, 0});
  sun->shadows = true;
  mesh(quadData(6), material({1, 1, 1, 1}));
  Material* glass = material({0, 0, 1, 1}, true);
  glass->castShadows = false;
  MDL_Mesh* caster = mesh(cubeData(0.5), glass, kCube);
  draw();
  EXPECT_EQ(atWorld(kShadowed), (Rgb{255, 255, 255}));
  caster->material = nullptr;  // no material: no volume either
  draw();
  EXPECT_EQ(atWorld(kShadowed), (Rgb{255, 255, 255}));
  caster->material = material({0, 0, 1, 1}, true);
  sun->on = false;  // a lamp that is off casts nothing
  draw();
  EXPECT_EQ(atWorld(kShadowed), (Rgb{255, 255, 255}));
  sun->on = true;
  draw();
  EXPECT_TRUE(near(atWorld(kShadowed), {128, 128, 128}));
}

TEST_F(Colours, MaterialAlphaZeroWritesDepthOnly) {
  mesh(quadData(3), material({1, 0, 0, 1}, true));
  mesh(quadData(1), material({0, 1, 0, 0}, true), {0, 0, 1});
  draw();
  EXPECT_EQ(middle(), (Rgb{255, 0, 0}));  // no colour of its own
  int x, y;
  windowPoint({2, 0, 0}, &x, &y);
  EXPECT_LT(depthAt(width / 2, height / 2), depthAt(x, y));  // but nearer depth
}

TEST_F(Colours, TranslucentMeshesAreLeftToTheirOwnPass) {
  // Drawn once, blended, by the translucent pass, which writes no depth.
  Material* half = material({0, 1, 0, 0.5}, true);
  MDL_Mesh* m = mesh(quadData(3), half);
  draw();
  EXPECT_TRUE(near(middle(), {0, 128, 0}));
  EXPECT_EQ(depthAt(width / 2, height / 2), 1.0f);
  half->diffuse.a = 1;
  m->meshData->translucentColorCount = 1;  // one vertex colour below full alpha
  draw();
  EXPECT_EQ(middle(), (Rgb{0, 255, 0}));
  EXPECT_EQ(depthAt(width / 2, height / 2), 1.0f);
}

TEST_F(Colours, VertexColoursReplaceTheDiffuseColour) {
  MeshData* d = quadData(3);
  d->colorCount = 4;
  d->colors = new ColorRGBA[4];
  for (int i = 0; i < 4; ++i) d->colors[i] = {0, 0.6, 0, 1};
  mesh(d, material({1, 1, 1, 1}, true));
  for (int path : {kGeometryClientArrays, kGeometryBufferObjects}) {
    view->geometryPath = path;
    draw();
    EXPECT_EQ(middle(), (Rgb{0, 153, 0})) << path;
  }
  d->colorCount = 3;  // shorter than the vertex list: not drawn from
  for (int path : {kGeometryClientArrays, kGeometryBufferObjects}) {
    view->geometryPath = path;
    view->beginFrame(dc, false);
    view->releaseBuffers();
    draw();
    EXPECT_EQ(middle(), (Rgb{255, 255, 255})) << path;
  }
}

TEST_F(Colours, MirrorShowsTheReflectedObject) {
  Material* glass = overMirror();
  mesh(quadData(0.5, true), material({1, 0, 0, 1}, true), {0, 2, 1.5});
  draw();
  EXPECT_EQ(atWorld({0, 2, 1.5}), (Rgb{255, 0, 0}));   // the object itself
  EXPECT_EQ(atWorld({0, 2, -1.5}), (Rgb{255, 0, 0}));  // its reflection
  EXPECT_EQ(atWorld({-3, -2, 0}), (Rgb{0, 0, 255}));   // the mirror shows the background
  // A mirror with alpha covers the reflection with its own colour.
  glass->diffuse.a = 1;
  draw();
  EXPECT_EQ(atWorld({0, 2, -1.5}), (Rgb{128, 128, 128}));
  glass->diffuse.a = 0.5;
  draw();
  EXPECT_TRUE(near(atWorld({0, 2, -1.5}), {191, 64, 64}));
}

TEST_F(Colours, TheReflectionStaysInsideTheMirrorWhateverTheBackground) {
  // A green wall standing on a small mirror: its reflection reaches past
  // the mirror's edge on the screen. Beyond the edge the viewport's colour
  // shows, or, when it has no alpha, what was there before (the clear).
  struct Case {
    double alpha;
    Rgb beside;
  } cases[] = {{1, {0, 0, 255}}, {0, {128, 128, 128}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alpha);
    open(128, 96);
    camera({0, -8, 8}, {0, 0, 0});
    viewport.background[2] = 1;
    viewport.background[3] = c.alpha;
    Material* glass = material({0.5, 0.5, 0.5, 0}, true);
    glass->mirror = true;
    mesh(quadData(1), glass);
    MDL_Mesh* wall = mesh(quadData(1.5, true), material({0, 1, 0, 1}, true), {0, 0, 1.5});
    RigidTransform& t = wall->editLocal();
    t.basis.axis[1] = Vec3(0, 0, 1);
    t.basis.axis[2] = Vec3(0, -1, 0);
    t.inverseStale = 1;
    for (int path : {kGeometryClientArrays, kGeometryBufferObjects}) {
      view->geometryPath = path;
      draw();
      EXPECT_EQ(atWorld({0, 0, 2}), (Rgb{0, 255, 0})) << path;     // the wall
      EXPECT_EQ(atWorld({0, 0, -0.3}), (Rgb{0, 255, 0})) << path;  // in the mirror
      EXPECT_EQ(atWorld({0, 0, -2.5}), c.beside) << path;          // beyond its near edge
      EXPECT_EQ(atWorld({1.3, 0, -0.3}), c.beside) << path;        // beyond its side
    }
  }
}

TEST_F(Colours, OnlyTheLastMirrorReflectsTheOtherIsAnOrdinaryMesh) {
  open(128, 96);
  camera({0, -8, 8}, {0, 0, 0});
  viewport.background[2] = 1;
  Material* first = material({0, 1, 0, 1}, true);
  first->mirror = true;
  mesh(quadData(1), first, {-3, 0, 0.01});
  Material* glass = material({0.5, 0.5, 0.5, 0}, true);
  glass->mirror = true;
  mesh(quadData(5), glass);
  mesh(quadData(0.5, true), material({1, 0, 0, 1}, true), {0, 2, 1.5});
  draw();
  EXPECT_EQ(atWorld({-3, 0, 0.01}), (Rgb{0, 255, 0}));
  EXPECT_EQ(atWorld({0, 2, -1.5}), (Rgb{255, 0, 0}));
}

TEST_F(Colours, MirrorWithoutNormalsIsNoMirror) {
  open(128, 96);
  camera({0, -8, 8}, {0, 0, 0});
  Material* glass = material({0.5, 0.5, 0.5, 0}, true);
  glass->mirror = true;
  MeshData* d = quadData(5);
  d->normalCount = 0;
  mesh(d, glass);
  mesh(quadData(0.5, true), material({1, 0, 0, 1}, true), {0, 2, 1.5});
  draw();
  // Drawn as an ordinary mesh (alpha 0: blended away), no reflection.
  EXPECT_EQ(atWorld({0, 2, -1.5}), (Rgb{0, 0, 0}));
}

TEST_F(Colours, SpriteKeepsItsOrientationOnScreen) {
  // A quad facing +z, its sprite matrix keeps it facing the screen however
  // the camera turns.
  open(128, 96);
  camera({0, -8, 0.5}, {0, 0, 0.5});  // looking along +y: a plain quad is edge on
  MDL_Mesh* sprite = mesh(quadData(1), material({1, 1, 0, 1}, true), {0, 0, 0.5});
  sprite->displayMode = DISPLAY_MODE_SPRITE;
  draw();
  EXPECT_EQ(atWorld({0, 0, 0.5}), (Rgb{255, 255, 0}));
  EXPECT_EQ(view->meshBuffers.find(sprite->meshData), nullptr);  // never uploaded
  lookAt(cam, {-8, 0, 0.5}, {0, 0, 0.5});                        // turned a quarter round: still facing
  draw();
  EXPECT_EQ(atWorld({0, 0, 0.5}), (Rgb{255, 255, 0}));
  sprite->displayMode = DISPLAY_MODE_NORMAL;  // a plain quad is seen edge on
  draw();
  EXPECT_EQ(atWorld({0, 0, 0.5}), (Rgb{0, 0, 0}));
  EXPECT_NE(view->meshBuffers.find(sprite->meshData), nullptr);
}

TEST_F(Colours, EmptyViewportsAndDepthRangesDrawNothing) {
  viewport.background[0] = 1;
  cam->clipEnd = cam->clipStart;
  draw();
  EXPECT_EQ(middle(), (Rgb{128, 128, 128}));
  cam->clipEnd = 100;
  view->beginFrame(dc, false);
  const double origin[2] = {0, 0}, tiny[2] = {0.3, 20};
  view->renderViewport(&viewport, origin, tiny, nullptr);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  view->endFrame(dc);
}

// A viewport whose numbers no window holds is drawn as one under a pixel:
// not at all, and none of them is turned into an integer it cannot be.
TEST_F(Colours, ViewportsOfInfiniteUndefinedOrHugeNumbersDrawNothing) {
  viewport.background[0] = 1;
  const double inf = HUGE_VAL, nan = std::nan("");
  struct Case {
    double origin[2], size[2];
  } cases[] = {
      {{-inf, 0}, {64, 48}}, {{0, inf}, {64, 48}},  {{nan, 0}, {64, 48}},    {{0, 0}, {inf, 48}},
      {{0, 0}, {64, nan}},   {{0, 0}, {-inf, 48}},  {{3e9, 0}, {64, 48}},    {{0, -1e300}, {64, 48}},
      {{0, 0}, {1e10, 48}},  {{0, 0}, {64, 2.5e9}}, {{-2.2e9, 0}, {64, 48}}, {{0, 0}, {64, -3e9}},
  };
  const double grey[4] = {0.5, 0.5, 0.5, 1};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.origin[0] << ", " << c.origin[1] << " / " << c.size[0] << " x " << c.size[1]);
    view->beginFrame(dc, false);
    view->clear(grey);
    view->renderViewport(&viewport, c.origin, c.size, nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    PixelImage image;
    ASSERT_TRUE(view->readPixels(dc, 0, 0, width, height, &image));
    for (int i = 0; i < width * height * 3; ++i) ASSERT_EQ(image.pixels[i], 128) << i;
    view->endFrame(dc);
  }
}

TEST_F(Colours, ChangedGeometryIsUploadedAgain) {
  MeshData* d = quadData(3);
  d->colorCount = 4;
  d->colors = new ColorRGBA[4];
  for (int i = 0; i < 4; ++i) d->colors[i] = {0, 0.6, 0, 1};
  MDL_Mesh* m = mesh(d, material({1, 1, 1, 1}, true));
  view->geometryPath = kGeometryBufferObjects;
  draw();
  EXPECT_EQ(middle(), (Rgb{0, 153, 0}));
  for (int i = 0; i < 4; ++i) d->colors[i] = {0.6, 0, 0, 1};
  draw();
  EXPECT_EQ(middle(), (Rgb{0, 153, 0}));  // the buffer still holds the old colours
  m->geometryDirty = true;
  draw();
  EXPECT_EQ(middle(), (Rgb{153, 0, 0}));
  EXPECT_FALSE(m->geometryDirty);
}

TEST_F(Colours, SkinnedMeshSharingPlainDataIsDrawnFromItsOwnShape) {
  MeshData* d = quadData(0.5);
  mesh(d, material({1, 0, 0, 1}, true), {-2, 0, 0});
  MDL_AnimatedMesh* skinned = skinnedMesh(d, material({0, 0, 1, 1}, true), {2, 0, 0});
  ASSERT_TRUE(skinned);
  for (int32_t i = 0; i < d->vertexCount; ++i) skinned->skinnedVertices[i].y += 1.5;  // its own pose
  view->geometryPath = kGeometryBufferObjects;
  draw();
  EXPECT_EQ(atWorld({-2, 0, 0}), (Rgb{255, 0, 0}));
  EXPECT_NE(view->meshBuffers.find(d), nullptr);  // the plain mesh uploaded the rest shape
  EXPECT_EQ(atWorld({2, 1.5, 0}), (Rgb{0, 0, 255}));
  EXPECT_EQ(atWorld({2, 0, 0}), (Rgb{0, 0, 0}));
}
