// Writes the seed corpora of the fuzz targets, made with the project's own
// writers: fuzz_seeds DIR makes DIR/<target>/ for every target.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "controller/package_writer.h"
#include "support/models_xml.h"
#include "support/test_media.h"
#include "support/test_package.h"
#include "support/test_video.h"

namespace {

void put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
std::string str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

const char kText[] = "a line of text that deflates, a line of text that deflates.\n";

std::string tag(const char* element, const std::string& inner) {
  return std::string("<") + element + ">" + inner + "</" + element + ">";
}
std::string object(const char* type, const char* name, const std::string& inner) {
  return std::string("<object type=\"") + type + "\" name=\"" + name + "\">" + inner + "</object>";
}

// A models set with a part of every section: a texture holding a real PNG,
// a material, a mesh skinned by two bones through two groups, a track, and
// objects of every kind the loader makes, parented.
std::string skinnedSet() {
  using namespace modelsxml;
  const std::string png = testmedia::makePng(testmedia::PngSpec{});
  const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  auto group = [](const char* name, const std::vector<int32_t>& vertices, const std::vector<double>& weights) {
    return std::string("<animated_mesh name=\"") + name + "\">" +
           section("vertices", static_cast<int>(vertices.size()), 4, hexInt32(vertices)) +
           section("weights", static_cast<int>(weights.size()), 8, hexDoubles(weights)) + "</animated_mesh>";
  };
  return "<textures><texture name=\"skin\" size=\"" + std::to_string(png.size()) + "\" filter=\"mipmap\">" +
         hexBytes(png.data(), png.size()) +
         "</texture></textures>"
         "<materials><material name=\"m\"><diffuse>1 0.5 0</diffuse><alpha>0.5</alpha><texture>skin</texture>"
         "</material></materials>"
         "<meshes><mesh name=\"sq\"><min>0 0 0</min><max>1 1 0</max>" +
         section("vertices", 4, 8, hexDoubles(square)) +
         section("normals", 4, 4, hexFloats({0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1})) +
         section("uvs", 4, 4, hexFloats({0, 0, 1, 0, 1, 1, 0, 1})) +
         section("triangles", 2, 2, hexUint16({0, 1, 2, 0, 2, 3})) +
         "</mesh></meshes>"
         "<animated_meshes>" +
         group("ga", {0, 1, 2}, {1, 0.5, 0.25}) + group("gb", {2, 3}, {0.75, 1}) +
         "</animated_meshes>"
         "<animations><animation name=\"sway\"><keys count=\"3\"><key time=\"0\"><location>0 0 0</location></key>"
         "<key time=\"0.05\"><rotation>0 0 1</rotation><scale>1 2 1</scale></key>"
         "<key time=\"0.1\"><location>1 0 0</location></key></keys></animation></animations>" +
         tag("objects", object("Locator", "root", tag("matrix", translation(0, 0, 2))) +
                            object("Bone", "a",
                                   tag("parent", "root") + tag("matrix", translation(0, 0, 1)) +
                                       tag("original_matrix", translation(0, 0, 0))) +
                            object("Bone", "b",
                                   tag("parent", "a") + tag("matrix", translation(1, 0, 0)) +
                                       tag("original_matrix", translation(1, 0, 0))) +
                            object("AnimatedMesh", "body",
                                   tag("mesh", "sq") + tag("material", "m") +
                                       "<animated_meshes><animated_mesh>ga</animated_mesh><bone>a</bone>"
                                       "<animated_mesh>gb</animated_mesh><bone>b</bone></animated_meshes>") +
                            object("Mesh", "plain", tag("mesh", "sq") + tag("parent", "root")) +
                            object("CollisionVolume", "hull", tag("volume_type", "box") + tag("parent", "plain")) +
                            object("CollisionVolume", "ball", tag("volume_type", "sphere")) +
                            object("Lamp", "sun", tag("type", "Spot") + tag("spot_size", "45")) +
                            object("Camera", "eye", tag("angle", "60") + tag("clip_start", "0.1")));
}

std::string readSource(const char* relative) {
  return testmedia::readFile((std::string(VS_SOURCE_DIR) + "/" + relative).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::map<std::string, std::string> members = {{"init.lua", "print('hi')\n"}, {"a", kText}, {"t", "x\n"}};
  put(root / "package", "deflated", str(testpkg::makePackage(members)));
  put(root / "package", "stored", str(testpkg::makePackage(members, true)));
  for (bool store : {false, true}) {
    ArchiveWriter w;
    w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml), store);
    for (const auto& m : members)
      w.add(m.first, reinterpret_cast<const uint8_t*>(m.second.data()), m.second.size(), store);
    put(root / "members", store ? "stored" : "deflated", str(w.bytes()));
  }
  put(root / "model_xml", "mesh",
      "<mesh name=\"m\"><vertices count=\"3\" size=\"4\">0000000000000000000000000000803f0000000000000000"
      "000000000000803f00000000</vertices><triangles count=\"1\" size=\"4\">000000000100000002000000</triangles>"
      "<colors count=\"3\">ff0000ff00ff00ff0000ff80</colors><uvs count=\"3\" size=\"4\"></uvs></mesh>");
  put(root / "model_xml", "animation",
      "<animation name=\"a\"><keys count=\"2\"><key time=\"0\"><location>1 2 3</location></key>"
      "<key time=\"1\"><rotation>0 0 1</rotation><scale>1 1 1</scale></key></keys></animation>");
  put(root / "model_xml", "group",
      "<animated_mesh name=\"g\"><vertices count=\"2\" size=\"2\">00000100</vertices>"
      "<weights count=\"2\" size=\"4\">0000803f0000003f</weights></animated_mesh>");
  // Script inputs are byte programs: a few walks over the call table.
  std::string program;
  for (int i = 0; i < 64; ++i) program += static_cast<char>(i * 7 + 3);
  put(root / "script", "walk", program);
  put(root / "script", "steps", std::string("\x1f\x01\x15\x1f\x07\x16\x18\x1f", 8));

