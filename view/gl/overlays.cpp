// The 2-D overlays drawn over a viewport's picture (texts, images and
// polylines of its scene) and the renderer's own screens built from the same
// pieces: the caption, the loading screen and the failure message.
//
// Overlay space is pixels from the viewport's top left, y downwards; an
// object's world position and axes are in units of the viewport's width.
#include <GL/glew.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/assert.h"
#include "core/debug_log.h"
#include "model/font_record.h"
#include "model/image.h"
#include "model/material.h"
#include "model/polyline.h"
#include "model/scene.h"
#include "model/text.h"
#include "view/gl/matrix.h"
#include "view/opengl.h"

namespace {

// Pixel sizes past this are drawn at it: the glyph bitmaps FreeType would
// make for a larger size (it comes from content) are not worth their memory.
// The em of the largest glyphs is then 4096 pixels.
constexpr double kMaxTextPixels = 4608.0;

// The fixed places, colours and sizes of the renderer's own screens
// (single-precision values, as the screens were laid out).
constexpr double kCaptionX = static_cast<double>(0.01f);
constexpr double kCaptionY = static_cast<double>(0.03f);
constexpr double kLoadingX = static_cast<double>(0.4f);
constexpr double kLoadingY = static_cast<double>(0.26f);
constexpr double kLoadingSize = 0.02;
constexpr double kMessageSize = static_cast<double>(0.023f);

struct Point {
  double x, y;
};

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(Point a, double s) { return {a.x * s, a.y * s}; }
Point flat(const Vec3& v) { return {v.x, v.y}; }
Point rounded(Point p) { return {std::floor(p.x + 0.5), std::floor(p.y + 0.5)}; }

// Two triangles over the parallelogram corner, corner + x, corner + x + y,
// corner + y, with texture coordinates (s0, t0) at the corner to (s1, t1)
// across it.
struct Quad {
  GLdouble vertices[12];
  GLdouble texCoords[12];

  Quad(Point corner, Point x, Point y, double s0, double t0, double s1, double t1) {
    const Point p[4] = {corner, corner + x, corner + x + y, corner + y};
    const double s[4] = {s0, s1, s1, s0}, t[4] = {t0, t0, t1, t1};
    static const int kOrder[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) {
      vertices[2 * i] = p[kOrder[i]].x;
      vertices[2 * i + 1] = p[kOrder[i]].y;
      texCoords[2 * i] = s[kOrder[i]];
      texCoords[2 * i + 1] = t[kOrder[i]];
    }
  }
  void draw(bool textured) const {
    glVertexPointer(2, GL_DOUBLE, 0, vertices);
    if (textured) {
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_DOUBLE, 0, texCoords);
    } else {
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDrawArrays(GL_TRIANGLES, 0, 6);
  }
  // Whether any of it can land within width x height pixels (a pixel to
  // spare for the rounding of the viewport's size); not when NaN.
  bool reaches(double width, double height) const {
    double x0 = vertices[0], x1 = x0, y0 = vertices[1], y1 = y0;
    for (int i = 1; i < 6; ++i) {
      x0 = std::min(x0, vertices[2 * i]), x1 = std::max(x1, vertices[2 * i]);
      y0 = std::min(y0, vertices[2 * i + 1]), y1 = std::max(y1, vertices[2 * i + 1]);
    }
    return x1 >= -1 && x0 <= width + 1 && y1 >= -1 && y0 <= height + 1;
  }
};

void setColor(const ColorRGBA& c) { glColor4d(c.r, c.g, c.b, c.a); }

// Asks FreeType for glyphs of `pixels` / (64 / 72) pixels per em: a nominal
// size in 26.6 points at one dot per inch.
void requestPixelSize(FT_Face face, double pixels) {
  const double capped = std::min(pixels, kMaxTextPixels);
  FT_Size_RequestRec request = {};
  request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
  request.width = request.height = std::max<FT_Long>(64, static_cast<FT_Long>(capped * 4096));
  request.horiResolution = request.vertResolution = 1;
  FT_Request_Size(face, &request);
}

// Which lines of a text can reach the screen. Every glyph of a line lies in
// a band along it: from the face's bounding box above and below the pen's
// line, an em to spare for glyphs that stray out of the box. A line whose
// band misses the screen (a pixel and a half around it, for the rounding of
// corners) is passed over without laying out its glyphs.
class LineBands {
 public:
  LineBands(FT_Face face, Point across, Point down, double width, double height)
      : across_(across), det_(across.x * down.y - across.y * down.x), width_(width), height_(height) {
    // Bitmap-only faces give no box to trust: all their lines are laid out.
    if (!FT_IS_SCALABLE(face) || !face->size) return;
    const double scale = face->size->metrics.y_scale / 65536.0 / 64.0;  // font units to pixels
    const double spare = face->size->metrics.y_ppem + 2.0;
    above_ = std::max<double>(face->bbox.yMax, face->ascender) * scale + spare;
    below_ = std::max<double>(-face->bbox.yMin, -face->descender) * scale + spare;
    known_ = std::isfinite(det_) && det_ != 0 && std::isfinite(above_) && std::isfinite(below_);
  }

