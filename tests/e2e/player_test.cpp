// The real player binary under a private Xvfb server, observed from outside
// as a user sees it: the window, a screenshot, the debug log, keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/player_run.h"

namespace {

const std::string kInitLua = std::string(
                                 "io.write('e2e content says hello\\n')\n"
                                 "function startup()\n"
                                 "  setBackgroundColor(color(0.2, 0.6, 0.3, 1))\n"
                                 "  io.write('e2e startup ran\\n')\n") +
                             e2e::kLogFramesLua + "end\n";

}  // namespace

using e2e::PlayerRun;

TEST(Player, ShowsTheWindowRunsTheScriptsAndCtrlQEndsItWithStatusZero) {
  PlayerRun r("window", kInitLua.c_str());
  ASSERT_TRUE(r.embedded);
  // Esc and Alt+Enter each go to full screen and back; every change is
  // awaited, and its geometry kept while full.
  r.play(e2e::waitForFrames() +
         "xdotool getwindowname $(head -1 wid) >name\n"
         "xwininfo -id $(head -1 wid) >info\n"
         "import -window root shot.png\n"
         "xdotool key --clearmodifiers Escape; await 20 width_is 1280; cp geometry fullinfo\n"
         "xdotool key --clearmodifiers Escape; await 20 width_is 1024\n"
         "xdotool key alt+Return; await 20 width_is 1280; cp geometry altinfo\n"
         "xdotool key alt+Return; await 20 width_is 1024\n"
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
  PlayerRun r("menu", kInitLua.c_str());
  ASSERT_TRUE(r.embedded);
  r.play(e2e::waitForFrames() +
         "xdotool key F10; await 20 popups 1\n"
         "import -window root menu.png\n"
         "xdotool key Down Right; await 20 popups 2\n"
         "xdotool key Return");
  EXPECT_EQ(r.file("status"), "0\n");
  // The popup's first item sits at the window's top left, over the content.
  EXPECT_NE(r.pixel("menu.png", 60, 40), "51,153,77");
}

TEST(Player, EnglishFromTheLanguageMenuRestartsTheContent) {
  PlayerRun r("language", kInitLua.c_str());
  ASSERT_TRUE(r.embedded);
  r.play(e2e::waitForFrames() +
         "xdotool key F10; await 20 popups 1\n"
         "xdotool key Down Down Right; await 20 popups 2\n"
         "xdotool key Down Down Down Down Down Down Return\n"
         "await 20 logged ' loaded in ' 2\n"
         "await 20 sh -c '[ $(xdotool search --class vKorplayer 2>/dev/null | wc -l) -eq 1 ]'\n"
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
  // Help, About; frames are counted while the box is up, then Return
  // presses its OK button and Ctrl+Q reaches the player again.
  r.play(
      "await 20 logged frames\n"
      "xdotool key F10; await 20 popups 1\n"
      "xdotool key Down Down Down Down Right; await 20 popups 2\n"
      "xdotool key Return; await 20 focus_named 'About Vostrelle'\n"
      "grep -c frames log >before; await 20 logged frames $(($(cat before) + 2)); grep -c frames log >after\n"
      "import -window root about.png\n"
      "xdotool key Return; await 20 no_window_named 'About Vostrelle'\n"
      "xdotool key --clearmodifiers ctrl+q");
  EXPECT_EQ(r.file("status"), "0\n");
  int before = atoi(r.file("before").c_str()), after = atoi(r.file("after").c_str());
  EXPECT_GT(before, 0) << r.file("log");
  EXPECT_GT(after, before) << r.file("log");
}

TEST(Player, WithoutOpenGLTheContentRunsAndTheLogSaysWhyNothingIsDrawn) {
  PlayerRun r("no_opengl", kInitLua.c_str());
  ASSERT_TRUE(r.embedded);
  r.serverOptions = {"-extension", "GLX"};
  r.play(e2e::waitForFrames() + "xdotool key --clearmodifiers ctrl+q");
  EXPECT_EQ(r.file("status"), "0\n");
  const std::string log = r.file("log");
  EXPECT_NE(log.find("CreateWindowEx: no OpenGL visual for the window: "), std::string::npos) << log;
  EXPECT_NE(log.find("OpenGL: no rendering context for the window, so nothing is drawn (the driver refused one)."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("e2e frame 3"), std::string::npos) << log;
}
