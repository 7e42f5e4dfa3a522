#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/font_library.h"
#include "model/font_record.h"
#include "model/text.h"

namespace {

constexpr double kEm = 0.8888888888888888;  // overlay units per em at size 1

struct Glyph {
  double bearingX, width, advance;
};

struct Extent {
  double minX, minY, maxX, maxY;
};

class TextExtent : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MDL_createFontLibrary());
    font = new FontRecord("default", nullptr, 0, false);
    ASSERT_NE(font->face, nullptr);
    face = font->face;
    ASSERT_GT(face->units_per_EM, 0);
    s = kEm / face->units_per_EM;
    ascender = face->ascender;
    descender = face->descender;
    height = face->height;
  }
  void TearDown() override { delete font; }

  Glyph glyph(uint32_t code) {
    const FT_UInt index = FT_Get_Char_Index(face, code);
    EXPECT_NE(index, 0u) << "the built-in face lacks U+" << std::hex << code;
    EXPECT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    return {static_cast<double>(m.horiBearingX), static_cast<double>(m.width), static_cast<double>(m.horiAdvance)};
  }

  Extent measure(const char* str, double size = 1.0, int32_t tabSize = 8) {
    MDL_Text text;
    text.font = font;
    text.size = size;
    text.tabSize = tabSize;
    EXPECT_TRUE(text.setText(str));
    text.computeExtent();
    EXPECT_FALSE(text.extentDirty);
    EXPECT_EQ(text.extentWidth, text.extentMaxX);
    return {text.extentMinX, text.extentMinY, text.extentMaxX, text.extentMaxY};
  }

  // One line of glyphs whose left and right ends are given in font units.
  Extent line(double left, double right) const {
    return {std::min(0.0, left) * s, -ascender * s, std::max(0.0, right) * s, -descender * s};
  }

  void expectExtent(const Extent& got, const Extent& want, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(got.minX, want.minX, 1e-12);
    EXPECT_NEAR(got.minY, want.minY, 1e-12);
    EXPECT_NEAR(got.maxX, want.maxX, 1e-12);
    EXPECT_NEAR(got.maxY, want.maxY, 1e-12);
  }

  FontRecord* font = nullptr;
  FT_Face face = nullptr;
  double s = 0, ascender = 0, descender = 0, height = 0;
};

TEST_F(TextExtent, ExtentsOfTheBuiltInFontFollowItsMetrics) {
  const Glyph A = glyph('A'), a = glyph('a'), b = glyph('b'), e = glyph(0xE9), space = glyph(' ');
  const double tab = 8 * space.advance;
  ASSERT_LT(a.advance, tab);
  const Extent single = line(A.bearingX, std::max(A.bearingX + A.width, A.advance));
  const double bAt = tab;  // the first stop after the a
  const struct Case {
    const char* what;
    const char* text;
    Extent want;
  } cases[] = {
      {"empty", "", {0, 0, 0, 0}},
      {"A", "A", single},
      {"A cut lead byte", "A\xC3", single},
      {"cut three-byte sequence", "A\xE2\x82", single},
      {"e acute", "\xC3\xA9", line(e.bearingX, std::max(e.bearingX + e.width, e.advance))},
      {"A and a line feed", "A\n", {single.minX, single.minY, single.maxX, height * s}},
      {"tab from the start", "\t", {0, 0, tab * s, 0}},
      {"tab on a stop", "\t\t", {0, 0, 2 * tab * s, 0}},
      {"a tab b", "a\tb",
       line(std::min(a.bearingX, bAt + b.bearingX), std::max(bAt + b.bearingX + b.width, bAt + b.advance))},
      {"two lines", "A\nA", {single.minX, -ascender * s, single.maxX, (height - descender) * s}},
  };
  for (const Case& c : cases) expectExtent(measure(c.text), c.want, c.what);

  // Doubling the size doubles every value.
  const Extent twice = measure("A\nA", 2.0);
  expectExtent(twice, {2 * single.minX, -2 * ascender * s, 2 * single.maxX, 2 * (height - descender) * s},
               "double size");
}

TEST_F(TextExtent, KerningMovesThePenOnlyForFacesThatHaveIt) {
  const Glyph A = glyph('A'), V = glyph('V');
  FT_Vector kern{0, 0};
  if (FT_HAS_KERNING(face)) {
    ASSERT_EQ(
        FT_Get_Kerning(face, FT_Get_Char_Index(face, 'A'), FT_Get_Char_Index(face, 'V'), FT_KERNING_UNSCALED, &kern),
        0);
  }
  const double vAt = A.advance + kern.x;
  const Extent want{std::min({0.0, A.bearingX, vAt + V.bearingX}) * s,
                    (std::min(0.0, static_cast<double>(kern.y)) - ascender) * s,
                    std::max({A.bearingX + A.width, vAt + V.bearingX + V.width, vAt + V.advance}) * s,
                    (std::max(0.0, static_cast<double>(kern.y)) - descender) * s};
  expectExtent(measure("AV"), want, "AV");
}

