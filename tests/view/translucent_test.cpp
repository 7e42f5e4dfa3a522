// Translucent meshes on screen: blended far to near from wherever the camera
// stands, cut where they cross, and which meshes and triangles take part.
#include <vector>

#include "tests/view/render_scene.h"

using namespace rendertest;

namespace {

class Translucent : public Frame {
 protected:
  // A shadeless quad of that colour, seen from both sides.
  MDL_Mesh* pane(const ColorRGBA& c, const Vec3& at, double half = 2) {
    return mesh(quadData(half, true), material(c, true), at);
  }
  // Turns a mesh so that its local z axis (a quad's face) points along n.
  static void face(MDL_Mesh* m, const Vec3& x, const Vec3& y) {
    RigidTransform& t = m->editLocal();
    t.basis.axis[0] = x;
    t.basis.axis[1] = y;
    t.basis.axis[2] = cross3(x, y);
    t.inverseStale = 1;
  }
  int32_t nodes() const { return view->bsp.nodes.count; }
};

}  // namespace

TEST_F(Translucent, OverlappingPanesBlendFarToNearFromEitherSide) {
  // Red at z = 0 and blue at z = 1, half opaque, over black; in both list
  // orders, seen from above and from below.
  struct Case {
    Vec3 eye;
    bool redFirst;
    Rgb want;
  } cases[] = {
      {{0, 0, 10}, true, {64, 0, 128}},  // blue nearer
      {{0, 0, 10}, false, {64, 0, 128}},
      {{0, 0, -10}, true, {128, 0, 64}},  // red nearer
      {{0, 0, -10}, false, {128, 0, 64}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "eye z " << c.eye.z << (c.redFirst ? ", red first" : ", blue first"));
    open(64, 48);
    camera(c.eye, {0, 0, 0});
    if (c.redFirst) pane({1, 0, 0, 0.5}, {0, 0, 0});
    pane({0, 0, 1, 0.5}, {0, 0, 1});
    if (!c.redFirst) pane({1, 0, 0, 0.5}, {0, 0, 0});
    draw();
    EXPECT_TRUE(near(at(32, 24), c.want));
    EXPECT_EQ(nodes(), 4);
  }
}

TEST_F(Translucent, APaneCrossingAnotherIsCutAndEachHalfDrawnInItsOrder) {
  open(128, 96);
  camera({0, -8, 8}, {0, 0, 0});
  pane({1, 0, 0, 0.5}, {0, 0, 0});
  // Green stands upright through red's plane, facing the camera.
  face(pane({0, 1, 0, 0.5}, {0, 0, 0}, 1), {1, 0, 0}, {0, 0, 1});
  draw();
  EXPECT_GT(nodes(), 4);  // something was cut
  // Green's upper half lies over red, its lower half under it: points in
  // every piece of both of green's triangles.
  for (const Vec3& p : {Vec3(0, 0, 0.5), Vec3(-0.7, 0, 0.5), Vec3(0.7, 0, 0.8)})
    EXPECT_TRUE(near(atWorld(p), {64, 128, 0})) << p.x << ", " << p.z;
  for (const Vec3& p : {Vec3(0, 0, -0.5), Vec3(0.8, 0, -0.3), Vec3(-0.8, 0, -0.3), Vec3(0.5, 0, -0.8)})
    EXPECT_TRUE(near(atWorld(p), {128, 64, 0})) << p.x << ", " << p.z;
  EXPECT_TRUE(near(atWorld({1.5, 1.5, 0}), {128, 0, 0}));  // red alone
}

