// Whole pictures of small scenes against reference images kept beside this
// file. After a deliberate change of the picture, scripts/update-render-references
// draws them anew.
#include <gmock/gmock.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "model/image_source.h"
#include "model/polyline.h"
#include "support/test_media.h"
#include "tests/view/overlay_scene.h"
#include "tests/view/render_scene.h"

using namespace rendertest;
using ::testing::Gt;

namespace {

const std::string kReferences = std::string(VS_SOURCE_DIR) + "/tests/view/references/";
const std::string kOutput = std::string(VS_BINARY_DIR) + "/render-references/";

// llvmpipe draws the same picture on every run, so each pixel must match its
// reference within a rounding step or two; no number of wrong pixels is let
// pass.
const int kTolerance = 2;

// While references are redrawn: says what changes in this one (and leaves a
// difference image of it), then stores the new picture.
void replaceReference(const std::string& name, const Picture& got) {
  const std::string want = kReferences + name + ".png";
  const std::string diff = kOutput + name + "-changes.png";
  std::error_code error;
  std::filesystem::remove(diff, error);  // from an earlier run
  Picture old;
  if (!readPng(want, &old)) {
    std::printf("%s: new reference (%d x %d)\n", name.c_str(), got.width, got.height);
  } else if (old.width != got.width || old.height != got.height) {
    std::printf("%s: size changes from %d x %d to %d x %d\n", name.c_str(), old.width, old.height, got.width,
                got.height);
  } else {
    const PictureDifference d = comparePictures(old, got, 0);
    if (d.differing == 0) return;  // unchanged: the file stays as it is
    const Picture image = differenceImage(old, got, 0);
    ASSERT_TRUE(writePng(diff, image.width, image.height, image.rgb));
    std::printf("%s: %ld of %d pixels change (by up to %d); difference image %s\n", name.c_str(), d.differing,
                got.width * got.height, d.largest, diff.c_str());
  }
  ASSERT_TRUE(writePng(want, got.width, got.height, got.rgb));
}

// Compares a picture with its reference (or, while references are being
// redrawn, replaces the reference with it when `reference` is set). A
// picture that differs leaves a difference image beside it.
void compareWithReference(const std::string& name, const std::string& suffix, int width, int height,
                          const std::vector<uint8_t>& pixels, bool reference = true) {
  std::error_code error;
  std::filesystem::create_directories(kOutput, error);
  ASSERT_FALSE(error) << kOutput << ": " << error.message();
  const std::string got = kOutput + name + suffix + ".png";
  ASSERT_TRUE(writePng(got, width, height, pixels));
  const std::string want = kReferences + name + ".png";
  const std::string diff = kOutput + name + suffix + "-diff.png";
  std::filesystem::remove(diff, error);  // from an earlier run
  const Picture drawn{width, height, pixels};
  if (std::getenv("VS_UPDATE_REFERENCES")) {
    if (reference) replaceReference(name, drawn);
    return;
  }
  Picture wanted;
  ASSERT_TRUE(readPng(want, &wanted)) << "no reference " << want << ": run scripts/update-render-references";
  ASSERT_EQ(wanted.width, width) << want;
  ASSERT_EQ(wanted.height, height) << want;
  const PictureDifference d = comparePictures(wanted, drawn, kTolerance);
  if (d.differing == 0) return;
  const Picture image = differenceImage(wanted, drawn, kTolerance);
  EXPECT_TRUE(writePng(diff, image.width, image.height, image.rgb));
  ADD_FAILURE() << d.differing << " of " << width * height << " pixels of " << got << " differ from " << want
                << " by more than " << kTolerance << " (by up to " << d.largest << "); see " << diff;
}

class References : public Frame, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {}

  // Draws on the parameter's geometry path and compares with the reference.
  void check(const std::string& name) {
    view->geometryPath = GetParam();
    draw();
    const bool arrays = GetParam() == kGeometryClientArrays;
    compareWithReference(name, arrays ? "-arrays" : "-vbo", width, height, pixels, arrays);
  }
};

