// The example package of docs/example, packed as it stands and played by the
// real player: its picture is not a flat colour but a lit shape of several
// shades and a light text over the background.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "e2e/player_run.h"

namespace {

namespace fs = std::filesystem;

// Every file under docs/example, named as vpack names members.
std::map<std::string, std::string> exampleMembers() {
  const fs::path root = fs::path(VS_SOURCE_DIR) / "docs" / "example";
  std::map<std::string, std::string> members;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) members[fs::relative(e.path(), root).generic_string()] = e2e::slurp(e.path());
  return members;
}

struct Rgb {
  int r, g, b;
  bool operator<(const Rgb& o) const { return r != o.r ? r < o.r : g != o.g ? g < o.g : b < o.b; }
  int distance(const Rgb& o) const { return std::abs(r - o.r) + std::abs(g - o.g) + std::abs(b - o.b); }
  int brightness() const { return r + g + b; }
};

// A screenshot's pixels, read back through ImageMagick as raw RGB.
struct Shot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;

  bool load(const e2e::PlayerRun& run, const char* name) {
    const fs::path png = run.dir / name;
    int status = -1;
    const std::string size = testproc::output({"identify", "-format", "%w %h", png}, {}, &status);
    if (status != 0 || std::sscanf(size.c_str(), "%d %d", &width, &height) != 2) return false;
    const std::string bytes = testproc::output({"convert", png, "-depth", "8", "rgb:-"}, {}, &status);
    if (status != 0) return false;
    rgb.assign(bytes.begin(), bytes.end());
    return width > 0 && height > 0 && rgb.size() == static_cast<size_t>(width) * height * 3;
  }
  Rgb at(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
  }
  // How many pixels of each colour the rectangle holds.
  std::map<Rgb, int> histogram(int x0, int y0, int x1, int y1) const {
    std::map<Rgb, int> counts;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) ++counts[at(x, y)];
    return counts;
  }
};

}  // namespace

TEST(DocsExample, ShowsALitShapeAndATextOverTheBackground) {
  if (!e2e::canDriveX()) GTEST_SKIP() << "no Xvfb or xdotool";
  e2e::PlayerRun r("docs_example", exampleMembers());
  ASSERT_TRUE(r.embedded);
  // The screenshot is taken once the window shows the example's background
  // (0.12, 0.16, 0.24) in its bottom right corner: a frame has been drawn.
  r.play(e2e::waitForLog("example ready") + e2e::kFindWindow +
         "await 20 shows_near $((WIDTH - 3)) $((HEIGHT - 3)) 31,41,61 3\n"
         "xdotool key --clearmodifiers ctrl+q");
  const std::string log = r.file("log");
  ASSERT_NE(log.find("example ready"), std::string::npos) << log;
  Shot shot;
  ASSERT_TRUE(shot.load(r, "shot.png"));
  const int w = shot.width, h = shot.height;
  const Rgb background = shot.at(w - 3, h - 3);

  // Not one flat colour: shading and the text's edges give many.
  EXPECT_GE(shot.histogram(0, 0, w, h).size(), 20u);

  // The middle of the window holds the shape: faces of at least two clearly
  // different shades, each covering a patch, all far from the background.
  std::vector<std::pair<Rgb, int>> faces;
  for (const auto& [colour, count] : shot.histogram(w / 4, h / 4, 3 * w / 4, 3 * h / 4))
    if (colour.distance(background) > 60 && count > w * h / 400) faces.push_back({colour, count});
  ASSERT_GE(faces.size(), 2u) << "faces of the shape";
  int darkest = 3 * 255, brightest = 0;
  for (const auto& face : faces) {
    darkest = std::min(darkest, face.first.brightness());
    brightest = std::max(brightest, face.first.brightness());
  }
  EXPECT_GE(brightest - darkest, 60) << "the faces are lit differently";

  // The top left band holds the white text on the background.
  int light = 0;
  for (const auto& [colour, count] : shot.histogram(0, 0, w / 2, h / 6))
    if (colour.r > 220 && colour.g > 220 && colour.b > 220) light += count;
  EXPECT_GT(light, 200) << "the text's letters";
  EXPECT_LT(light, w * h / 12) << "the text, not a light background";
}
