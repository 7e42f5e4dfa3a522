// Writes the seed corpora of the fuzz targets, made with the project's own
// writers: fuzz_seeds DIR makes DIR/<target>/ for every target.
#include <cstdio>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "controller/package_writer.h"
#include "support/test_package.h"

namespace {

void put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
std::string str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

const char kText[] = "a line of text that deflates, a line of text that deflates.\n";

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
    for (const auto& m : members) w.add(m.first, reinterpret_cast<const uint8_t*>(m.second.data()), m.second.size(), store);
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
  return 0;
}