class OverlayReferences : public OverlayFrame {};
class ScreenReferences : public ScreenFrame {};

}  // namespace

// The comparison itself, on a made picture: the faults a reference test must
// catch, and the rounding it must let through.
TEST(PictureComparison, CatchesABlotOrADarkeningButNotALevelOfRounding) {
  Picture base{64, 48, {}};
  for (int y = 0; y < base.height; ++y)
    for (int x = 0; x < base.width; ++x)
      for (int c = 0; c < 3; ++c) base.rgb.push_back(uint8_t((x * 4 + y * (c + 1) * 2 + c * 40) % 256));
  using Change = std::function<void(Picture&)>;
  auto eachChannel = [](Picture& p, const std::function<int(int)>& f) {
    for (uint8_t& v : p.rgb) v = uint8_t(std::min(255, std::max(0, f(v))));
  };
  const struct {
    const char* name;
    Change change;
    ::testing::Matcher<long> differing;  // -1: the sizes differ
  } cases[] = {
      {"identical", [](Picture&) {}, 0},
      {"a 7 x 7 black blot",
       [](Picture& p) {
         for (int y = 20; y < 27; ++y)
           for (int x = 30; x < 37; ++x)
             for (int c = 0; c < 3; ++c) p.rgb[(size_t(y) * p.width + x) * 3 + c] = 0;
       },
       49},
      // Every bright enough pixel is off: any one fails the picture.
      {"a uniform 1.8 % darkening",
       [&](Picture& p) { eachChannel(p, [](int v) { return int(std::lround(v * 0.982)); }); }, Gt(1000)},
      {"1.8 % of full scale darker everywhere", [&](Picture& p) { eachChannel(p, [](int v) { return v - 5; }); },
       Gt(2500)},
      {"one level brighter everywhere", [&](Picture& p) { eachChannel(p, [](int v) { return v + 1; }); }, 0},
      {"one level darker everywhere", [&](Picture& p) { eachChannel(p, [](int v) { return v - 1; }); }, 0},
      {"one pixel's blue at the tolerance", [](Picture& p) { p.rgb[3 * 100 + 2] += kTolerance; }, 0},
      {"one pixel's blue a step past it", [](Picture& p) { p.rgb[3 * 100 + 2] += kTolerance + 1; }, 1},
      {"one row fewer",
       [](Picture& p) {
         p.height -= 1;
         p.rgb.resize(size_t(p.width) * p.height * 3);
       },
       -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Picture got = base;
    c.change(got);
    const PictureDifference d = comparePictures(base, got, kTolerance);
    EXPECT_THAT(d.differing, c.differing);
    if (d.differing <= 0) continue;
    // The difference image marks exactly the differing pixels.
    const Picture image = differenceImage(base, got, kTolerance);
    long red = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) red += image.rgb[i + 1] == 0;
    EXPECT_EQ(red, d.differing);
  }
}

TEST_P(References, CubeOnTheGroundUnderAPointLampWithItsShadow) {
  open(128, 96);
  camera({-4, -7, 6}, {0, 0, 0.5});
  viewport.background[0] = 0.1, viewport.background[1] = 0.1, viewport.background[2] = 0.2;
  MDL_Lamp* l = lamp(LAMP_LAMP, {2, -1, 6}, {1, 0.95, 0.9, 1});
  l->shadows = true;
  l->ambientColor = {0.1, 0.1, 0.1, 1};
  mesh(gridData(16, 4), material({0.7, 0.8, 0.7, 1}));
  Material* red = material({0.9, 0.2, 0.1, 1});
  red->specular = {1, 1, 1, 1};
  red->ambient = {0.5, 0.5, 0.5, 1};
  mesh(cubeData(0.75), red, {0, 0, 1});
  check("point-lamp-shadow");
}

