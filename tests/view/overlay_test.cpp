// The 2-D overlays of a scene drawn over its viewport: texts glyph by glyph
// where FreeType puts them, images upright on whole pixels, polylines filled
// and outlined, in the scene's order.
#include <GL/glew.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/font_library.h"
#include "model/font_record.h"
#include "model/image.h"
#include "model/image_source.h"
#include "model/polyline.h"
#include "model/text.h"
#include "platform/testing.h"
#include "tests/view/overlay_scene.h"
#include "view/pixel_image.h"

using namespace rendertest;

namespace {

class Overlays : public OverlayFrame {
 protected:
  // Pixels between two glyphs at the face's current size.
  double kerning(uint32_t left, uint32_t right) {
    FT_Vector delta{0, 0};
    EXPECT_EQ(
        FT_Get_Kerning(face, FT_Get_Char_Index(face, left), FT_Get_Char_Index(face, right), FT_KERNING_DEFAULT, &delta),
        0);
    return delta.x / 64.0;
  }
};

TEST_F(Overlays, ImageIsUprightWithItsTopLeftCornerOnAWholePixel) {
  open(128, 96);
  // Top row red, green; bottom row blue, yellow.
  ImageSource* source = pngSource(2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0});
  source->filter = 1;  // nearest: each texel a clean quadrant
  MDL_Image* picture = image(source, {0.1 + 0.3 / 128, 0.2 + 0.2 / 128, 0}, 0.5);
  draw();
  EXPECT_EQ(picture->getAspectRatio(), 1.0);
  const int x0 = 13, y0 = 26;  // floor(12.8 + 0.3 + 0.5), floor(25.6 + 0.2 + 0.5)
  EXPECT_EQ(at(x0, y0), (Rgb{255, 0, 0}));
  EXPECT_EQ(at(x0 + 63, y0), (Rgb{0, 255, 0}));
  EXPECT_EQ(at(x0, y0 + 63), (Rgb{0, 0, 255}));
  EXPECT_EQ(at(x0 + 63, y0 + 63), (Rgb{255, 255, 0}));
  for (const auto& outside : {std::pair<int, int>{x0 - 1, y0}, {x0, y0 - 1}, {x0 + 64, y0}, {x0, y0 + 64}})
    EXPECT_EQ(at(outside.first, outside.second), kWhite) << outside.first << ", " << outside.second;
}

TEST_F(Overlays, ImageIsAsHighAsItsPictureIsForItsWidth) {
  open(128, 96);
  // 4 x 2: half as high as wide; scaled to 64 pixels wide it is 32 high.
  std::vector<uint8_t> blue(4 * 2 * 3, 0);
  for (size_t i = 2; i < blue.size(); i += 3) blue[i] = 255;
  image(pngSource(4, 2, blue), {0, 0, 0}, 0.5);
  draw();
  EXPECT_EQ(at(10, 31), (Rgb{0, 0, 255}));
  EXPECT_EQ(at(10, 32), kWhite);
  EXPECT_EQ(at(63, 10), (Rgb{0, 0, 255}));
  EXPECT_EQ(at(64, 10), kWhite);
}

