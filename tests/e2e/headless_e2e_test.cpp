// Failures that must not pass for success: the player with no display, and
// headless play with a player that crashes or will not end when asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_process.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path scratch(const std::string& name) {
  const fs::path dir = fs::path(VS_BINARY_DIR) / ("headless_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

// No display: the player keeps its status of 0 and says why on standard
// error instead of ending in silence.
TEST(Headless, WithoutADisplayThePlayerSaysWhyNoWindowOpens) {
  const fs::path dir = scratch("no_display");
  testproc::Options o;
  o.unset = {"DISPLAY", "WAYLAND_DISPLAY"};
  o.set = {"SDL_AUDIODRIVER=dummy"};
  o.err = dir / "log";
  EXPECT_EQ(testproc::run({std::string(VS_BINARY_DIR) + "/vostrelle"}, o), 0);
  const std::string log = slurp(dir / "log");
  EXPECT_NE(log.find("No window can be opened:"), std::string::npos) << log;
  EXPECT_NE(log.find("(no display: DISPLAY is not set)"), std::string::npos) << log;
  EXPECT_NE(log.find("The main window could not be created"), std::string::npos) << log;
}

// Headless play answers the player's own status: a crash and a player that
// ignores Ctrl+Q fail, and neither prints the success line.
TEST(Headless, PlayFailsWhenThePlayerCrashesOrDoesNotEndWhenAsked) {
  struct Case {
    const char* name;
    const char* script;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"crash", "#!/bin/sh\nkill -SEGV $$\n", 139, "was killed by signal 11 (SEGV)"},
      {"stuck", "#!/bin/sh\ntrap '' INT TERM\nwhile :; do sleep 1; done\n", 4, "did not end when asked (Ctrl+Q)"},
      {"failing", "#!/bin/sh\nexit 3\n", 3, "ended with status 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = scratch(c.name);
    const fs::path player = dir / "player";
    std::ofstream(player) << c.script;
    fs::permissions(player, fs::perms::owner_all);
    testproc::Options o;
    o.unset = {"DISPLAY"};
    o.set = {"PLAY_SECONDS=0", "SHOT=" + (dir / "shot.png").string()};
    o.err = dir / "err";
    int status = 0;
    const std::string out =
        testproc::output({std::string(VS_SOURCE_DIR) + "/scripts/play-window", player.string()}, o, &status);
    const std::string err = slurp(dir / "err");
    EXPECT_EQ(status, c.status) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(out.find("screenshot:"), std::string::npos) << out;
  }
}
