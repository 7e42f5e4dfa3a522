// The glyph texture cache: one alpha texture per glyph of a font at one
// size, rendered by FreeType once and found again by lookup.
#include <GL/glew.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>
#include <vector>

#include "model/font_library.h"
#include "model/font_record.h"
#include "tests/view/render_scene.h"
#include "view/glyph_bitmap.h"

namespace {

int powerOfTwoAbove(int v) {
  int p = 1;
  while (p < v) p *= 2;
  return p;
}

class GlyphCache : public rendertest::Frame {
 protected:
  void SetUp() override {
    Frame::SetUp();
    ASSERT_TRUE(MDL_createFontLibrary());
    font = std::make_unique<FontRecord>("default", nullptr, 0, false);
    ASSERT_NE(font->face, nullptr);
    face = font->face;
    view->beginFrame(dc, false);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 20), 0);
  }
  // Frame::open runs this too, before there is a renderer.
  void TearDown() override {
    if (view) view->endFrame(dc);
    font.reset();
    Frame::TearDown();
  }

  // The texture's pixels as OpenGL holds them.
  std::vector<uint8_t> texels(GLuint texture, int w, int h) {
    std::vector<uint8_t> out(size_t(w) * h, 0xAB);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, out.data());
    return out;
  }

  std::unique_ptr<FontRecord> font;
  FT_Face face = nullptr;
};

TEST_F(GlyphCache, GlyphsAreRenderedOncePerSizeIntoPaddedAlphaTextures) {
  for (uint32_t code : {uint32_t('A'), uint32_t('g'), 0xE9u}) {
    SCOPED_TRACE(code);
    GlyphTexture* glyph = view->getGlyphTexture(font.get(), code);
    ASSERT_NE(glyph, nullptr);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), glyph->texture);

    // What FreeType renders for the same glyph at the same size.
    const FT_UInt index = FT_Get_Char_Index(face, code);
    ASSERT_EQ(FT_Load_Glyph(face, index, FT_LOAD_RENDER), 0);
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    EXPECT_EQ(glyph->glyphIndex, index);
    ASSERT_EQ(glyph->width, int(bitmap.width));
    ASSERT_EQ(glyph->rows, int(bitmap.rows));
    EXPECT_EQ(glyph->left, face->glyph->bitmap_left);
    EXPECT_EQ(glyph->top, face->glyph->bitmap_top);
    EXPECT_EQ(glyph->advance, face->glyph->linearHoriAdvance / 65536.0);

    const int W = powerOfTwoAbove(glyph->width), H = powerOfTwoAbove(glyph->rows);
    EXPECT_EQ(glyph->sExtent, double(glyph->width) / W);
    EXPECT_EQ(glyph->tExtent, double(glyph->rows) / H);
    EXPECT_EQ(glyph->bytes, uint32_t(W * H));
    GLint filter = 0, wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(filter, GL_NEAREST);
    EXPECT_EQ(wrap, GL_REPEAT);

    // The bitmap's rows, top row first, in the corner; zeros elsewhere.
    const std::vector<uint8_t> got = texels(glyph->texture, W, H);
    int mismatches = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int want = x < glyph->width && y < glyph->rows ? bitmap.buffer[y * bitmap.pitch + x] : 0;
        mismatches += got[size_t(y) * W + x] != want;
      }
    EXPECT_EQ(mismatches, 0);

    // Found again, not rendered again.
    const int count = view->glyphTextures.count();
    EXPECT_EQ(view->getGlyphTexture(font.get(), code), glyph);
    EXPECT_EQ(view->glyphTextures.count(), count);
  }

  // A space has no texture but its advance.
  GlyphTexture* space = view->getGlyphTexture(font.get(), ' ');
  ASSERT_NE(space, nullptr);
  EXPECT_EQ(space->texture, 0u);
  EXPECT_EQ(space->bytes, 0u);
  ASSERT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, ' '), FT_LOAD_RENDER), 0);
  EXPECT_EQ(space->advance, face->glyph->linearHoriAdvance / 65536.0);
  EXPECT_GT(space->advance, 0);

  // Another size is another glyph.
  const GlyphTexture* small = view->getGlyphTexture(font.get(), 'A');
  const int count = view->glyphTextures.count();
  ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 40), 0);
  const GlyphTexture* large = view->getGlyphTexture(font.get(), 'A');
  ASSERT_NE(large, nullptr);
  EXPECT_NE(large, small);
  EXPECT_NE(large->texture, small->texture);
  EXPECT_GT(large->rows, small->rows);
  EXPECT_EQ(view->glyphTextures.count(), count + 1);
}