TEST_P(References, DepthFailShadowsDarkenedAndAMirrorFloor) {
  open(160, 120);
  camera({0, -9, 6}, {0, 0, 1});
  viewport.background[0] = 0.3, viewport.background[1] = 0.5, viewport.background[2] = 0.8;
  viewport.shadowMode = 0;
  MDL_Lamp* sun = lamp(LAMP_SUN, {});
  lookAt(sun, {3, -2, 6}, {0, 0, 0});
  sun->shadows = true;
  sun->shadowType = SHADOW_3D;
  sun->shadowCoeff = 0.6;
  Material* glass = material({0.6, 0.6, 0.7, 0.4});
  glass->mirror = true;
  mesh(gridData(8, 3), glass);
  mesh(cubeData(0.6), material({0.2, 0.8, 0.3, 1}), {-1, 0.5, 1.2});
  mesh(cubeData(0.4), material({0.9, 0.8, 0.1, 1}, true), {1.4, -0.5, 2});
  check("mirror-depth-fail");
}

TEST_P(References, ColouredLampsSpotAndVertexColours) {
  open(96, 72);
  camera({0, -6, 5}, {0, 0, 0});
  lamp(LAMP_SUN, {0, 0, 5}, {0.3, 0, 0, 1})->noSpecular = true;
  MDL_Lamp* spot = lamp(LAMP_SPOT, {});
  lookAt(spot, {-1, -1, 4}, {0.5, 0.5, 0});
  spot->color = {0.2, 0.4, 1, 1};
  spot->spotSize = 30;
  spot->spotExponent = 5;
  MeshData* d = gridData(12, 3);
  d->colorCount = d->vertexCount;
  d->colors = new ColorRGBA[d->vertexCount];
  for (int32_t i = 0; i < d->vertexCount; ++i)
    d->colors[i] = {0.5 + d->vertices[i].x / 6, 0.5 + d->vertices[i].y / 6, 0.8, 1};
  mesh(d, material({1, 1, 1, 1}));
  MDL_Mesh* sprite = mesh(quadData(0.5), material({1, 1, 1, 1}, true), {2, 1, 1});
  sprite->displayMode = DISPLAY_MODE_SPRITE;
  check("lamps-and-colours");
}

TEST_P(References, TranslucentBoxAndPaneCrossingOverATexturedFloor) {
  open(128, 96);
  camera({-3, -7, 4.5}, {0, 0, 0.8});
  viewport.background[0] = 0.15, viewport.background[1] = 0.15, viewport.background[2] = 0.2;
  lamp(LAMP_SUN, {0, 0, 5}, {0.8, 0.8, 0.75, 1})->ambientColor = {0.2, 0.2, 0.2, 1};
  MDL_Lamp* point = lamp(LAMP_LAMP, {2, -3, 3}, {0.5, 0.5, 0.6, 1});
  point->noSpecular = true;
  // A checkerboard of 8 x 8 cells, mipmapped, twice across the floor.
  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (int i = 0; i < 64 * 64; ++i) {
    const bool light = ((i % 64) / 8 + (i / 64) / 8) % 2 == 0;
    rgb[3 * i] = light ? 220 : 60, rgb[3 * i + 1] = light ? 210 : 70, rgb[3 * i + 2] = light ? 190 : 90;
  }
  std::string file = testmedia::makePng(64, 64, 3, rgb);
  ImageSource checker("checker.png", reinterpret_cast<unsigned char*>(&file[0]), int32_t(file.size()), false);
  checker.filter = 3;
  MeshData* floor = gridData(8, 4);
  floor->uvCount = floor->vertexCount;
  floor->uvs = new double[2 * size_t(floor->vertexCount)];
  for (int32_t i = 0; i < floor->vertexCount; ++i) {
    floor->uvs[2 * i] = (floor->vertices[i].x + 4) / 4;
    floor->uvs[2 * i + 1] = (floor->vertices[i].y + 4) / 4;
  }
  Material* tiles = material({1, 1, 1, 1});
  tiles->addLayer()->image = &checker;
  mesh(floor, tiles);
  // A lit glass box, and a pane standing through it.
  Material* glass = material({0.3, 0.6, 0.9, 0.45});
  glass->specular = {0.6, 0.6, 0.6, 1};
  glass->ambient = {0.4, 0.4, 0.4, 1};
  mesh(cubeData(0.8), glass, {0, 0, 0.9});
  // Upright through the box's middle, wider than the box.
  MDL_Mesh* pane = mesh(quadData(1.3, true), material({0.9, 0.3, 0.2, 0.5}, true), {0, 0, 1.1});
  RigidTransform& t = pane->editLocal();
  t.basis.axis[0] = Vec3(0.8, 0.6, 0);
  t.basis.axis[1] = Vec3(0, 0, 1);
  t.basis.axis[2] = Vec3(0.6, -0.8, 0);
  t.inverseStale = 1;
  check("translucent-over-texture");
  if (view->makeCurrent(dc)) view->flushTextureCache();
}