TEST_F(Translucent, WhichMeshesTakePart) {
  struct Case {
    const char* what;
    double alpha, layerAlpha;
    bool translucentColours, noMaterial, visible;
    int32_t nodes;
  } cases[] = {
      {"alpha 0.999", 0.999, 1, false, false, true, 2},
      {"alpha 1", 1, 1, false, false, true, 0},
      {"alpha 0 writes depth only", 0, 1, false, false, true, 0},
      {"first layer alpha 0.5", 1, 0.5, false, false, true, 2},
      {"a vertex colour below full alpha", 1, 1, true, false, true, 2},
      {"no material but such a colour", 1, 1, true, true, true, 2},
      {"hidden", 0.5, 1, false, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    open(64, 48);
    camera({0, 0, 10}, {0, 0, 0});
    MDL_Mesh* m = pane({0, 1, 0, c.alpha}, {});
    m->material->addLayer()->color.a = c.layerAlpha;
    if (c.translucentColours) m->meshData->translucentColorCount = 1;
    if (c.noMaterial) m->material = nullptr;
    if (!c.visible) m->state &= ~STATE_VISIBLE;
    draw();
    EXPECT_EQ(nodes(), c.nodes);
    EXPECT_EQ(view->translucentStreams.triangles(), c.nodes);
  }
}

TEST_F(Translucent, BackFacesOfSingleSidedMeshesAndWhatLiesBehindTheEyeAreDropped) {
  camera({0, 0, 10}, {0, 0, 0});
  MDL_Mesh* m = mesh(quadData(2), material({1, 0, 0, 0.5}, true));
  face(m, {1, 0, 0}, {0, -1, 0});  // facing down, away from the camera
  draw();
  EXPECT_EQ(nodes(), 0);
  EXPECT_EQ(at(32, 24), (Rgb{0, 0, 0}));
  m->meshData->doubleSided = true;
  draw();
  ASSERT_EQ(nodes(), 2);
  EXPECT_TRUE(near(at(32, 24), {128, 0, 0}));
  for (int i = 0; i < 2; ++i) {
    const BspNode& n = view->bsp.nodes[i];
    ASSERT_LT(n.corner[0], 0);  // a corner as handed over: nothing was cut
    const int32_t c = -1 - n.corner[0];
    EXPECT_GT(dot3(view->bsp.plane(n.triangle), view->translucentSource.corner(c / 3, c % 3).position), 0);
  }

  // One triangle through the eye plane (the camera at z = 10): kept whole
  // while any corner lies in front of the eye.
  MeshData* d = quadData(1, true);
  d->triangleCount = 1;
  d->vertices[0] = {-1, -1, 11};
  d->vertices[1] = {1, -1, 12};
  d->vertices[2] = {0, 1, 9};
  mesh(d, material({0, 0, 1, 0.5}, true));
  m->state &= ~STATE_VISIBLE;
  draw();
  EXPECT_EQ(nodes(), 1);
  d->vertices[2].z = 10;
  draw();
  EXPECT_EQ(nodes(), 0);
}

TEST_F(Translucent, ColourlessMeshesAreNotDrawnWithAnotherMeshsColours) {
  // Two meshes of one material side by side in one plane: one run of the
  // material, split where vertex colours start.
  camera({0, 0, 10}, {0, 0, 0});
  Material* glass = material({1, 1, 1, 0.5}, true);
  MeshData* coloured = quadData(1);
  coloured->colorCount = 4;
  coloured->colors = new ColorRGBA[4];
  for (int i = 0; i < 4; ++i) coloured->colors[i] = {0, 1, 0, 1};
  mesh(coloured, glass, {-2, 0, 0});
  mesh(quadData(1), glass, {2, 0, 0});
  draw();
  EXPECT_EQ(atWorld({-2, 0, 0}), (Rgb{0, 255, 0}));  // the colours' own alpha
  EXPECT_TRUE(near(atWorld({2, 0, 0}), {128, 128, 128}));
}

// Triangles of one plane stack up on the first one placed, the latest
// right after it; so the drawing order shows the order a mesh's triangles
// were placed in: from both ends and the middle of each quarter, then the
// rest in order.
TEST_F(Translucent, AMeshsTrianglesArePlacedFromTheEndsAndMiddlesOfItsQuarters) {
  struct Case {
    int32_t triangles;
    std::vector<int32_t> drawn;
  } cases[] = {
      {8, {0, 6, 5, 2, 1, 7, 4, 3}},         // placed 0 3 4 7 1 2 5 6
      {10, {0, 9, 8, 6, 5, 2, 1, 7, 4, 3}},  // the two left over last
      {3, {0, 2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.triangles);
    open(64, 48);
    camera({0, 0, 10}, {0, 0, 0});
    // Side by side in the plane z = 0, facing the camera; u numbers them.
    MeshData* d = new MeshData;
    const int32_t n = c.triangles;
    d->vertexCount = d->normalCount = d->uvCount = 3 * n;
    d->vertices = new Vec3[3 * n];
    d->normals = new Vec3[3 * n];
    d->uvs = new double[6 * n]();
    d->triangleCount = n;
    d->triangles = new int32_t[3 * n];
    for (int32_t t = 0; t < n; ++t) {
      const double x = 0.5 * t - 2.5;
      const Vec3 corners[3] = {{x, 0, 0}, {x + 0.4, 0, 0}, {x, 0.4, 0}};
      for (int k = 0; k < 3; ++k) {
        d->vertices[3 * t + k] = corners[k];
        d->normals[3 * t + k] = Vec3(0, 0, 1);
        d->uvs[2 * (3 * t + k)] = t;
        d->triangles[3 * t + k] = 3 * t + k;
      }
    }
    mesh(d, material({1, 1, 1, 0.5}, true), {0, 0, 0});
    draw();
    const TranslucentStreams& s = view->translucentStreams;
    std::vector<int32_t> drawn;
    for (int32_t t = 0; t < s.triangles(); ++t) drawn.push_back(int32_t(s.uvs[3 * t].x));
    EXPECT_EQ(drawn, c.drawn);
  }
}

TEST_F(Translucent, MirrorShowsTheFacesItSeesNotTheOnesTheCameraSees) {
  // Over a mirror the camera sees a pane's top and the mirror its underside:
  // a single-sided pane facing up shows only directly, one facing down only
  // in the mirror, a double-sided one in both.
  struct Case {
    const char* what;
    bool up, doubleSided;
    Rgb direct, reflected;
  } cases[] = {
      {"facing up", true, false, {128, 0, 128}, {0, 0, 255}},
      {"facing down", false, false, {0, 0, 255}, {128, 0, 128}},
      {"double-sided", false, true, {128, 0, 128}, {128, 0, 128}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    overMirror();  // blue background
    MDL_Mesh* m = mesh(quadData(0.5, c.doubleSided), material({1, 0, 0, 0.5}, true), {0, 2, 1.5});
    if (!c.up) face(m, {1, 0, 0}, {0, -1, 0});
    draw();
    EXPECT_TRUE(near(atWorld({0, 2, 1.5}), c.direct));
    EXPECT_TRUE(near(atWorld({0, 2, -1.5}), c.reflected));
  }
}

TEST_F(Translucent, SpritesAndSkinnedMeshesAreTakenWhereTheyShow) {
  // Seen from the side: a plain pane lying flat is edge on, a sprite pane
  // keeps facing the screen; a skinned pane shows its own pose.
  open(128, 96);
  camera({0, -8, 0.5}, {0, 0, 0.5});
  MDL_Mesh* sprite = mesh(quadData(1), material({1, 1, 0, 0.5}, true), {-2, 0, 0.5});
  sprite->displayMode = DISPLAY_MODE_SPRITE;
  MeshData* d = quadData(0.5);
  mesh(d, material({0, 1, 1, 0.5}, true), {2, 0, 0.5});  // edge on: nothing
  MDL_AnimatedMesh* skinned = skinnedMesh(d, material({1, 0, 1, 0.5}, true), {2, 0, 0.5});
  ASSERT_TRUE(skinned);
  // Its pose stands the pane up, facing the camera.
  for (int32_t i = 0; i < d->vertexCount; ++i) {
    Vec3& v = skinned->skinnedVertices[i];
    v = Vec3(v.x, 0, v.y);
    skinned->skinnedNormals[i] = Vec3(0, -1, 0);
  }
  draw();
  EXPECT_TRUE(near(atWorld({-2, 0, 0.5}), {128, 128, 0}));
  EXPECT_TRUE(near(atWorld({2, 0, 0.5}), {128, 0, 128}));
}

TEST_F(Translucent, LitGlassTakesItsOwnColourAfterVertexColours) {
  // A sun straight above lights a glass pane of (0.2, 0.4, 0.6) and alpha
  // 0.5 fully; blended over red that is (0.6, 0.2, 0.3). A mirror shows the
  // pane's underside, which the sun lights with its ambient colour alone:
  // over the blue background (0.1, 0.2, 0.8). Before the pane comes a
  // vertex-coloured mesh elsewhere: opaque (drawn by the opaque pass), or
  // translucent and farther (the run before the pane's).
  struct Case {
    const char* what;
    double colourAlpha;
    bool mirror;
    Rgb want;
  } cases[] = {
      {"after an opaque coloured mesh", 1, false, {153, 51, 77}},
      {"after a translucent coloured run", 0.5, false, {153, 51, 77}},
      {"in a mirror, after an opaque coloured mesh", 1, true, {26, 51, 204}},
      {"in a mirror, after a translucent coloured run", 0.5, true, {26, 51, 204}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Vec3 glassAt{0, 0, 0}, coloursAt{2.5, 0, -0.5};
    if (c.mirror) {
      overMirror();
      glassAt = {0, 2, 1.5};
      coloursAt = {-2.5, 0, 1};
    } else {
      open(64, 48);
      camera({0, 0, 10}, {0, 0, 0});
      mesh(quadData(1.5), material({1, 0, 0, 1}, true), {0, 0, -1});
    }
    MDL_Lamp* sun = lamp(LAMP_SUN, {0, 0, 5});
    MeshData* coloured = quadData(0.4);
    coloured->colorCount = 4;
    coloured->colors = new ColorRGBA[4];
    for (int i = 0; i < 4; ++i) coloured->colors[i] = {0.4, 0.4, 0.4, c.colourAlpha};
    if (c.colourAlpha < 1) coloured->translucentColorCount = 4;
    mesh(coloured, material({1, 1, 1, 1}), coloursAt);
    Material* glass = material({0.2, 0.4, 0.6, 0.5});
    if (c.mirror) {
      sun->noDiffuse = true;
      sun->ambientColor = {1, 1, 1, 1};
      glass->ambient = {0.2, 0.4, 0.6, 1};
    }
    mesh(quadData(0.5, true), glass, glassAt);
    draw();
    EXPECT_TRUE(near(atWorld(c.mirror ? Vec3(glassAt.x, glassAt.y, -glassAt.z) : glassAt), c.want));
  }
}