TEST_F(GlyphCache, KerningIsAskedOncePerPairAndSize) {
  ASSERT_TRUE(FT_HAS_KERNING(face));
  const FT_UInt f = FT_Get_Char_Index(face, 'F'), dot = FT_Get_Char_Index(face, '.');
  FT_Vector want{0, 0};
  ASSERT_EQ(FT_Get_Kerning(face, f, dot, FT_KERNING_DEFAULT, &want), 0);
  ASSERT_NE(want.x, 0);
  for (int i = 0; i < 2; ++i) {
    const KerningDelta got = view->getKerning(font.get(), f, dot);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(view->kerningPairs.count(), 1);
  }
  ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 60), 0);
  ASSERT_EQ(FT_Get_Kerning(face, f, dot, FT_KERNING_DEFAULT, &want), 0);
  EXPECT_EQ(view->getKerning(font.get(), f, dot).x, want.x);
  EXPECT_EQ(view->kerningPairs.count(), 2);
  EXPECT_EQ(view->getKerning(nullptr, f, dot).x, 0);
}

TEST_F(GlyphCache, ResetDeletesEveryGlyphAtTheNextFrame) {
  const GLuint first = view->getGlyphTexture(font.get(), 'A')->texture;
  ASSERT_NE(view->getGlyphTexture(font.get(), 'B'), nullptr);
  view->getKerning(font.get(), FT_Get_Char_Index(face, 'A'), FT_Get_Char_Index(face, 'V'));
  EXPECT_EQ(view->glyphTextures.count(), 2);
  EXPECT_EQ(view->kerningPairs.count(), 1);
  view->resetGlyphTextureCache();
  EXPECT_EQ(view->glyphTextures.count(), 2);
  view->beginFrame(dc, false);
  EXPECT_EQ(view->glyphTextures.count(), 0);
  EXPECT_EQ(view->kerningPairs.count(), 0);
  EXPECT_FALSE(glIsTexture(first));
  const GlyphTexture* again = view->getGlyphTexture(font.get(), 'A');
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(glIsTexture(again->texture));
  EXPECT_EQ(view->glyphTextures.count(), 1);
}

TEST_F(GlyphCache, FontsWithoutAUsableFaceHaveNoGlyphs) {
  EXPECT_EQ(view->getGlyphTexture(nullptr, 'A'), nullptr);

  const char notAFont[] = "these bytes are no font";
  FontRecord broken("broken", reinterpret_cast<const uint8_t*>(notAFont), int32_t(sizeof notAFont), false);
  ASSERT_EQ(broken.face, nullptr);
  EXPECT_EQ(view->getGlyphTexture(&broken, 'A'), nullptr);

  const FT_UShort unitsPerEm = face->units_per_EM;
  face->units_per_EM = 0;
  EXPECT_EQ(view->getGlyphTexture(font.get(), 'A'), nullptr);
  face->units_per_EM = unitsPerEm;
  EXPECT_EQ(view->glyphTextures.count(), 0);
}

TEST_F(GlyphCache, AGlyphThatFailsToLoadIsEmpty) {
  // FreeType refuses to render bitmaps this large; a space has none.
  ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 100000), 0);
  ASSERT_NE(FT_Load_Glyph(face, FT_Get_Char_Index(face, 'B'), FT_LOAD_RENDER), 0);
  const GlyphTexture* b = view->getGlyphTexture(font.get(), 'B');
  const GlyphTexture* space = view->getGlyphTexture(font.get(), ' ');
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->texture, 0u);
  EXPECT_EQ(b->width, 0);
  EXPECT_EQ(b->rows, 0);
  EXPECT_EQ(b->advance, 0);
  EXPECT_EQ(b->glyphIndex, 0u);
  EXPECT_EQ(b->bytes, 0u);
  ASSERT_NE(space, nullptr);
  EXPECT_GT(space->advance, 1000);
}

