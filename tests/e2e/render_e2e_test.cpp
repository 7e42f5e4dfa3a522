// A models-set scene with a lamp and a camera, played by the real player:
// the window shows it lit and shadowed at known pixels.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "e2e/player_run.h"
#include "support/models_xml.h"
#include "support/test_geometry.h"

namespace {

using namespace modelsxml;

std::string meshXml(const char* name, const MeshData& d, double half) {
  std::vector<double> vertices, normals;
  for (int32_t i = 0; i < d.vertexCount; ++i)
    for (int k = 0; k < 3; ++k) {
      vertices.push_back(d.vertices[i][k]);
      normals.push_back(d.normals[i][k]);
    }
  std::vector<int32_t> triangles(d.triangles, d.triangles + 3 * d.triangleCount);
  const std::string h = std::to_string(half);
  return std::string("<mesh name=\"") + name + "\"><min>-" + h + " -" + h + " -" + h + "</min><max>" + h + " " + h +
         " " + h + "</max>" + section("vertices", d.vertexCount, 4, hexFloats(vertices)) +
         section("normals", d.vertexCount, 4, hexFloats(normals)) +
         section("triangles", d.triangleCount, 2, hexUint16(triangles)) + "</mesh>";
}

// A white floor lit white by a sun straight above (it receives shadows), a
// blue unlit cube at (2, 0, 1.5), a sun at 45 degrees over +x that casts,
// and a camera 10 above the origin looking down.
std::string sceneXml() {
  std::unique_ptr<MeshData> floor(testgeometry::quadData(3)), cube(testgeometry::cubeData(0.5));
  return "<materials>"
         "<material name=\"white\"><diffuse>1 1 1</diffuse></material>"
         "<material name=\"blue\"><diffuse>0 0 1</diffuse><shadeless>1</shadeless></material>"
         "</materials><meshes>" +
         meshXml("floor", *floor, 3) + meshXml("cube", *cube, 0.5) +
         "</meshes><objects>"
         "<object type=\"Mesh\" name=\"floor\"><mesh>floor</mesh><material>white</material></object>"
         "<object type=\"Mesh\" name=\"cube\"><mesh>cube</mesh><material>blue</material>"
         "<matrix>" +
         translation(2, 0, 1.5) +
         "</matrix></object>"
         "<object type=\"Lamp\" name=\"top\"><type>Sun</type><color>1 1 1</color><matrix>" +
         translation(0, 0, 8) +
         "</matrix></object>"
         "<object type=\"Lamp\" name=\"sun\"><type>Sun</type><color>1 1 1</color><shadows>1</shadows>"
         "<matrix>0.7071067811865476 0 -0.7071067811865476 0 0 1 0 0 0.7071067811865476 0 0.7071067811865476 0 "
         "5 0 5 1</matrix></object>"
         "<object type=\"Camera\" name=\"eye\"><angle>50</angle><clip_start>0.5</clip_start>"
         "<clip_end>60</clip_end><matrix>" +
         translation(0, 0, 10) +
         "</matrix></object>"
         "</objects>\n";
}

const std::string kInitLua = std::string(
    "function startup()\n"
    "  local scene = newScene()\n"
    "  local models = newModelsSet('scene.xml')\n"
    "  newMesh(scene, models:get('floor'))\n"
    "  newMesh(scene, models:get('cube'))\n"
    "  newLamp(scene, models:get('top'))\n"
    "  newLamp(scene, models:get('sun'))\n"
    "  local view = newViewport(0, 0, 1, 0.75)\n"
    "  view:setCamera(newCamera(scene, models:get('eye')))\n"
    "  view:setBackgroundColor(color(0.2, 0.4, 0.6, 1))\n"
    "  view:setShadowRendering(SHADOW_ZPASS)\n"
    "  io.write('scene ready\\n')\n") +
    e2e::kLogFramesLua + "end\n";

}  // namespace

TEST(RenderedScene, LitShadowedAndSeenThroughTheCamera) {
  e2e::PlayerRun r("render", {{"init.lua", kInitLua}, {"scene.xml", sceneXml()}});
  ASSERT_TRUE(r.embedded);
  r.play(e2e::waitForFrames() +
         "import -window $(head -1 wid) shot.png\n"
         "xdotool key --clearmodifiers ctrl+q");
  const std::string log = r.file("log");
  ASSERT_NE(log.find("scene ready"), std::string::npos) << log;
  struct Probe {
    const char* what;
    double x, y;
    int r, g, b;
  };
  // The shadow of the cube falls around (0.5, 0); the cube's top is nearer
  // the camera, so it shows further out than its place on the floor.
  for (const Probe& p :
       {Probe{"floor in the light", -2, 1.5, 255, 255, 255}, Probe{"floor in the shadow", 0.5, 0, 128, 128, 128}}) {
    int x, y;
    e2e::floorPixel(p.x, p.y, &x, &y);
    e2e::expectPixelNear(r, x, y, p.r, p.g, p.b, 2, p.what);
  }
  int red = -1, green = -1, blue = -1;
  sscanf(r.pixel("shot.png", 512 + 275, 384).c_str(), "%d,%d,%d", &red, &green, &blue);
  EXPECT_EQ(blue, 255) << "the cube";
  EXPECT_EQ(red, 0) << "the cube";
  // Beyond the floor: the viewport's own colour.
  sscanf(r.pixel("shot.png", 5, 5).c_str(), "%d,%d,%d", &red, &green, &blue);
  EXPECT_NEAR(red, 51, 2);
  EXPECT_NEAR(green, 102, 2);
  EXPECT_NEAR(blue, 153, 2);
}