  bool reaches(Point lineStart) const {
    if (!known_) return true;
    // Across the line, in pixels of the down axis, where the screen's
    // corners lie from it.
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const Point c : {Point{-1.5, -1.5}, Point{width_ + 1.5, -1.5}, Point{-1.5, height_ + 1.5},
                          Point{width_ + 1.5, height_ + 1.5}}) {
      const Point d = c - lineStart;
      const double v = (across_.x * d.y - across_.y * d.x) / det_;
      lo = std::min(lo, v), hi = std::max(hi, v);
    }
    // Not when the line's start is NaN either.
    return hi >= -above_ && lo <= below_;
  }

 private:
  Point across_;
  double det_;
  double width_, height_;
  double above_ = 0, below_ = 0;
  bool known_ = false;
};

// A glyph FreeType could not load is cached empty; like the layout, the
// drawing skips it altogether.
bool failedGlyph(const GlyphTexture& g) { return g.glyphIndex == 0 && g.advance == 0 && g.texture == 0; }

// A screen smaller than a pixel shows nothing (its projection would divide
// by zero), nor does one no window can hold.
bool drawable(const double origin[2], const double size[2]) {
  int32_t rect[4];
  return VIEW_OpenGL::viewportPixels(origin, size, rect);
}

}  // namespace

void VIEW_OpenGL::setupOverlayState(const double origin[2], const double size[2]) {
  setupViewport(nullptr, origin, size);
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
}

void VIEW_OpenGL::drawOverlays(Scene* scene, FontRecord*) {
  VS_ASSERT(scene);
  for (int32_t i = 0; i < scene->overlays.count; ++i) {
    MDL_Object* object = scene->overlays[i];
    VS_ASSERT(object);
    if (!(object->state & STATE_VISIBLE)) continue;
    switch (object->type) {
      case OBJECT_TEXT:
        drawText(static_cast<MDL_Text*>(object));
        break;
      case OBJECT_IMAGE:
        drawImage(static_cast<MDL_Image*>(object));
        break;
      case OBJECT_POLYLINE:
        drawPolyline(static_cast<MDL_Polyline*>(object));
        break;
      default:
        break;
    }
  }
}