TEST_F(GlyphCache, GlyphsOverTheMaximumTextureSizeAreShrunkIntoIt) {
  ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 40), 0);
  ASSERT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, 'W'), FT_LOAD_RENDER), 0);
  ASSERT_GT(face->glyph->bitmap.width, 16u);
  view->maxTextureSize = 16;  // as a small OpenGL would have it
  const GlyphTexture* w = view->getGlyphTexture(font.get(), 'W');
  ASSERT_NE(w, nullptr);
  ASSERT_NE(w->texture, 0u);
  EXPECT_EQ(w->width, int(face->glyph->bitmap.width));  // the metrics stay the glyph's
  EXPECT_EQ(w->sExtent, 1.0);
  EXPECT_EQ(w->tExtent, 1.0);
  EXPECT_EQ(w->bytes, 16u * 16u);
  GLint width = 0, height = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  int covered = 0;
  for (uint8_t t : texels(w->texture, 16, 16)) covered += t > 0;
  EXPECT_GT(covered, 40);  // the whole W, not its corner
}

// Glyph bitmaps of every pixel mode, either row direction and padded
// pitches all come out as one coverage byte per pixel, top row first.
TEST(GlyphCoverage, EveryPixelModeAndRowDirection) {
  ASSERT_TRUE(MDL_createFontLibrary());
  struct Case {
    const char* what;
    unsigned width, rows;
    int pitch;
    unsigned char mode;
    std::vector<uint8_t> buffer;  // as FreeType lays it out
    std::vector<uint8_t> want;    // top row first
  };
  const Case cases[] = {
      {"grey, padded rows", 3, 2, 4, FT_PIXEL_MODE_GRAY, {1, 2, 3, 0xEE, 4, 5, 6, 0xEE}, {1, 2, 3, 4, 5, 6}},
      {"grey, rows upwards", 2, 3, -2, FT_PIXEL_MODE_GRAY, {50, 60, 30, 40, 10, 20}, {10, 20, 30, 40, 50, 60}},
      {"mono", 10, 2, 2, FT_PIXEL_MODE_MONO, {0xA5, 0xC0, 0x01, 0x40}, {255, 0, 255, 0, 0, 255, 0, 255, 255, 255,
                                                                        0,   0, 0,   0, 0, 0,   0, 255, 0,   255}},
      {"mono, rows upwards", 3, 2, -1, FT_PIXEL_MODE_MONO, {0x20, 0xC0}, {255, 255, 0, 0, 0, 255}},
      {"two bits", 4, 1, 1, FT_PIXEL_MODE_GRAY2, {0x1B}, {0, 85, 170, 255}},
      {"four bits", 3, 1, 2, FT_PIXEL_MODE_GRAY4, {0x0F, 0x80}, {0, 255, 136}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> buffer = c.buffer;
    FT_Bitmap bitmap = {};
    bitmap.width = c.width;
    bitmap.rows = c.rows;
    bitmap.pitch = c.pitch;
    bitmap.pixel_mode = c.mode;
    bitmap.num_grays = c.mode == FT_PIXEL_MODE_GRAY ? 256 : 0;
    // FreeType's buffer is where the lowest address row starts.
    bitmap.buffer = buffer.data();
    PixelImage out;
    ASSERT_TRUE(VIEW_glyphCoverage(bitmap, &out));
    ASSERT_EQ(out.width, int(c.width));
    ASSERT_EQ(out.height, int(c.rows));
    ASSERT_EQ(out.channels, 1);
    EXPECT_EQ(std::vector<uint8_t>(out.pixels, out.pixels + c.want.size()), c.want);
  }

  FT_Bitmap empty = {};
  empty.pixel_mode = FT_PIXEL_MODE_GRAY;
  PixelImage out;
  EXPECT_FALSE(VIEW_glyphCoverage(empty, &out));
  EXPECT_EQ(out.pixels, nullptr);
}

}  // namespace