TEST_F(TextExtent, TabsWithoutATabSizeLeaveThePen) {
  const Glyph a = glyph('a'), b = glyph('b');
  const Extent adjacent = line(a.bearingX, std::max(a.advance + b.bearingX + b.width, a.advance + b.advance));
  for (int32_t tabSize : {0, -3}) expectExtent(measure("a\tb", 1.0, tabSize), adjacent, "no tab size");
}

TEST_F(TextExtent, NoUsableFaceGivesAnEmptyBox) {
  MDL_Text text;
  ASSERT_TRUE(text.setText("Hello"));
  text.computeExtent();  // no font
  EXPECT_FALSE(text.extentDirty);
  EXPECT_EQ(text.extentMaxX, 0.0);
  EXPECT_TRUE(text.hitTest({0, 0}));
  EXPECT_FALSE(text.hitTest({0.01, 0}));

  FontRecord empty("none", nullptr, 0, false);
  ASSERT_EQ(empty.face, nullptr);
  text.font = &empty;
  text.markLayoutDirty();
  text.computeExtent();
  EXPECT_EQ(text.extentMinY, 0.0);
  EXPECT_EQ(text.extentMaxX, 0.0);

  text.font = font;
  const FT_UShort em = face->units_per_EM;
  face->units_per_EM = 0;
  text.markLayoutDirty();
  text.computeExtent();
  face->units_per_EM = em;
  EXPECT_EQ(text.extentMinY, 0.0);
  EXPECT_EQ(text.extentMaxX, 0.0);
  EXPECT_EQ(text.extentWidth, 0.0);
}

TEST_F(TextExtent, LayoutIsLazyAndTheHitTestIncludesTheEdges) {
  MDL_Text text;
  EXPECT_EQ(text.type, OBJECT_TEXT);
  text.font = font;
  // A null text keeps the dirty flag and the box.
  text.extentMaxX = 5.0;
  text.computeExtent();
  EXPECT_TRUE(text.extentDirty);
  EXPECT_EQ(text.extentMaxX, 5.0);

  ASSERT_TRUE(text.setText("AA"));
  EXPECT_TRUE(text.extentDirty);
  EXPECT_EQ(text.extentMaxX, 0.0);  // cleared until laid out
  const Extent want = measure("AA");
  EXPECT_TRUE(text.hitTest({want.maxX, want.maxY}));  // lays out first
  EXPECT_FALSE(text.extentDirty);
  EXPECT_TRUE(text.hitTest({want.minX, want.minY}));
  EXPECT_FALSE(text.hitTest({want.maxX + 1e-9, 0}));
  EXPECT_FALSE(text.hitTest({0, want.minY - 1e-9}));
  EXPECT_FALSE(text.hitTest({0, want.maxY + 1e-9}));
}

TEST(Utf8, LeadByteTableAndCutSequences) {
  const struct Case {
    const char* bytes;
    std::vector<uint32_t> codes;
  } cases[] = {
      {"Az", {0x41, 0x7A}},
      {"\xC3\xA9", {0xE9}},
      {"\xE2\x82\xAC", {0x20AC}},
      {"\xF0\x9F\x98\x80", {0x1F600}},
      {"\xF8\x88\x80\x80\x80", {0x200000}},
      {"\xFD\xBF\xBF\xBF\xBF\xBF", {0x7FFFFFFF}},
      {"\xFE\x80\x80\x80\x80\x80", {0xFFFD}},  // 0x80000000 and up
      {"\xC3", {}},
      {"a\xF0\x9F\x98", {0x61}},
      {"\xC3"
       "A",
       {0x81}},  // continuation bytes are not checked
  };
  for (const Case& c : cases) {
    const size_t n = std::strlen(c.bytes);
    // A copy without terminator: the decoder must stop at the given end.
    std::vector<unsigned char> bytes(c.bytes, c.bytes + n);
    const unsigned char* p = bytes.data();
    const unsigned char* end = p + n;
    std::vector<uint32_t> got;
    uint32_t code = 0;
    while (MDL_nextUtf8(p, end, code)) got.push_back(code);
    EXPECT_EQ(got, c.codes) << "case of " << n << " bytes";
    EXPECT_EQ(p, end);
  }
}

}  // namespace
