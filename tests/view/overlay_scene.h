// Overlay objects drawn by the real renderer over a white viewport, with the
// built-in font, and the controller's own screens (loading, failure) drawn
// through the renderer interface and caught as they are swapped.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <vector>

#include "controller/ctrl_generic.h"
#include "model/font_record.h"
#include "model/image.h"
#include "model/image_source.h"
#include "model/text.h"
#include "tests/view/render_scene.h"

namespace rendertest {

const Rgb kWhite{255, 255, 255};

// A glyph with its pen position in viewport pixels (x right, y down).
struct Placed {
  uint32_t code;
  double x, y;
};

class OverlayFrame : public Frame {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A window of this size whose viewport shows an empty scene on white.
  void open(int width, int height);

  // Objects of the scene; positions in units of the viewport's width.
  MDL_Text* text(const char* s, const Vec3& at, double size, const ColorRGBA& color);
  // An image of the source (none: untextured), scale times the viewport's
  // width wide.
  MDL_Image* image(ImageSource* source, const Vec3& at, double scale);
  void colour(MDL_Image* image, const ColorRGBA& c);
  // An image source over a PNG written by libpng from RGB rows, top first.
  ImageSource* pngSource(int width, int height, const std::vector<uint8_t>& rgb);

  // At the size the last drawn text asked of the face.
  double advance(uint32_t code);
  // The frame the glyphs should give on white: FreeType's coverage at each
  // glyph's rounded corner, blended over white.
  std::vector<uint8_t> expectedGlyphs(const std::vector<Placed>& glyphs, const Rgb& color);
  // Every pixel of the last frame within 2 of the expected one.
  void expectFrame(const std::vector<uint8_t>& expected);

  std::unique_ptr<FontRecord> font;
  FT_Face face = nullptr;
  std::vector<std::unique_ptr<ImageSource>> sources;
};

// The frame as it is about to be swapped.
class CapturingView : public VIEW_OpenGLWin32 {
 public:
  using VIEW_OpenGLWin32::VIEW_OpenGLWin32;
  bool swapBuffers(HDC dc) override;

  int width = 0, height = 0;
  std::vector<uint8_t> frame;  // RGB, bottom row first
};

// A controller on the window with a capturing renderer.
class ScreenFrame : public Frame {
 protected:
  void SetUp() override {}
  void TearDown() override;
  void openScreen(int width, int height);
  // One frame of the controller; its picture lands in pixels.
  void runFrame();
  // Pixels of a rectangle (x0 <= x < x1, y0 <= y < y1 from the top) for which
  // test holds.
  template <class Test>
  int count(int x0, int y0, int x1, int y1, Test test) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += test(at(x, y)) ? 1 : 0;
    return n;
  }

  std::unique_ptr<CTRL_Generic> controller;
  CapturingView* capture = nullptr;  // owned by the controller
};

}  // namespace rendertest
