// End to end: content that shows a Theora stream on a floor's material and
// plays its Vorbis track beside the viewport's mike. The screenshot shows the
// picture's colours where the floor is, and SDL's disk driver hears the tone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "e2e/player_run.h"
#include "support/models_xml.h"
#include "support/test_geometry.h"
#include "support/test_video.h"

namespace {

using namespace modelsxml;

// A 6 x 6 floor with texture coordinates over the whole picture, and a
// camera 10 above it looking down.
std::string sceneXml() {
  std::unique_ptr<MeshData> d(testgeometry::quadData(3));
  std::vector<double> vertices, normals;
  for (int32_t i = 0; i < d->vertexCount; ++i)
    for (int k = 0; k < 3; ++k) {
      vertices.push_back(d->vertices[i][k]);
      normals.push_back(d->normals[i][k]);
    }
  const std::vector<double> uvs = {0, 0, 1, 0, 1, 1, 0, 1};
  std::vector<int32_t> triangles(d->triangles, d->triangles + 3 * d->triangleCount);
  return "<materials><material name=\"screen\"><diffuse>1 1 1</diffuse><shadeless>1</shadeless></material>"
         "</materials><meshes><mesh name=\"floor\"><min>-3 -3 0</min><max>3 3 0</max>" +
         section("vertices", d->vertexCount, 4, hexFloats(vertices)) +
         section("normals", d->vertexCount, 4, hexFloats(normals)) + section("uvs", d->vertexCount, 4, hexFloats(uvs)) +
         section("triangles", d->triangleCount, 2, hexUint16(triangles)) +
         "</mesh></meshes><objects>"
         "<object type=\"Mesh\" name=\"floor\"><mesh>floor</mesh><material>screen</material></object>"
         "<object type=\"Camera\" name=\"eye\"><angle>50</angle><clip_start>0.5</clip_start>"
         "<clip_end>60</clip_end><matrix>" +
         translation(0, 0, 10) + "</matrix></object></objects>\n";
}

// Left half red, right half blue (BT.601 studio range), with a 440 Hz tone.
std::string clip() {
  testmedia::TheoraSpec spec;
  spec.width = spec.height = 64;
  spec.frames = 125;
  spec.audioChannels = 1;
  spec.audioRate = 44100;
  return testmedia::makeTheora(spec, [](int, int x, int) {
    return x < 32 ? testmedia::YCbCr{81, 90, 240} : testmedia::YCbCr{41, 240, 110};
  });
}

const std::string kInitLua = R"(
function startup()
  local scene = newScene()
  local models = newModelsSet('scene.xml')
  local floor = newMesh(scene, models:get('floor'))
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(newCamera(scene, models:get('eye')))
  view:setMike(newMike(scene))
  video = newStream('clip.ogg', FILTER_NEAREST_POINT)
  floor:getMaterial():addLayer(video:getTexture())
  newSound(scene, video:getSample())
  io.write('video playing\n')
)" + std::string(e2e::kLogFramesLua) + "end\n";

}  // namespace

TEST(VideoEndToEnd, AStreamOnAMaterialIsSeenAndItsSoundHeard) {
  const std::string video = clip();
  ASSERT_FALSE(video.empty());
  e2e::PlayerRun r("video", {{"init.lua", kInitLua}, {"scene.xml", sceneXml()}, {"clip.ogg", video}});
  ASSERT_TRUE(r.embedded);
  // Two seconds of sound after the start (176400 bytes each), heard at the
  // pace of SDL's disk driver, and a picture once frames have been drawn.
  r.drive(std::string("start_player SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw\n") + e2e::kAwaitWindow +
          "await 20 logged 'video playing'; heard=$(stat -c %s out.raw)\n" + e2e::waitForFrames() +
          "await 30 bigger out.raw $((heard + 2 * 176400))\n"
          "import -window $(head -1 wid) shot.png\n"
          "kill $pid; wait $pid\n");
  const std::string log = r.file("log");
  ASSERT_NE(log.find("video playing"), std::string::npos) << log;

  struct Probe {
    const char* what;
    double x, y;
    int r, g, b;
  };
  for (const Probe& p : {Probe{"left half", -1.5, 1, 255, 0, 0}, Probe{"right half", 1.5, -1, 0, 0, 255}}) {
    int x, y;
    e2e::floorPixel(p.x, p.y, &x, &y);
    e2e::expectPixelNear(r, x, y, p.r, p.g, p.b, 12, p.what);
  }

  // The tone: the loudest tenth of a second is a 440 Hz sine at the mixer's
  // level for a sound on the mike (half on each side of 0.5 amplitude).
  const std::string raw = r.file("out.raw");
  std::vector<int16_t> left(raw.size() / 4);
  for (size_t i = 0; i < left.size(); ++i)
    left[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[4 * i]) | (static_cast<uint8_t>(raw[4 * i + 1]) << 8));
  const size_t window = 4410;
  ASSERT_GT(left.size(), 10 * window);
  double loudest = 0;
  size_t at = 0;
  for (size_t start = 0; start + window <= left.size(); start += window / 2) {
    double sum = 0;
    for (size_t i = start; i < start + window; ++i) sum += double(left[i]) * left[i];
    const double rms = std::sqrt(sum / window);
    if (rms > loudest) {
      loudest = rms;
      at = start;
    }
  }
  const double expected = 0.25 / std::sqrt(2.0) * 32767;
  EXPECT_NEAR(loudest, expected, expected * 0.1);
  int crossings = 0;
  for (size_t i = at + 1; i < at + window; ++i) crossings += (left[i - 1] < 0) != (left[i] < 0);
  EXPECT_NEAR(crossings, 88, 6);
}