void VIEW_OpenGL::drawText(MDL_Text* text) {
  // All the memory a text of any length needs, had before anything is drawn.
  if (!glyphBatch.prepare()) {
    debugPrintf("Not enough memory to draw a text: it is left out of this frame\n");
    return;
  }
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_ALPHA_TEST);
  const double w = viewportWidth;
  const RigidTransform& world = text->getWorld();
  const Point origin = flat(world.position) * w;
  const Point X = flat(world.basis.X()), Y = flat(world.basis.Y());

  if (text->backgroundColor.a > 0) {
    text->computeExtent();
    const double width = text->extentMaxX - text->extentMinX, height = text->extentMaxY - text->extentMinY;
    const Point corner = origin + X * (text->extentMinX * w) + Y * (text->extentMinY * w);
    glDisable(GL_TEXTURE_2D);
    setColor(text->backgroundColor);
    if (text->backgroundColor.a == 1)
      glDisable(GL_BLEND);
    else
      glEnable(GL_BLEND);
    Quad(corner, X * (width * w), Y * (height * w), 0, 0, 0, 0).draw(false);
  }

  FontRecord* font = text->font;
  FT_Face face = font ? font->face : nullptr;
  if (!text->text || !(text->size > 0) || !face || face->units_per_EM == 0) return;
  // The size follows the X axis's whole length, also when part of it points
  // out of the screen: the glyphs are then squeezed across, not shrunk.
  const double L = length3(world.basis.X());
  const double pixels = text->size * w * L;
  if (!(pixels > 0) || !std::isfinite(pixels)) return;
  if (font->currentSize != pixels) {
    requestPixelSize(face, pixels);
    font->currentSize = pixels;
  }
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  setColor(text->color);

  // Pixels along the axes: X / L and Y / L advance one pixel.
  const Point across = X * (1 / L), down = Y * (1 / L);
  const double lineStep = 64.0 / 72.0 * face->height / face->units_per_EM * text->size * w;
  const bool kerning = FT_HAS_KERNING(face);
  const LineBands bands(face, across, down, viewportWidth, viewportHeight);
  Point pen = origin, lineStart = origin;
  bool shown = bands.reaches(lineStart);
  int32_t lines = 0;
  FT_UInt previous = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text->text);
  const unsigned char* end = p + std::strlen(text->text);
  uint32_t code = 0;
  GlyphBatch& batch = glyphBatch;
  batch.clear();
  while (MDL_nextUtf8(p, end, code)) {
    if (code == '\n') {
      ++lines;
      lineStart = origin + Y * (lines * lineStep);
      pen = lineStart;
      previous = 0;
      shown = bands.reaches(lineStart);
      continue;
    }
    if (!shown) continue;
    if (code == '\t') {
      // Without a tab size or a space advance the pen stays.
      const GlyphTexture* space = text->tabSize > 0 ? getGlyphTexture(font, ' ') : nullptr;
      const double tab = space ? text->tabSize * space->advance : 0.0;
      if (tab > 0) {
        // Pixels along the line: the pen moved by `across` per pixel.
        const Point along = pen - lineStart;
        const double unit = across.x * across.x + across.y * across.y;
        const double at = unit > 0 ? (along.x * across.x + along.y * across.y) / unit : 0.0;
        double stop = std::ceil(at / tab) * tab;
        if (stop == at) stop = at + tab;
        pen = pen + across * (stop - at);
      }
      previous = 0;
      continue;
    }
    const GlyphTexture* glyph = getGlyphTexture(font, code);
    if (!glyph) break;
    if (failedGlyph(*glyph)) continue;
    if (kerning && previous) {
      const KerningDelta delta = getKerning(font, previous, glyph->glyphIndex);
      pen = pen + across * (delta.x / 64.0) + down * (delta.y / 64.0);
    }
    if (glyph->texture) {
      const Point corner = rounded(pen + across * glyph->left - down * glyph->top);
      const Quad quad(corner, across * glyph->width, down * glyph->rows, 0, 0, glyph->sExtent, glyph->tExtent);
      // Only what can reach the screen is kept.
      if (quad.reaches(viewportWidth, viewportHeight)) batch.add(glyph->texture, quad.vertices, quad.texCoords);
    }
    pen = pen + across * glyph->advance;
    previous = glyph->glyphIndex;
  }
  batch.draw();
}

void VIEW_OpenGL::drawImage(MDL_Image* image) {
  const double w = viewportWidth;
  const RigidTransform& world = image->getWorld();
  const Point corner = rounded(flat(world.position) * w);
  const Point X = flat(world.basis.X()) * w;
  const Point Y = flat(world.basis.Y()) * (w * image->getAspectRatio());
  // The top of the picture is its last row: t runs upwards.
  const Quad quad(corner, X, Y, 0, 1, 1, 0);
  Material* material = image->material;
  const int32_t layers = material && material->layers.count > 1 ? material->layers.count : 1;
  for (int32_t layer = 0; layer < layers; ++layer) quad.draw(applyMaterial(material, layer, true, false));
}

