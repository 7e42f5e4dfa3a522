// Content that ends the process itself (os.exit) while the sound output
// mixes on SDL's audio thread: every run ends with the status it asked for,
// never a crash in the middle of the exit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/test_package.h"

namespace fs = std::filesystem;

namespace {

const char kExitingLua[] =
    "local frames = 0\n"
    "function startup() end\n"
    "setCallback(CB_UPDATE, function()\n"
    "  frames = frames + 1\n"
    "  if frames == 3 then os.exit(3) end\n"
    "end)\n";

std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(PlayerExit, OsExitWhileSoundMixesEndsWithItsStatusEveryTime) {
  const fs::path dir = fs::path(VS_BINARY_DIR) / "e2e_os_exit";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::vector<uint8_t> pkg = testpkg::makePackage({{"config.xml", testpkg::kConfigXml}, {"init.lua", kExitingLua}});
  std::ofstream(dir / "test.pkg", std::ios::binary).write((const char*)pkg.data(), (std::streamsize)pkg.size());
  ASSERT_EQ(std::system((std::string(VS_BINARY_DIR) + "/vpack embed " + VS_BINARY_DIR + "/vostrelle " +
                         (dir / "test.pkg").string() + " " + (dir / "player").string())
                            .c_str()),
            0);
  const int runs = 30;
  std::ofstream(dir / "driver.sh") << "cd '" << dir.string() << "'\n"
                                   << "for i in $(seq " << runs << "); do\n"
                                   << "  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=1 "
                                   << "timeout 8 ./player >/dev/null 2>>log; echo $? >>statuses\n"
                                   << "done\n";
  std::system(
      ("cd '" + dir.string() + "' && env -u DISPLAY xvfb-run -a -s '-screen 0 1024x768x24' bash driver.sh").c_str());
  std::string expected;
  for (int i = 0; i < runs; ++i) expected += "3\n";
  EXPECT_EQ(slurp(dir / "statuses"), expected) << slurp(dir / "log").substr(0, 2000);
}
