// End to end: overlays made by a script show in the real player's window, and
// content that fails shows the failure screen's text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/player_run.h"

namespace {

// The share of white in a rectangle of a screenshot (1 all white, 0 none).
double whiteShare(const e2e::PlayerRun& r, const char* shot, int x, int y, int w, int h) {
  const std::string crop = std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) + "+" + std::to_string(y);
  double share = -1;
  std::sscanf(testproc::output({"convert", r.dir / shot, "-crop", crop, "-colorspace", "gray", "-threshold", "50%",
                                "-format", "%[fx:mean]", "info:"})
                  .c_str(),
              "%lf", &share);
  return share;
}

void expectPixel(const e2e::PlayerRun& r, int x, int y, int red, int green, int blue, const char* what) {
  e2e::expectPixelNear(r, x, y, red, green, blue, 2, what);
}

// A red image square and a text label on green over a white viewport.
const std::string kOverlaysLua = std::string(
                                     "function startup()\n"
                                     "  local scene = newScene()\n"
                                     "  local view = newViewport(0, 0, 1, 0.75)\n"
                                     "  view:setCamera(newCamera(scene))\n"
                                     "  view:setBackgroundColor(color(1, 1, 1, 1))\n"
                                     "  local square = newImage(scene)\n"
                                     "  square:setColor(color(1, 0, 0, 1))\n"
                                     "  square:setScale(v3(0.2, 0.2, 1))\n"
                                     "  square:setPosition(v3(0.1, 0.1, 0))\n"
                                     "  local label = newText(scene)\n"
                                     "  label:setText('Hello')\n"
                                     "  label:setSize(0.05)\n"
                                     "  label:setBackgroundColor(color(0, 1, 0, 1))\n"
                                     "  label:setPosition(v3(0.5, 0.1, 0))\n"
                                     "  io.write('overlays ready')\n") +
                                 e2e::kLogFramesLua + "end\n";

TEST(OverlaysEndToEnd, ScriptTextAndImageShowOverTheViewport) {
  e2e::PlayerRun r("overlays", kOverlaysLua.c_str());
  ASSERT_TRUE(r.embedded);
  r.play(e2e::waitForFrames() +
         "import -window $(head -1 wid) shot.png\n"
         "xdotool key --clearmodifiers ctrl+q");
  ASSERT_NE(r.file("log").find("overlays ready"), std::string::npos) << r.file("log");
  // The square: 0.2 x 1024 pixels from (102.4, 102.4).
  expectPixel(r, 110, 110, 255, 0, 0, "the square's top left");
  expectPixel(r, 300, 300, 255, 0, 0, "the square's bottom right");
  expectPixel(r, 310, 200, 255, 255, 255, "right of the square");
  // The label's box runs from its pen (512, 102.4) on; under the baseline
  // of "Hello" there is only the background.
  expectPixel(r, 514, 108, 0, 255, 0, "the label's background");
  expectPixel(r, 505, 108, 255, 255, 255, "left of the label");
  // The glyphs: black strokes over the green above the baseline.
  EXPECT_LT(whiteShare(r, "shot.png", 512, 70, 120, 32), 0.9);
}

TEST(OverlaysEndToEnd, FailedContentShowsTheFailureText) {
  e2e::PlayerRun r("failure", "function startup() error('broken content') end\n");
  ASSERT_TRUE(r.embedded);
  r.ready = "broken content";
  // The failure screen has no content to log its frames: the driver takes
  // screenshots until one shows white below the text and dark in it.
  r.play(
      "failure_shown() {\n"
      "  shows 512 400 255,255,255 &&\n"
      "    convert shot.png -crop 500x50+5+5 -colorspace gray -threshold 50% -format '%[fx:mean]' info: |\n"
      "      awk '{ exit !($1 < 0.97) }'\n"
      "}\n"
      "await 20 failure_shown\n"
      "xdotool key --clearmodifiers ctrl+q");
  ASSERT_NE(r.file("log").find("broken content"), std::string::npos) << r.file("log");
  // Two lines of black text from (10, 31) at 0.023 x 1024 pixels on white.
  const double text = whiteShare(r, "shot.png", 5, 5, 500, 50);
  EXPECT_GT(text, 0.5);
  EXPECT_LT(text, 0.97);
  EXPECT_EQ(whiteShare(r, "shot.png", 0, 120, 1024, 600), 1.0);
}

}  // namespace