void VIEW_OpenGL::drawPolyline(MDL_Polyline* polyline) {
  if (polyline->points.count == 0) return;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  double world[16];
  glm4::fromTransform(world, polyline->getWorld());
  glScaled(viewportWidth, viewportWidth, 1);
  glMultMatrixd(world);

  if (polyline->filled) {
    const GrowArray<int32_t>& triangles = polyline->updateFill();
    if (triangles.count > 0) {
      setColor(polyline->fillColor);
      glDisable(GL_TEXTURE_2D);
      if (polyline->fillColor.a < 1)
        glEnable(GL_BLEND);
      else
        glDisable(GL_BLEND);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
      glVertexPointer(2, GL_DOUBLE, sizeof(Vec2), polyline->points.data);
      glDrawElements(GL_TRIANGLES, triangles.count, GL_UNSIGNED_INT, triangles.data);
    }
  }
  if (polyline->outlined) {
    polyline->updateOutline();
    const bool dot = polyline->outlineVertices.count == 0;
    const Vec2Array& vertices = dot ? polyline->dotVertices : polyline->outlineVertices;
    const Vec2Array& texCoords = dot ? polyline->dotTexCoords : polyline->outlineTexCoords;
    if (vertices.count > 0) {
      Material* material = polyline->material;
      const int32_t layers = material && material->layers.count > 1 ? material->layers.count : 1;
      for (int32_t layer = 0; layer < layers; ++layer) {
        if (applyMaterial(material, layer, true, false)) {
          glEnableClientState(GL_TEXTURE_COORD_ARRAY);
          glTexCoordPointer(2, GL_DOUBLE, sizeof(Vec2), texCoords.data);
        } else {
          glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glVertexPointer(2, GL_DOUBLE, sizeof(Vec2), vertices.data);
        glDrawArrays(GL_TRIANGLES, 0, vertices.count);
      }
    }
  }
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void VIEW_OpenGL::drawTextAt(const double position[2], FontRecord* font, const char* string, const ColorRGBA& color,
                             double size) {
  MDL_Text text;
  if (!text.setText(string)) return;
  text.font = font;
  text.color = color;
  text.size = size;
  text.world.position = {position[0], position[1], 0};
  text.local = text.world;
  drawText(&text);
}

void VIEW_OpenGL::drawCaption(const double origin[2], const double size[2], const char* text, FontRecord* font,
                              double textSize, double alpha) {
  if (!drawable(origin, size)) return;
  setupOverlayState(origin, size);
  const double shadow[2] = {kCaptionX, kCaptionY};
  drawTextAt(shadow, font, text, {0, 0, 0, alpha}, textSize);
  // The light copy one pixel up and left of its shadow (1 / height of the
  // content, as laid out).
  const double light[2] = {kCaptionX - 1 / size[1], kCaptionY - 1 / size[1]};
  drawTextAt(light, font, text, {1, 1, 1, alpha}, textSize);
}

void VIEW_OpenGL::drawLoadingScreen(const double origin[2], const double size[2], const char* text, FontRecord* font,
                                    MDL_Object* logo) {
  if (!drawable(origin, size)) return;
  setupOverlayState(origin, size);
  const double at[2] = {kLoadingX, kLoadingY};
  const ColorRGBA green{static_cast<double>(0.58f), static_cast<double>(0.784f), static_cast<double>(0.239f), 1};
  drawTextAt(at, font, text, green, kLoadingSize);
  if (logo && logo->type == OBJECT_IMAGE) drawImage(static_cast<MDL_Image*>(logo));
}

void VIEW_OpenGL::drawMessage(const double origin[2], const double size[2], const char* text, FontRecord* font) {
  if (!drawable(origin, size)) return;
  setupOverlayState(origin, size);
  const double at[2] = {kCaptionX, kCaptionY};
  drawTextAt(at, font, text, {0, 0, 0, 1}, kMessageSize);
}
