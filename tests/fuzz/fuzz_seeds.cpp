// Writes the seed corpora of the fuzz targets, made with the project's own
// writers: fuzz_seeds DIR makes DIR/<target>/ for every target.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "controller/package_writer.h"
#include "fuzz_media.h"
#include "support/test_media.h"
#include "support/test_package.h"
#include "support/test_video.h"

namespace {

void put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
std::string str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }
std::string steps(const std::vector<int>& v) { return std::string(v.begin(), v.end()); }

const char kText[] = "a line of text that deflates, a line of text that deflates.\n";

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
  // Packages with and without a config.xml, signed: the opener reads the
  // config of each (accepted, newer, not well-formed, another root, no
  // version). The member reads get the same archives unsigned.
  const std::map<std::string, std::string> configs = {
      {"accepted", testpkg::kConfigXml},
      {"newer", "<trelm>\n  <version major=\"1\" minor=\"7\" patch=\"0\"/>\n</trelm>\n"},
      {"unclosed", "<trelm>\n  <version major=\"1\" minor=\"6\" patch=\"4\">\n</trelm>\n"},
      {"divu", "<divu><version major=\"1\" minor=\"0\" patch=\"9\"/></divu>\n"},
      {"no-version", "<trelm><versions/></trelm>\n"},
  };
  put(root / "package", "deflated", str(testpkg::makePackage(members)));
  put(root / "package", "stored", str(testpkg::makePackage(members, true)));
  for (const auto& config : configs) {
    std::map<std::string, std::string> all = members;
    all["config.xml"] = config.second;
    for (bool store : {false, true}) {
      const std::string name = config.first + (store ? "-stored" : "");
      put(root / "package", name, str(testpkg::makePackage(all, store)));
      ArchiveWriter w;
      for (const auto& m : all) w.add(m.first, reinterpret_cast<const uint8_t*>(m.second.data()), m.second.size(), store);
      put(root / "members", name, str(w.bytes()));
    }
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
  // Program inputs (tests/fuzz/program.lua reads them): walks over the
  // steps, frames, the mouse grabbing and orbiting, keys and the wheel, and
  // calls on every handle the start made.
  std::map<std::string, std::string> programs;
  std::string& walk = programs["walk"];
  for (int i = 0; i < 256; ++i) walk += static_cast<char>(i * 7 + 3);
  const int frame = 0xab;  // a frame of 0.1 s
  programs["frames"] = steps(std::vector<int>(12, frame));
  programs["mouse"] = steps({0,    frame, 0xc4, 0x78, 0x78, frame, 0xc5, 0x78, 0x78, 0xc4, 0x82, 0x70, frame, 0xc6,
                             0x82, 0x70,  0xc7, 0x30, 0x30, 0xc4, 0x50, 0x40, 0xc8, 0x50, 0x40, 0xe8, 0,    frame});
  programs["keys"] = steps({1, 0, frame, 0xd9, 0x20, frame, 0xd8, 0x20, 0xf0, 5, 5, frame, 0xf6, 0xfa, 3, 4, 'a', 'b',
                            'c', 'd', frame});
  std::string& calls = programs["calls"];
  for (int r = 0; r < 28; ++r)
    for (int m = 0; m < 40; m += 7) calls += steps({0, r, m, frame});
  for (const char* target : {"script", "frames"})
    for (const auto& p : programs) put(root / target, p.first, p.second);

  put(root / "models_set", "rich", fuzz::richModelsSet());
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
  put(root / "video", "plain", fuzz::theora(plain));
  put(root / "video", "offset", fuzz::theora(offset));
  put(root / "video", "sounding", fuzz::theora(sounding));
  return 0;
}
