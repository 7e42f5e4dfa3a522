// Font files as content gives them: a font record over the bytes, the
// extents of a few texts laid out in it (lines, tabs, kerning, characters
// the face lacks, broken UTF-8), and the glyphs rendered to coverage as the
// renderer's glyph cache does, without OpenGL.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "model/font_library.h"
#include "model/font_record.h"
#include "model/text.h"
#include "platform/testing.h"
#include "view/glyph_bitmap.h"

namespace {

const char* const kTexts[] = {
    "AVAWAY Ta ff fi", "two\nlines\tand\t\ttabs",
    "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 \xff\xfe\xc3",  // accents, euro, an emoji, then broken bytes
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MDL_createFontLibrary();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 21)) return 0;
  vsplat::DebugCapture quiet;  // the log lines of refused input would drown the fuzzer's own
  FontRecord font("f.ttf", data, static_cast<int32_t>(size), false);
  if (!font.face) return 0;
  MDL_Text text;
  text.font = &font;
  for (const char* s : kTexts) {
    text.setText(s);
    text.computeExtent();
  }
  // The glyph cache's path, at a small size and at a large one.
  for (FT_UInt pixels : {12u, 96u}) {
    if (FT_Set_Pixel_Sizes(font.face, 0, pixels) != 0) continue;
    for (const char* s = kTexts[0]; *s; ++s) {
      const FT_UInt index = font.face->charmap ? FT_Get_Char_Index(font.face, static_cast<unsigned char>(*s)) : 0;
      if (FT_Load_Glyph(font.face, index, FT_LOAD_RENDER) != 0) continue;
      PixelImage coverage;
      VIEW_glyphCoverage(font.face->glyph->bitmap, &coverage);
    }
  }
  text.font = nullptr;
  return 0;
}