  put(root / "models_set", "skinned", skinnedSet());
  put(root / "models_set", "scene", readSource("content/demo/scene.xml"));
  put(root / "models_set", "gem", readSource("content/demo/gem.xml"));

  using testmedia::JpegSpec;
  using testmedia::PngSpec;
  const PngSpec pngs[] = {
      {5, 3, 2, 8, false, false}, {7, 5, 3, 8, false, true}, {9, 6, 0, 16, true, false},
      {4, 4, 6, 8, false, false}, {3, 2, 4, 8, true, false}, {6, 2, 0, 1, false, true},
  };
  int n = 0;
  for (const PngSpec& spec : pngs) put(root / "image", "png" + std::to_string(n++), testmedia::makePng(spec));
  const JpegSpec jpegs[] = {
      {8, 8, 3, false, false}, {17, 9, 1, false, false}, {12, 20, 3, true, false}, {16, 16, 3, false, true}};
  n = 0;
  for (const JpegSpec& spec : jpegs) put(root / "image", "jpeg" + std::to_string(n++), testmedia::makeJpeg(spec));

  put(root / "font", "serif", testmedia::readFile(testmedia::kPackageFontPath));

  put(root / "sound", "mono", testmedia::makeOgg(1, 22050, 3000));
  put(root / "sound", "stereo", testmedia::makeOgg(2, 44100, 5000));
  // A chained file whose second link changes the channel count.
  put(root / "sound", "chained", testmedia::makeOgg(1, 8000, 1000) + testmedia::makeOgg(2, 8000, 1000));

  testmedia::TheoraSpec plain;
  plain.frames = 12;
  plain.keyframeShift = 2;
  testmedia::TheoraSpec offset;
  offset.width = 21;
  offset.height = 13;
  offset.picX = 3;
  offset.picY = 2;
  offset.frames = 5;
  offset.fpsNumerator = 30000;
  offset.fpsDenominator = 1001;
  testmedia::TheoraSpec sounding;
  sounding.frames = 8;
  sounding.audioChannels = 2;
  sounding.audioRate = 8000;
  const auto pattern = [](int f, int x, int y) {
    return testmedia::YCbCr{static_cast<uint8_t>(16 + 20 * f + x), static_cast<uint8_t>(100 + y), 140};
  };
  put(root / "video", "plain", testmedia::makeTheora(plain, pattern));
  put(root / "video", "offset", testmedia::makeTheora(offset, pattern));
  put(root / "video", "sounding", testmedia::makeTheora(sounding, pattern));
  return 0;
}
