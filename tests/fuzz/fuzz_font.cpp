// Font files as content gives them: a font record over the bytes, the
// extents of a few texts laid out in it (lines, tabs, kerning, characters
// the face lacks, broken UTF-8), the glyphs rendered to coverage, then the
// same texts drawn as overlays by the renderer on a hidden window at sizes
// from a few pixels to more than the window (the glyph cache, kerning
// pairs, the glyph batch, background boxes).
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "fuzz_support.h"
#include "model/camera.h"
#include "model/font_library.h"
#include "model/font_record.h"
#include "model/scene.h"
#include "model/text.h"
#include "model/viewport.h"
#include "support/test_geometry.h"
#include "support/test_package.h"
#include "view/glyph_bitmap.h"

namespace {

const char* const kTexts[] = {
    "AVAWAY Ta ff fi", "two\nlines\tand\t\ttabs",
    "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 \xff\xfe\xc3",  // accents, euro, an emoji, then broken bytes
};
const double kSizes[] = {0.05, 0.3, 0.004, 1.5};  // of the viewport's width

// The texts in the font, drawn for two frames.
void draw(FontRecord* font, const uint8_t* data, size_t size) {
  testpkg::RecordingController controller(nullptr, fuzz::hiddenRenderer());
  fuzz::serveMember(controller, "f.ttf", data, size);
  Scene* scene = new Scene;
  if (!controller.resources.scenes.append(scene)) {
    delete scene;
    return;
  }
  MDL_Camera* eye = new MDL_Camera;
  Viewport* view = new Viewport;
  if (!scene->registerObject(eye)) delete eye;
  if (!controller.resources.viewports.append(view)) delete view;
  else {
    view->width = 1;
    view->height = 0.75;
    view->camera = eye;
  }
  int line = 0;
  for (double textSize : kSizes) {
    for (const char* s : kTexts) {
      MDL_Text* text = new MDL_Text;
      if (!scene->registerObject(text)) {
        delete text;
        continue;
      }
      text->font = font;
      text->setText(s);
      text->size = textSize;
      text->tabSize = line % 3 == 0 ? 0 : 4;
      text->color = {1, 1, 1, 1};
      text->backgroundColor = {0, 0, 0, line % 2 ? 0.5 : 0};
      testgeometry::placeAt(text, {0.02, 0.06 * ++line, 0});
    }
  }
  controller.setViewSize(fuzz::kWidth, fuzz::kHeight);
  controller.load.state = 3;  // running
  controller.load.started = true;
  fuzz::runFrame(controller, fuzz::hiddenWindow(), 0.1);
  fuzz::runFrame(controller, fuzz::hiddenWindow(), 0.1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MDL_createFontLibrary();
  fuzz::setUpDrawing("font");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 21)) return 0;
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
  draw(&font, data, size);
  return 0;
}
