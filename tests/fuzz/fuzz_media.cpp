#include "fuzz_media.h"

#include <cstdint>

#include "support/models_xml.h"
#include "support/test_media.h"

namespace fuzz {

namespace {

std::string tag(const char* element, const std::string& inner) {
  return std::string("<") + element + ">" + inner + "</" + element + ">";
}
std::string object(const char* type, const char* name, const std::string& inner) {
  return std::string("<object type=\"") + type + "\" name=\"" + name + "\">" + inner + "</object>";
}
std::string material(const char* name, const std::string& inner) {
  return std::string("<material name=\"") + name + "\">" + inner + "</material>";
}

}  // namespace

std::string richModelsSet() {
  using namespace modelsxml;
  const std::string png = testmedia::makePng(testmedia::PngSpec{});
  const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const std::vector<double> floor = {-4, -4, 0, 4, -4, 0, 4, 4, 0, -4, 4, 0};
  const std::vector<double> upNormals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
  // A closed box of half size 0.5: eight corners, twelve outward triangles.
  const std::vector<double> corners = {-.5, -.5, -.5, .5, -.5, -.5, .5, .5, -.5, -.5, .5, -.5,
                                       -.5, -.5, .5,  .5, -.5, .5,  .5, .5, .5,  -.5, .5, .5};
  const std::vector<int32_t> faces = {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                      1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7};
  const uint8_t colours[] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 255, 255, 255, 60,
                             255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  auto group = [](const char* name, const std::vector<int32_t>& vertices, const std::vector<double>& weights) {
    return std::string("<animated_mesh name=\"") + name + "\">" +
           section("vertices", static_cast<int>(vertices.size()), 4, hexInt32(vertices)) +
           section("weights", static_cast<int>(weights.size()), 8, hexDoubles(weights)) + "</animated_mesh>";
  };
  return "<textures><texture name=\"skin\" size=\"" + std::to_string(png.size()) + "\" filter=\"mipmap\">" +
         hexBytes(png.data(), png.size()) + "</texture></textures><materials>" +
         material("m", "<diffuse>1 0.5 0</diffuse><alpha>0.5</alpha><texture>skin</texture>") +
         material("solid", "<diffuse>0.2 0.6 1</diffuse><specular>1 1 1</specular><shininess>20</shininess>") +
         material("glass", "<mirror>1</mirror><diffuse>0.5 0.5 0.5</diffuse>") +
         "</materials><meshes><mesh name=\"sq\"><min>0 0 0</min><max>1 1 0</max>" +
         section("vertices", 4, 8, hexDoubles(square)) + section("normals", 4, 4, hexFloats(upNormals)) +
         section("uvs", 4, 4, hexFloats({0, 0, 1, 0, 1, 1, 0, 1})) +
         section("triangles", 2, 2, hexUint16({0, 1, 2, 0, 2, 3})) +
         "</mesh><mesh name=\"floor\"><min>-4 -4 0</min><max>4 4 0</max>" +
         section("vertices", 4, 8, hexDoubles(floor)) + section("normals", 4, 4, hexFloats(upNormals)) +
         section("triangles", 2, 2, hexUint16({0, 1, 2, 0, 2, 3})) +
         "</mesh><mesh name=\"cube\"><min>-0.5 -0.5 -0.5</min><max>0.5 0.5 0.5</max>" +
         section("vertices", 8, 8, hexDoubles(corners)) + section("colors", 8, 0, hexBytes(colours, sizeof colours)) +
         section("triangles", 12, 4, hexInt32(faces)) + "</mesh></meshes><animated_meshes>" +
         group("ga", {0, 1, 2}, {1, 0.5, 0.25}) + group("gb", {2, 3}, {0.75, 1}) +
         "</animated_meshes>"
         "<animations><animation name=\"sway\"><keys count=\"3\"><key time=\"0\"><location>0 0 0</location></key>"
         "<key time=\"0.05\"><rotation>0 0 1</rotation><scale>1 2 1</scale></key>"
         "<key time=\"0.1\"><location>1 0 0</location></key></keys></animation></animations>" +
         tag("objects",
             object("Locator", "root", tag("matrix", translation(0, 0, 2))) +
                 object("Bone", "a",
                        tag("parent", "root") + tag("matrix", translation(0, 0, 1)) +
                            tag("original_matrix", translation(0, 0, 0)) + "<limit_zrot>-30 30</limit_zrot>") +
                 object("Bone", "b",
                        tag("parent", "a") + tag("matrix", translation(1, 0, 0)) +
                            tag("original_matrix", translation(1, 0, 0))) +
                 object("AnimatedMesh", "body",
                        tag("mesh", "sq") + tag("material", "m") +
                            "<animated_meshes><animated_mesh>ga</animated_mesh><bone>a</bone>"
                            "<animated_mesh>gb</animated_mesh><bone>b</bone></animated_meshes>") +
                 object("Mesh", "plain", tag("mesh", "sq") + tag("parent", "root")) +
                 object("Mesh", "floor", tag("mesh", "floor") + tag("material", "glass")) +
                 object("Mesh", "box", tag("mesh", "cube") + tag("material", "solid") +
                                           tag("matrix", translation(0.5, 0.5, 1))) +
                 object("CollisionVolume", "hull", tag("volume_type", "box") + tag("parent", "box")) +
                 object("CollisionVolume", "ball", tag("volume_type", "sphere")) +
                 object("Lamp", "sun",
                        tag("type", "Spot") + tag("spot_size", "45") + tag("color", "1 1 1") +
                            tag("shadows", "1") + tag("matrix", translation(1, 1, 6))) +
                 object("Lamp", "bulb",
                        tag("type", "Lamp") + tag("color", "0.5 0.5 0.4") + tag("shadows", "1") +
                            tag("distance", "10") + tag("quad1", "1") + tag("matrix", translation(-2, 1, 3))) +
                 object("Camera", "eye",
                        tag("angle", "60") + tag("clip_start", "0.1") + tag("matrix", translation(0, 0, 8))));
}

std::string theora(const testmedia::TheoraSpec& spec) {
  return testmedia::makeTheora(spec, [](int f, int x, int y) {
    return testmedia::YCbCr{static_cast<uint8_t>(16 + 20 * f + x), static_cast<uint8_t>(100 + y), 140};
  });
}

std::string smallVideo(bool sounding) {
  testmedia::TheoraSpec spec;
  spec.width = 21;
  spec.height = 13;
  spec.picX = 3;
  spec.picY = 2;
  spec.frames = 8;
  spec.keyframeShift = 2;
  if (sounding) {
    spec.audioChannels = 2;
    spec.audioRate = 8000;
  }
  return theora(spec);
}

const std::vector<std::pair<std::string, std::string>>& programMedia() {
  static const std::vector<std::pair<std::string, std::string>> media = [] {
    using testmedia::JpegSpec;
    using testmedia::PngSpec;
    std::vector<std::pair<std::string, std::string>> m;
    m.emplace_back("t.png", testmedia::makePng(PngSpec{8, 8, 6, 8, false, false}));
    m.emplace_back("g.png", testmedia::makePng(PngSpec{5, 3, 4, 8, true, false}));
    m.emplace_back("t.jpg", testmedia::makeJpeg(JpegSpec{16, 8, 3, false, false}));
    m.emplace_back("f.ttf", testmedia::readFile(testmedia::kPackageFontPath));
    m.emplace_back("s.ogg", testmedia::makeOgg(1, 22050, 3000));
    m.emplace_back("st.ogg", testmedia::makeOgg(2, 44100, 5000));
    m.emplace_back("v.ogg", smallVideo(true));
    m.emplace_back("q.ogg", smallVideo(false));
    m.emplace_back("set.xml", richModelsSet() + "\n");
    return m;
  }();
  return media;
}

}  // namespace fuzz
