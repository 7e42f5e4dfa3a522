// The real player binary under a private Xvfb server, observed from outside
// as a user sees it: the window, a screenshot, the debug log, keys.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e/player_run.h"
#include "support/test_package.h"

namespace fs = std::filesystem;

namespace {

const char kInitLua[] =
    "io.write('e2e content says hello\\n')\n"
    "function startup()\n"
    "  setBackgroundColor(color(0.2, 0.6, 0.3, 1))\n"
    "  io.write('e2e startup ran\\n')\n"
    "end\n";

}  // namespace

using e2e::PlayerRun;

TEST(Player, ShowsTheWindowRunsTheScriptsAndCtrlQEndsItWithStatusZero) {
  PlayerRun r("window", kInitLua);
  ASSERT_TRUE(r.embedded);
  r.play(
      "xdotool getwindowname $(head -1 wid) >name\n"
      "xwininfo -id $(head -1 wid) >info\n"
      "import -window root shot.png\n"
      "xdotool key --clearmodifiers Escape; sleep 1; xwininfo -id $(head -1 wid) >fullinfo\n"
      "xdotool key --clearmodifiers Escape; sleep 1\n"
      "xdotool key alt+Return; sleep 1; xwininfo -id $(head -1 wid) >altinfo\n"
      "xdotool key alt+Return; sleep 1\n"
      "xdotool key --clearmodifiers ctrl+q");
  EXPECT_EQ(r.file("status"), "0\n");
  EXPECT_EQ(r.file("name"), "Vostrelle\n");
  std::string info = r.file("info");
  EXPECT_NE(info.find("Width: 1024"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 768"), std::string::npos) << info;
  std::string full = r.file("fullinfo");
  EXPECT_NE(full.find("Width: 1280"), std::string::npos) << full;  // Esc: fullscreen
  std::string alt = r.file("altinfo");
  EXPECT_NE(alt.find("Width: 1280"), std::string::npos) << alt;  // Alt+Enter too
  std::string log = r.file("log");
  EXPECT_NE(log.find("e2e content says hello"), std::string::npos) << log;
  EXPECT_NE(log.find("e2e startup ran"), std::string::npos) << log;
  EXPECT_NE(log.find(" loaded in "), std::string::npos) << log;
  // The client area shows the content's background colour.
  int x = 0, y = 0;
  sscanf(info.substr(info.find("Absolute upper-left X:")).c_str(), "Absolute upper-left X: %d", &x);
  sscanf(info.substr(info.find("Absolute upper-left Y:")).c_str(), "Absolute upper-left Y: %d", &y);
  int red = 0, green = 0, blue = 0;
  ASSERT_EQ(sscanf(r.pixel("shot.png", x + 512, y + 384).c_str(), "%d,%d,%d", &red, &green, &blue), 3);
  EXPECT_NEAR(red, 51, 2);
  EXPECT_NEAR(green, 153, 2);
  EXPECT_NEAR(blue, 77, 2);
}

TEST(Player, F10OpensTheMenuAndFileExitEndsIt) {
  PlayerRun r("menu", kInitLua);
  ASSERT_TRUE(r.embedded);
  r.play(
      "xdotool key F10; sleep 1\n"
      "import -window root menu.png\n"
      "xdotool key Down; sleep 0.3; xdotool key Right; sleep 0.3; xdotool key Return");
  EXPECT_EQ(r.file("status"), "0\n");
  // The popup's first item sits at the window's top left, over the content.
  EXPECT_NE(r.pixel("menu.png", 60, 40), "51,153,77");
}

TEST(Player, EnglishFromTheLanguageMenuRestartsTheContent) {
  PlayerRun r("language", kInitLua);
  ASSERT_TRUE(r.embedded);
  r.play(
      "xdotool key F10; sleep 0.5; xdotool key Down Down Right; sleep 0.3\n"
      "xdotool key Down Down Down Down Down Down; sleep 0.3; xdotool key Return; sleep 2\n"
      "xdotool search --class vKorplayer >windows\n"
      "xdotool key --clearmodifiers ctrl+q");
  EXPECT_EQ(r.file("status"), "0\n");
  std::string log = r.file("log");
  size_t first = log.find("e2e startup ran");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("e2e startup ran", first + 1), std::string::npos) << log;  // a second start
  std::string windows = r.file("windows");
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;  // the old one is gone
}

TEST(Player, FramesGoOnBehindTheAboutBoxWhichTheKeyboardCloses) {
  PlayerRun r("about",
              "n = 0\n"
              "function startup()\n"
              "  setCallback(CB_UPDATE, function(dt)\n"
              "    n = n + 1\n"
              "    if n % 5 == 0 then io.write('frames ' .. n .. '\\n') end\n"
              "  end)\n"
              "end\n");
  ASSERT_TRUE(r.embedded);
  // Help, About; then Return presses its OK button and Ctrl+Q reaches the player again.
  r.play(
      "xdotool key F10; sleep 0.5; xdotool key Down Down Down Down Right; sleep 0.3; xdotool key Return\n"
      "sleep 1; grep -c frames log >before; sleep 2; grep -c frames log >after\n"
      "import -window root about.png\n"
      "xdotool key Return; sleep 0.5\n"
      "xdotool key --clearmodifiers ctrl+q");
  EXPECT_EQ(r.file("status"), "0\n");
  int before = atoi(r.file("before").c_str()), after = atoi(r.file("after").c_str());
  EXPECT_GT(before, 0) << r.file("log");
  EXPECT_GT(after, before) << r.file("log");
}
