// The real player binary carrying a test package, run under a private Xvfb
// server and observed from outside: its files, its exit status, screenshots.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/test_package.h"

namespace e2e {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file of the demo's content, to build test packages from.
inline std::string demoFile(const std::string& name) { return slurp(fs::path(VS_SOURCE_DIR) / "content/demo" / name); }

// Whether a private X server can be started and driven with xdotool.
inline bool canDriveX() { return run("command -v xdotool >/dev/null && command -v xvfb-run >/dev/null") == 0; }

// Driver lines that wait, up to about ten seconds, until the log holds text.
inline std::string waitForLog(const std::string& text) {
  return "for i in $(seq 50); do grep -q '" + text + "' log && break; sleep 0.2; done\n";
}

// Driver lines that wait, up to about twenty seconds, for the player's window
// and write its id to "wid". A search that meets a window going away dies of
// an X error, so it is simply tried again.
inline const char kAwaitWindow[] =
    "for i in $(seq 100); do xdotool search --class vKorplayer >wid 2>/dev/null && [ -s wid ] && break; "
    "sleep 0.2; done\n"
    "[ -s wid ] || exit 1\n";

// Driver lines that find the player's window: $w, with $WIDTH and $HEIGHT.
// The content takes the window's shape at the start, so a full-width
// viewport of aspect 0.75 maps window pixel (px, py) to (px, py) / WIDTH.
inline const char kFindWindow[] =
    "w=$(xdotool search --pid $pid | tail -1); eval $(xdotool getwindowgeometry --shell $w)\n";

// A player carrying the test package, and a folder for what the run leaves.
struct PlayerRun {
  explicit PlayerRun(const std::string& name, const char* initLua)
      : PlayerRun(name, std::map<std::string, std::string>{{"init.lua", initLua}}) {}
  // A package of these members and an accepted config.xml.
  PlayerRun(const std::string& name, std::map<std::string, std::string> members)
      : dir(fs::path(VS_BINARY_DIR) / ("e2e_" + name)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    members.emplace("config.xml", testpkg::kConfigXml);
    std::vector<uint8_t> pkg = testpkg::makePackage(members);
    std::ofstream(dir / "test.pkg", std::ios::binary).write((const char*)pkg.data(), (std::streamsize)pkg.size());
    embedded = run(std::string(VS_BINARY_DIR) + "/vpack embed " + VS_BINARY_DIR + "/vostrelle " +
                   (dir / "test.pkg").string() + " " + (dir / "player").string()) == 0;
  }
  // Runs the player under its own X server with the driver's commands after
  // the window shows up; the player's exit status lands in "status".
  void play(const std::string& driver) {
    std::ofstream(dir / "driver.sh") << "cd '" << dir.string() << "'\n"
                                     << "SDL_AUDIODRIVER=dummy ./player >out 2>log & pid=$!\n"
                                     << kAwaitWindow << "sleep 1.5\n"
                                     << driver << "\n"
                                     << "for i in $(seq 150); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
                                     << "kill $pid 2>/dev/null\n"
                                     << "wait $pid; echo $? >status\n";
    run("cd '" + dir.string() + "' && env -u DISPLAY xvfb-run -a -s '-screen 0 1280x1024x24' bash driver.sh");
  }
  std::string file(const char* name) const { return slurp(dir / name); }
  // The colour of one screenshot pixel as "r,g,b".
  std::string pixel(const char* shot, int x, int y) const {
    std::string out = (dir / "pixel").string();
    run("convert '" + (dir / shot).string() +
        "' -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' " + "-crop 1x1+" + std::to_string(x) +
        "+" + std::to_string(y) + " info: >'" + out + "'");
    return slurp(out);
  }
  fs::path dir;
  bool embedded = false;
};

// Expects one screenshot pixel within `tolerance` of a colour on each channel.
inline void expectPixelNear(const PlayerRun& r, int x, int y, int red, int green, int blue, int tolerance,
                            const char* what) {
  int got[3] = {-1, -1, -1};
  std::sscanf(r.pixel("shot.png", x, y).c_str(), "%d,%d,%d", &got[0], &got[1], &got[2]);
  EXPECT_NEAR(got[0], red, tolerance) << what;
  EXPECT_NEAR(got[1], green, tolerance) << what;
  EXPECT_NEAR(got[2], blue, tolerance) << what;
}

// Where a point of the floor z = 0 shows in the 1024 x 768 window, seen by a
// camera of 50 degrees standing 10 above the origin and looking down.
inline void floorPixel(double x, double y, int* px, int* py) {
  const double perUnit = 512 / (10 * std::tan(25 * 3.141592653589793 / 180));
  *px = static_cast<int>(512 + x * perUnit);
  *py = static_cast<int>(384 - y * perUnit);
}

}  // namespace e2e
