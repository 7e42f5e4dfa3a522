#include "model/text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "model/font_library.h"
#include "model/font_record.h"

namespace {

// Glyphs are measured in font units, as designed.
constexpr FT_Int32 kMeasureFlags = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

struct Box {
  double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
  void extendX(double x) {
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
  }
  void extendY(double y) {
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
  }
};

}  // namespace

bool MDL_nextUtf8(const unsigned char*& p, const unsigned char* end, uint32_t& code) {
  static const uint32_t kOffsets[6] = {0x00000000u, 0x00003080u, 0x000E2080u, 0x03C82080u, 0xFA082080u, 0x82082080u};
  if (p >= end) return false;
  const unsigned char lead = *p;
  const int trailing = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
  if (end - p <= trailing) {
    p = end;
    return false;
  }
  uint32_t value = 0;
  for (int i = 0; i <= trailing; ++i) value = value * 64u + *p++;
  value -= kOffsets[trailing];
  code = value >= 0x80000000u ? 0xFFFDu : value;
  return true;
}

MDL_Text::~MDL_Text() {
  std::free(text);
  text = nullptr;
}

bool MDL_Text::setText(const char* s) {
  char* copy = nullptr;
  if (s && !(copy = MDL_copyString(s))) return false;
  std::free(text);
  text = copy;
  markLayoutDirty();
  return true;
}

void MDL_Text::markLayoutDirty() {
  extentDirty = true;
  extentMinX = extentMinY = extentMaxX = extentMaxY = extentWidth = 0.0;
}

void MDL_Text::computeExtent() {
  if (!extentDirty || !text) return;
  extentDirty = false;
  extentMinX = extentMinY = extentMaxX = extentMaxY = extentWidth = 0.0;
  FT_Face face = font ? font->face : nullptr;
  if (!face || face->units_per_EM == 0) return;

  const double ascender = face->ascender;
  const double descender = face->descender;
  const double lineHeight = face->height;
  const bool kerning = FT_HAS_KERNING(face);
  Box box;
  double x = 0.0, y = 0.0;
  FT_UInt previous = 0;
  auto extendLine = [&](double penY) {
    box.extendY(penY - ascender);
    box.extendY(penY - descender);
  };

  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + std::strlen(text);
  uint32_t code = 0;
  while (MDL_nextUtf8(p, end, code)) {
    if (code == '\n') {
      box.extendX(x);
      extendLine(y);
      x = 0.0;
      y += lineHeight;
      previous = 0;
    } else if (code == '\t') {
      // Without a usable space advance or tab size the pen stays put.
      double tab = 0.0;
      if (tabSize > 0 && FT_Load_Glyph(face, FT_Get_Char_Index(face, ' '), kMeasureFlags) == 0)
        tab = static_cast<double>(face->glyph->advance.x) * tabSize;
      if (tab > 0.0) {
        const double stop = std::ceil(x / tab) * tab;
        x = stop == x ? x + tab : stop;
      }
      box.extendX(x);
      previous = 0;
    } else {
      const FT_UInt glyph = face->charmap ? FT_Get_Char_Index(face, code) : 0;
      if (FT_Load_Glyph(face, glyph, kMeasureFlags) != 0) continue;  // adds nothing
      if (kerning && previous) {
        FT_Vector delta{0, 0};
        if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNSCALED, &delta) == 0) {
          x += delta.x;
          y += delta.y;
        }
      }
      const FT_Glyph_Metrics& m = face->glyph->metrics;
      box.extendX(x + m.horiBearingX);
      box.extendX(x + m.horiBearingX + m.width);
      extendLine(y);
      x += m.horiAdvance;
      previous = glyph;
    }
  }
  box.extendX(x);
  box.extendY(y);

  const double s = 0.8888888888888888 / face->units_per_EM * size;
  extentMinX = box.minX * s;
  extentMinY = box.minY * s;
  extentMaxX = box.maxX * s;
  extentMaxY = box.maxY * s;
  extentWidth = extentMaxX;
}

bool MDL_Text::hitTest(const Vec2& p) {
  if (extentDirty) computeExtent();
  return extentMinX <= p.x && p.x <= extentMaxX && extentMinY <= p.y && p.y <= extentMaxY;
}