INSTANTIATE_TEST_SUITE_P(GeometryPaths, References, ::testing::Values(kGeometryClientArrays, kGeometryBufferObjects),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == kGeometryBufferObjects ? "BufferObjects" : "ClientArrays";
                         });

TEST_F(OverlayReferences, TextImageAndPolylinesOverAMesh) {
  open(160, 120);
  viewport.background[0] = 0.85, viewport.background[1] = 0.9, viewport.background[2] = 1;
  camera({0, -6, 4}, {0, 0, 0});
  lookAt(lamp(LAMP_SUN, {}), {2, -4, 5}, {0, 0, 0});
  mesh(cubeData(0.8), material({0.9, 0.5, 0.2, 1}));

  std::vector<uint8_t> checks(8 * 8 * 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool light = (x + y) % 2 == 0;
      uint8_t* p = &checks[(y * 8 + x) * 3];
      p[0] = light ? 240 : 40, p[1] = light ? 200 : 60, p[2] = light ? 60 : 140;
    }
  ImageSource* source = pngSource(8, 8, checks);
  source->filter = 1;
  image(source, {0.72, 0.04, 0.5}, 0.24);

  MDL_Text* title = text("Overlays\tz=1\nsecond line \xC3\xA9", {0.04, 0.08, 1}, 0.06, {1, 1, 1, 1});
  title->backgroundColor = {0.1, 0.2, 0.4, 0.7};

  MDL_Polyline* star = new MDL_Polyline;
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 ? 0.04 : 0.1, a = 3.141592653589793 * i / 5;
    ASSERT_TRUE(star->addPoint({r * std::sin(a), -r * std::cos(a)}));
  }
  placeAt(star, {0.15, 0.55, 0});
  star->filled = true;
  star->fillColor = {1, 0.85, 0.1, 0.8};
  star->thickness = 0.006;
  ASSERT_TRUE(star->ownMaterial());
  star->material->diffuse = {0.5, 0.1, 0.1, 1};
  scene->registerObject(star);

  MDL_Polyline* path = new MDL_Polyline;
  for (const Vec2& p : {Vec2{0, 0}, Vec2{0.15, 0.08}, Vec2{0.3, 0}, Vec2{0.45, 0.1}}) ASSERT_TRUE(path->addPoint(p));
  placeAt(path, {0.45, 0.6, 0});
  path->closed = false;
  path->thickness = 0.012;
  ASSERT_TRUE(path->ownMaterial());
  path->material->diffuse = {0.1, 0.5, 0.2, 0.6};
  scene->registerObject(path);

  draw();
  compareWithReference("overlays", "", width, height, pixels);
}

TEST_F(ScreenReferences, LoadingScreen) {
  openScreen(320, 240);
  controller->loadingScreen.dots = 4;
  controller->loadingScreen.counterTime = 1e300;  // the dots stay as they are
  runFrame();
  compareWithReference("loading-screen", "", width, height, pixels);
}

TEST_F(ScreenReferences, FailureScreenLetterBoxed) {
  openScreen(320, 300);
  controller->contentAspect = 0.75;  // bars above and below
  controller->fail("content error");
  runFrame();
  compareWithReference("failure-screen", "", width, height, pixels);
}
