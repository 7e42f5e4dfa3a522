#include "tests/view/overlay_scene.h"

#include <GL/glew.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "model/font_library.h"
#include "model/material.h"

namespace rendertest {

void OverlayFrame::SetUp() { open(64, 48); }

void OverlayFrame::TearDown() {
  Frame::TearDown();  // the scene and its objects go first
  sources.clear();
  font.reset();
  face = nullptr;
}

void OverlayFrame::open(int w, int h) {
  Frame::open(w, h);
  camera({0, -5, 0}, {0, 0, 0});
  for (double& c : viewport.background) c = 1;
  ASSERT_TRUE(MDL_createFontLibrary());
  font = std::make_unique<FontRecord>("default", nullptr, 0, false);
  ASSERT_NE(font->face, nullptr);
  face = font->face;
}

MDL_Text* OverlayFrame::text(const char* s, const Vec3& position, double size, const ColorRGBA& color) {
  MDL_Text* t = new MDL_Text;
  t->font = font.get();
  EXPECT_TRUE(t->setText(s));
  t->size = size;
  t->color = color;
  placeAt(t, position);
  scene->registerObject(t);
  return t;
}

MDL_Image* OverlayFrame::image(ImageSource* source, const Vec3& position, double scale) {
  MDL_Image* i = new MDL_Image;
  EXPECT_TRUE(i->ownMaterial());
  if (source) {
    MaterialLayer* layer = i->material->addLayer();
    EXPECT_NE(layer, nullptr);
    if (layer) layer->image = source;
  }
  placeAt(i, position);
  Matrix3::setScale(i->editWorld().basis, Vec3(scale, scale, 1));
  scene->registerObject(i);
  return i;
}

void OverlayFrame::colour(MDL_Image* image, const ColorRGBA& c) { image->material->diffuse = c; }

ImageSource* OverlayFrame::pngSource(int w, int h, const std::vector<uint8_t>& rgb) {
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  png.width = png_uint_32(w);
  png.height = png_uint_32(h);
  png.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&png, nullptr, &size, 0, rgb.data(), 0, nullptr));
  unsigned char* bytes = static_cast<unsigned char*>(std::malloc(size));
  EXPECT_TRUE(png_image_write_to_memory(&png, bytes, &size, 0, rgb.data(), 0, nullptr));
  sources.push_back(std::make_unique<ImageSource>("test.png", bytes, int32_t(size), true));
  return sources.back().get();
}

double OverlayFrame::advance(uint32_t code) {
  EXPECT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_RENDER), 0);
  return face->glyph->linearHoriAdvance / 65536.0;
}

std::vector<uint8_t> OverlayFrame::expectedGlyphs(const std::vector<Placed>& glyphs, const Rgb& color) {
  std::vector<uint8_t> out(size_t(width) * height * 3, 255);
  for (const Placed& g : glyphs) {
    EXPECT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, g.code), FT_LOAD_RENDER), 0);
    const FT_GlyphSlot slot = face->glyph;
    const int x0 = int(std::floor(g.x + slot->bitmap_left + 0.5));
    const int y0 = int(std::floor(g.y - slot->bitmap_top + 0.5));
    for (unsigned r = 0; r < slot->bitmap.rows; ++r)
      for (unsigned c = 0; c < slot->bitmap.width; ++c) {
        const int x = x0 + int(c), y = y0 + int(r);
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        const int coverage = slot->bitmap.buffer[r * slot->bitmap.pitch + c];
        uint8_t* p = &out[(size_t(height - 1 - y) * width + x) * 3];
        const int want[3] = {color.r, color.g, color.b};
        for (int k = 0; k < 3; ++k) p[k] = uint8_t(255 + (want[k] - 255) * coverage / 255);
      }
  }
  return out;
}

void OverlayFrame::expectFrame(const std::vector<uint8_t>& expected) {
  ASSERT_EQ(expected.size(), pixels.size());
  int differing = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t i = (size_t(height - 1 - y) * width + x) * 3;
      bool same = true;
      for (int k = 0; k < 3; ++k) same = same && std::abs(int(expected[i + k]) - int(pixels[i + k])) <= 2;
      if (same) continue;
      if (differing++ == 0) firstX = x, firstY = y;
    }
  EXPECT_EQ(differing, 0) << "first at (" << firstX << ", " << firstY << "): got " << at(firstX, firstY);
}

bool CapturingView::swapBuffers(HDC dc) {
  frame.assign(size_t(width) * height * 3, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
  return VIEW_OpenGLWin32::swapBuffers(dc);
}

void ScreenFrame::TearDown() {
  controller.reset();  // the renderer goes while its window is there
  capture = nullptr;
  Frame::TearDown();
}

void ScreenFrame::openScreen(int w, int h) {
  open(w, h);
  view.reset();
  ASSERT_TRUE(MDL_createFontLibrary());
  auto renderer = std::make_unique<CapturingView>(dc, 1);
  ASSERT_TRUE(renderer->context);
  renderer->width = w;
  renderer->height = h;
  capture = renderer.get();
  controller = std::make_unique<CTRL_Generic>(nullptr, std::move(renderer));
  controller->setViewSize(w, h);
}

void ScreenFrame::runFrame() {
  capture->frame.clear();
  controller->frame(dc, nullptr);
  ASSERT_FALSE(capture->frame.empty()) << "no frame was finished";
  pixels = capture->frame;
}

}  // namespace rendertest