// Each case places glyphs at pen positions worked out here from the face's
// own metrics; the whole frame must match.
TEST_F(Overlays, GlyphsLandWhereTheFaceSaysPerLineAndTabStop) {
  open(256, 96);
  const double w = 256, size = 0.1, ox = 6.4, oy = 40;
  MDL_Text* t = text("F", {ox / w, oy / w, 0}, size, {1, 0, 0, 1});
  draw();
  ASSERT_EQ(font->currentSize, size * w);
  const double lineStep = 64.0 / 72.0 * face->height / face->units_per_EM * size * w;
  const double tab = 8 * advance(' ');
  const double f = advance('F');
  ASSERT_LT(f, tab);
  ASSERT_TRUE(FT_HAS_KERNING(face));
  ASSERT_NE(kerning('F', '.'), 0);

  struct Case {
    const char* what;
    const char* text;
    std::vector<Placed> glyphs;
  };
  const Case cases[] = {
      {"one glyph", "F", {{'F', ox, oy}}},
      {"two lines", "F\nF", {{'F', ox, oy}, {'F', ox, oy + lineStep}}},
      {"tab from the line start", "\tF", {{'F', ox + tab, oy}}},
      {"tab on a stop moves a whole tab", "\t\tF", {{'F', ox + 2 * tab, oy}}},
      {"tab after a glyph", "F\tF", {{'F', ox, oy}, {'F', ox + tab, oy}}},
      {"line start after a tab", "\t\nF", {{'F', ox, oy + lineStep}}},
      {"cut sequence dropped", "F\xE2\x96", {{'F', ox, oy}}},
      {"cut lead byte dropped", "F\xF0", {{'F', ox, oy}}},
      {"too large a value is U+FFFD", "\xFE\x80\x80\x80\x80\x80", {{0xFFFD, ox, oy}}},
      {"two-byte sequence", "\xC3\xA9", {{0xE9, ox, oy}}},
      {"a space moves the pen", " F", {{'F', ox + advance(' '), oy}}},
      {"advance and kerning", "F.", {{'F', ox, oy}, {'.', ox + f + kerning('F', '.'), oy}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(t->setText(c.text));
    draw();
    expectFrame(expectedGlyphs(c.glyphs, {255, 0, 0}));
  }
}

namespace {

// Ink columns and rows of the last frame: the bounding box of every pixel
// that is not white.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

}  // namespace

// A text turned about the screen's vertical axis keeps the pixel size of its
// X axis's full length: its glyphs are as tall as unturned ones and only
// squeezed across, and a tab still lands on its stop along the squeezed line.
TEST_F(Overlays, TextTurnedOutOfTheScreenKeepsItsPixelSizeAndTabStops) {
  open(256, 96);
  const double w = 256, size = 0.1, ox = 20, oy = 60;
  MDL_Text* t = text("F", {ox / w, oy / w, 0}, size, {0, 0, 0, 1});
  const auto ink = [this](int x0, int x1) {
    Ink box;
    for (int y = 0; y < height; ++y)
      for (int x = x0; x < x1; ++x) {
        if (at(x, y) == kWhite) continue;
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
    return box;
  };
  draw();
  const Ink flatF = ink(0, width);
  ASSERT_GT(flatF.bottom - flatF.top, 8);

  // 60 degrees about Y: the X axis keeps unit length, half of it on screen.
  Matrix3::fromAngles(t->editWorld().basis, 0, M_PI / 3, 0);
  t->editWorld().inverseStale = 1;
  draw();
  EXPECT_DOUBLE_EQ(font->currentSize, size * w);
  const Ink turnedF = ink(0, width);
  EXPECT_EQ(turnedF.bottom - turnedF.top, flatF.bottom - flatF.top);
  EXPECT_NEAR(turnedF.right - turnedF.left, 0.5 * (flatF.right - flatF.left), 1.0);

  const double tab = 8 * advance(' ');
  ASSERT_LT(advance('F'), tab);
  ASSERT_TRUE(t->setText("F\tF"));
  draw();
  const int split = int(ox + 0.25 * tab);  // between the two glyphs on screen
  const Ink first = ink(0, split), second = ink(split, width);
  EXPECT_NEAR(second.left - first.left, 0.5 * tab, 1.0);
}

TEST_F(Overlays, TabsWithoutATabSizeLeaveThePen) {
  open(256, 96);
  MDL_Text* t = text("F\tF", {0.05, 0.2, 0}, 0.1, {0, 0, 0, 1});
  for (int32_t tabSize : {0, -2}) {
    t->tabSize = tabSize;
    draw();
    const double x = 0.05 * 256, y = 0.2 * 256;
    expectFrame(expectedGlyphs({{'F', x, y}, {'F', x + advance('F'), y}}, {0, 0, 0}));
  }
}

TEST_F(Overlays, TextBackgroundCoversItsBoxBlendedUnlessOpaque) {
  open(128, 96);
  MDL_Text* t = text("Fg", {0.2, 0.3, 0}, 0.15, {0, 0, 0, 0});  // invisible glyphs
  struct Case {
    double alpha;
    Rgb inside;
  };
  for (const Case& c : {Case{1, {0, 0, 255}}, Case{0.5, {127, 127, 255}}, Case{0, kWhite}}) {
    SCOPED_TRACE(c.alpha);
    t->backgroundColor = {0, 0, 1, c.alpha};
    draw();
    t->computeExtent();
    const int left = int(std::ceil((0.2 + t->extentMinX) * 128)), right = int((0.2 + t->extentMaxX) * 128) - 1;
    const int top = int(std::ceil((0.3 + t->extentMinY) * 128)), bottom = int((0.3 + t->extentMaxY) * 128) - 1;
    ASSERT_LT(left + 4, right);
    ASSERT_LT(top + 4, bottom);
    for (int y : {top, bottom})
      for (int x : {left, right}) EXPECT_TRUE(near(at(x, y), c.inside)) << x << ", " << y;
    EXPECT_EQ(at(left - 2, top), kWhite);
    EXPECT_EQ(at(left, top - 2), kWhite);
    EXPECT_EQ(at(right + 2, bottom), kWhite);
    EXPECT_EQ(at(right, bottom + 2), kWhite);
  }
}

TEST_F(Overlays, PolylineFillAndOutlineInTheirColoursFollowingTheObject) {
  open(128, 96);
  MDL_Polyline* line = new MDL_Polyline;
  for (const Vec2& p : {Vec2{0, 0}, Vec2{0.25, 0}, Vec2{0.25, 0.25}, Vec2{0, 0.25}}) ASSERT_TRUE(line->addPoint(p));
  placeAt(line, {0.25, 0.125, 0});
  line->filled = true;
  line->fillColor = {0, 1, 0, 1};
  line->outlined = false;
  scene->registerObject(line);
  draw();
  // The square spans 32 to 64 across and 16 to 48 down.
  EXPECT_EQ(at(33, 17), (Rgb{0, 255, 0}));
  EXPECT_EQ(at(62, 46), (Rgb{0, 255, 0}));
  EXPECT_EQ(at(30, 30), kWhite);
  EXPECT_EQ(at(66, 30), kWhite);
  EXPECT_EQ(at(48, 14), kWhite);
  EXPECT_EQ(at(48, 50), kWhite);

  // A translucent fill blends; the outline is drawn over it in its
  // material's colour, as thick as asked (0.02 x 128 pixels each side).
  line->fillColor = {0, 1, 0, 0.5};
  line->outlined = true;
  line->thickness = 0.02;
  ASSERT_TRUE(line->ownMaterial());
  line->material->diffuse = {1, 0, 0, 1};
  draw();
  EXPECT_TRUE(near(at(48, 32), {127, 255, 127}));
  for (const auto& edge : {std::pair<int, int>{32, 32}, {64, 32}, {48, 16}, {48, 48}, {30, 32}, {33, 32}})
    EXPECT_EQ(at(edge.first, edge.second), (Rgb{255, 0, 0})) << edge.first << ", " << edge.second;
  EXPECT_EQ(at(28, 32), kWhite);
  EXPECT_EQ(at(37, 32), (Rgb{127, 255, 127}));
}

TEST_F(Overlays, APolylineOfOnePointIsADotOfItsHalfWidth) {
  // At (64, 48) with a half-width of 0.05 x 128 = 6.4 pixels.
  open(128, 96);
  MDL_Polyline* dot = new MDL_Polyline;
  ASSERT_TRUE(dot->addPoint({0, 0}));
  placeAt(dot, {0.5, 0.375, 0});
  dot->thickness = 0.05;
  ASSERT_TRUE(dot->ownMaterial());
  dot->material->diffuse = {0, 0, 1, 1};
  scene->registerObject(dot);
  draw();
  for (const auto& p : {std::pair<int, int>{64, 48}, {59, 48}, {69, 48}, {64, 43}, {64, 53}, {61, 45}})
    EXPECT_EQ(at(p.first, p.second), (Rgb{0, 0, 255})) << p.first << ", " << p.second;
  for (const auto& p : {std::pair<int, int>{56, 48}, {72, 48}, {64, 40}, {64, 56}, {58, 42}})
    EXPECT_EQ(at(p.first, p.second), kWhite) << p.first << ", " << p.second;
}

TEST_F(Overlays, HigherZCoversAndOfEqualZTheLaterInTheListCovers) {
  open(64, 48);
  MDL_Image* red = image(nullptr, {0, 0, 0}, 0.5);
  MDL_Image* blue = image(nullptr, {0.25, 0.25, 0}, 0.5);
  colour(red, {1, 0, 0, 1});
  colour(blue, {0, 0, 1, 1});
  const int overlap[2] = {24, 24};  // inside both 32-pixel squares
  struct Case {
    double redZ, blueZ;
  };
  for (const Case& c : {Case{1, 0}, Case{0, 1}, Case{2, 2}}) {
    SCOPED_TRACE(testing::Message() << c.redZ << " " << c.blueZ);
    red->editWorld().position.z = c.redZ;
    blue->editWorld().position.z = c.blueZ;
    draw();
    // After the viewport's sort the list runs up in z; the last one covering
    // the point is seen.
    ASSERT_EQ(scene->overlays.count, 2);
    MDL_Object* top = scene->overlays[1];
    EXPECT_LE(scene->overlays[0]->getWorld().position.z, top->getWorld().position.z);
    if (c.redZ != c.blueZ) {
      EXPECT_EQ(top, c.redZ > c.blueZ ? static_cast<MDL_Object*>(red) : blue);
    }
    const Rgb want = top == red ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
    EXPECT_EQ(at(overlap[0], overlap[1]), want);
  }
}

TEST_F(Overlays, OverlaysOfOneZStackInTheOrderTheyWereMadeEveryFrame) {
  open(64, 48);
  // Seven squares at z = 0, each 4 pixels right of the one before and of
  // its own colour: in each 4-pixel strip the last square over it shows.
  std::vector<Rgb> colours;
  for (int i = 0; i < 7; ++i) {
    const ColorRGBA c{i / 6.0, 1 - i / 6.0, (i % 2) * 1.0, 1};
    colour(image(nullptr, {0.0625 * i, 0.1, 0}, 0.5), c);
    colours.push_back({int(std::lround(c.r * 255)), int(std::lround(c.g * 255)), int(std::lround(c.b * 255))});
  }
  for (int frame = 0; frame < 4; ++frame) {
    draw();
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(near(at(4 * i + 2, 20), colours[i])) << "frame " << frame << ", square " << i;
  }
}

TEST_F(Overlays, InvisibleObjectsAreSkipped) {
  open(64, 48);
  MDL_Image* red = image(nullptr, {0, 0, 0}, 0.5);
  colour(red, {1, 0, 0, 1});
  MDL_Text* t = text("F", {0.5, 0.4, 0}, 0.3, {0, 0, 0, 1});
  t->backgroundColor = {0, 1, 0, 1};
  red->state &= ~uint32_t(STATE_VISIBLE);
  t->state &= ~uint32_t(STATE_VISIBLE);
  draw();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(at(x, y), kWhite) << x << ", " << y;
  red->state |= STATE_VISIBLE;
  draw();
  EXPECT_EQ(at(5, 5), (Rgb{255, 0, 0}));
}

TEST_F(Overlays, GlyphsAreCachedPerPixelSize) {
  open(128, 96);
  MDL_Text* t = text("AbcA", {0.1, 0.3, 0}, 0.1, {0, 0, 0, 1});
  draw();
  EXPECT_EQ(view->glyphTextures.count(), 3);
  const std::vector<uint8_t> first = pixels;
  draw();
  EXPECT_EQ(view->glyphTextures.count(), 3);
  EXPECT_EQ(pixels, first);
  // A new size (as after a change of viewport width) renders them anew.
  t->size = 0.2;
  draw();
  EXPECT_EQ(font->currentSize, 0.2 * 128);
  EXPECT_EQ(view->glyphTextures.count(), 6);
  // A text without a font draws nothing.
  t->size = 0.1;
  t->font = nullptr;
  draw();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(at(x, y), kWhite) << x << ", " << y;
}

// A text far longer than the screen: lines above and below it are passed
// over without laying out their glyphs, what shows is drawn glyph for glyph,
// and the quads held at once stay within the batch's bound however long the
// text is.
TEST_F(Overlays, LongTextDrawsWhatShowsWithinTheBatchBound) {
  open(256, 96);
  const double w = 256, size = 0.05, ox = -50, oy = -100;
  const int lines = 2000, perLine = 100;
  const double lineStep = 64.0 / 72.0 * face->height / face->units_per_EM * size * w;
  // Lines three steps or more off the screen hold only Qs.
  const auto near = [&](int l) { return oy + l * lineStep > -3 * lineStep && oy + l * lineStep < 96 + 3 * lineStep; };
  std::string s;
  for (int l = 0; l < lines; ++l) s += std::string(perLine, near(l) ? 'H' : 'Q') + "\n";
  view->glyphBatch.maxQuads = 16;  // far fewer than show: drawn in many batches
  text(s.c_str(), {ox / w, oy / w, 0}, size, {0, 0, 1, 1});
  draw();
  ASSERT_EQ(font->currentSize, size * w);
  EXPECT_EQ(view->glyphBatch.capacity(), 16u);
  EXPECT_EQ(view->glyphTextures.count(), 1);  // no Q was laid out

  const double h = advance('H'), kern = kerning('H', 'H');
  std::vector<Placed> shown;
  for (int l = 0; l < lines; ++l) {
    const double y = oy + l * lineStep;
    if (!near(l)) continue;
    double x = ox;
    for (int i = 0; i < perLine; ++i) {
      if (i > 0) x = x + h + kern;
      if (x > -30 && x < 256 + 30) shown.push_back({'H', x, y});
    }
  }
  ASSERT_GT(shown.size(), 100u);
  expectFrame(expectedGlyphs(shown, {0, 0, 255}));
}

// A text whose batch cannot be had is left out of the frame with a line in
// the log; the next frame that can have it draws the text.
TEST_F(Overlays, TextWithoutRoomForItsGlyphsIsLeftOutWithALogLine) {
  open(128, 96);
  text("HH", {0.1, 0.4, 0}, 0.2, {0, 0, 0, 1});
  view->glyphBatch.maxQuads = size_t(-1) / 2;  // more than any vector holds
  vsplat::DebugCapture log;
  draw();
  EXPECT_NE(log.text().find("Not enough memory to draw a text"), std::string::npos) << log.text();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(at(x, y), kWhite) << x << ", " << y;
  view->glyphBatch.maxQuads = GlyphBatch::kMaxQuads;
  log.clear();
  draw();
  EXPECT_EQ(log.text(), "");
  int inked = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) inked += !(at(x, y) == kWhite);
  EXPECT_GT(inked, 20);
}

// Glyphs are kept per size, and a size that is no longer drawn is let go: a
// text whose size changes every frame holds only the glyphs of its latest
// sizes, while one drawn every frame at one size keeps its glyphs, rendered
// once. The picture is the one a fresh cache gives.
TEST_F(Overlays, GlyphsOfSizesNotDrawnForAWhileAreDropped) {
  open(128, 96);
  text("F", {0.05, 0.2, 0}, 0.1, {0, 0, 0, 1});
  MDL_Text* changing = text("Abc", {0.05, 0.6, 0}, 0.05, {0, 0, 0, 1});
  const auto textureOfF = [this] {
    GLuint name = 0;
    view->glyphTextures.forEach([&](const GlyphKey& key, const GlyphTexture& g) {
      if (key.code == 'F') name = g.texture;
    });
    return name;
  };
  draw();
  const GLuint f = textureOfF();
  ASSERT_NE(f, 0u);
  const int frames = 1000;  // three per draw
  int most = 0;
  for (int i = 1; i <= frames / 3; ++i) {
    changing->size = 0.05 + 0.0002 * i;
    draw();
    most = std::max(most, view->glyphTextures.count());
    ASSERT_EQ(textureOfF(), f) << i;
  }
  // F and the three glyphs of each size drawn in the last two rounds of
  // 64 frames, against a thousand glyphs without letting go.
  EXPECT_LE(most, 1 + 3 * int(2 * VIEW_OpenGL::kGlyphKeepFrames / 3 + 1));
  EXPECT_LE(view->kerningPairs.count(), 2 * int(2 * VIEW_OpenGL::kGlyphKeepFrames / 3 + 1));
  const std::vector<uint8_t> kept = pixels;
  view->resetGlyphTextureCache();
  draw();
  EXPECT_EQ(pixels, kept);
}

// Sizes from content are bounded before FreeType renders anything: a huge
// text is drawn at the largest size, one that is not a number not at all.
TEST_F(Overlays, HugeAndUnreasonableTextSizesAreBounded) {
  open(128, 96);
  MDL_Text* t = text("W", {0, 0.5, 0}, 1000, {0, 0, 0, 1});
  draw();
  EXPECT_EQ(font->currentSize, 1000.0 * 128);
  EXPECT_LE(face->size->metrics.y_ppem, 4096);
  EXPECT_GE(face->size->metrics.y_ppem, 4000);
  for (double size : {std::nan(""), HUGE_VAL, -1.0, 0.0}) {
    t->size = size;
    view->resetGlyphTextureCache();  // emptied as the frame begins
    draw();
    EXPECT_EQ(view->glyphTextures.count(), 0) << size;
  }
}

// The caption: its text in black with a white copy a pixel up and left,
// both faded by alpha. Nothing in the player calls it yet.
TEST_F(Overlays, CaptionIsWhiteOverItsBlackShadowFadedByAlpha) {
  open(128, 96);
  const double origin[2] = {0, 0}, size[2] = {128, 96};
  const double grey[4] = {0.5, 0.5, 0.5, 1};
  for (double alpha : {1.0, 0.5}) {
    SCOPED_TRACE(alpha);
    view->beginFrame(dc, false);
    view->clear(grey);
    view->drawCaption(origin, size, "HH", font.get(), 0.3, alpha);
    PixelImage image;
    ASSERT_TRUE(view->readPixels(dc, 0, 0, width, height, &image));
    pixels.assign(image.pixels, image.pixels + image.width * image.height * 3);
    // Faded copies blend towards white and black by alpha at most.
    const int lightest = int(128 + 127 * alpha + 0.5), darkest = int(128 - 128 * alpha + 0.5);
    int lighter = 0, darker = 0, brightest = 0, dimmest = 255;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Rgb c = at(x, y);
        if (c.r == 128) continue;
        // Both copies stand on the baseline 0.03 x 128 pixels down: only
        // their feet show.
        EXPECT_LT(y, 5) << x;
        lighter += c.r > 148;
        darker += c.r < 108;
        brightest = std::max(brightest, c.r);
        dimmest = std::min(dimmest, c.r);
      }
    EXPECT_GT(lighter, 10);
    EXPECT_GT(darker, 10);
    EXPECT_LE(brightest, lightest + 1);
    EXPECT_GE(dimmest, darkest - 1);
    if (alpha == 1) {
      EXPECT_EQ(brightest, 255);
      EXPECT_EQ(dimmest, 0);
    }
  }
}

// The renderer's own screens on a rectangle no window holds draw nothing,
// as on one under a pixel.
TEST_F(Overlays, ScreensOfInfiniteUndefinedOrHugeRectanglesDrawNothing) {
  open(64, 48);
  const double inf = HUGE_VAL, nan = std::nan("");
  struct Case {
    double origin[2], size[2];
  } cases[] = {
      {{-inf, 0}, {64, 48}}, {{0, nan}, {64, 48}}, {{0, 0}, {inf, 48}},
      {{0, 0}, {64, nan}},   {{4e9, 0}, {64, 48}}, {{0, 0}, {64, 1e12}},
  };
  const double grey[4] = {0.5, 0.5, 0.5, 1};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.origin[0] << ", " << c.origin[1] << " / " << c.size[0] << " x " << c.size[1]);
    view->beginFrame(dc, false);
    view->clear(grey);
    view->drawCaption(c.origin, c.size, "HH", font.get(), 0.3, 1);
    view->drawMessage(c.origin, c.size, "HH", font.get());
    view->drawLoadingScreen(c.origin, c.size, "HH", font.get(), nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    PixelImage image;
    ASSERT_TRUE(view->readPixels(dc, 0, 0, width, height, &image));
    for (int i = 0; i < width * height * 3; ++i) ASSERT_EQ(image.pixels[i], 128) << i;
  }
}

class Screens : public ScreenFrame {};

bool dark(const Rgb& c) { return c.r < 128 && c.g < 128 && c.b < 128; }

TEST_F(Screens, LoadingScreenShowsTheLogoAndTheDotsUnderIt) {
  openScreen(512, 384);
  controller->loadingScreen.dots = 3;
  controller->loadingScreen.counterTime = 1e300;  // the dots stay as they are
  runFrame();
  ASSERT_NE(controller->loadingScreen.image, nullptr);
  ASSERT_NE(controller->loadingScreen.imageSource, nullptr);
  EXPECT_STREQ(controller->loadingScreen.imageSource->name, "Trelm");
  EXPECT_EQ(controller->loadingScreen.imageSource->width, 400);
  EXPECT_EQ(controller->loadingScreen.imageSource->height, 115);

  // The logo: a quarter of the width (128 pixels), centred on (256, 102.4).
  const double aspect = 115.0 / 400.0, top = 102.4 - 64 * aspect, bottom = 102.4 + 64 * aspect;
  const auto logo = [](const Rgb& c) { return c.b > c.r + 20 && c.r < 100; };  // its dark blue
  EXPECT_TRUE(logo(at(195, 102)));
  EXPECT_TRUE(logo(at(310, 102)));
  EXPECT_EQ(count(0, 0, 512, 384, logo), count(192, int(top), 320, int(std::ceil(bottom)), logo));
  EXPECT_GT(count(192, int(top), 320, int(bottom), logo), 128 * 20);  // less ring and lettering

  // "Loading  . . ." in green from (204.8, 133.1), under the logo.
  const auto green = [](const Rgb& c) { return c.g > c.r + 40 && c.g > c.b + 40; };
  const int text = count(200, 120, 300, 140, green);
  EXPECT_GT(text, 30);
  EXPECT_EQ(count(0, 0, 512, 384, green), text);

  // A second frame keeps the one logo.
  const MDL_Object* first = controller->loadingScreen.image.get();
  runFrame();
  EXPECT_EQ(controller->loadingScreen.image.get(), first);
}

TEST_F(Screens, FailureScreenShowsItsTwoLinesOnWhite) {
  openScreen(512, 384);
  controller->fail("content error");
  runFrame();
  // "Error opening the file, ..." then "Please check ...", from (5.1, 15.4)
  // at 11.8 pixels, one line height (about 13.7 pixels) apart.
  const int first = count(0, 4, 512, 18, dark), second = count(0, 19, 512, 31, dark);
  EXPECT_GT(first, 150);
  EXPECT_GT(second, 150);
  EXPECT_EQ(count(0, 0, 512, 384, dark), first + second);
  EXPECT_EQ(count(0, 0, 4, 384, dark), 0);  // nothing left of the text's start
  EXPECT_EQ(at(400, 300), kWhite);
}

}  // namespace
