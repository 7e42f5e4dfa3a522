// Glyph textures for text: each character of a font rendered by FreeType at
// the face's current size into an alpha texture, kept by (font, character,
// size) until the glyph cache is flushed.
#include <GL/glew.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cstring>

#include "model/font_library.h"
#include "model/font_record.h"
#include "model/ptr_array.h"
#include "view/glyph_bitmap.h"
#include "view/opengl.h"
#include "view/texture_image.h"

bool VIEW_glyphCoverage(const FT_Bitmap& bitmap, PixelImage* out) {
  out->release();
  const unsigned width = bitmap.width, rows = bitmap.rows;
  if (width == 0 || rows == 0 || width > unsigned(INT32_MAX) || rows > unsigned(INT32_MAX)) return false;

  FT_Library library = MDL_fontLibrary();
  FT_Bitmap grey;
  FT_Bitmap_Init(&grey);
  const FT_Bitmap* source = &bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
    // Embedded strikes come in other modes; FreeType turns them into one
    // byte per pixel with num_grays levels.
    if (!library || FT_Bitmap_Convert(library, &bitmap, &grey, 1) != 0 || grey.width != width || grey.rows != rows) {
      if (library) FT_Bitmap_Done(library, &grey);
      return false;
    }
    source = &grey;
  }
  bool ok = source->buffer && out->allocate(int32_t(width), int32_t(rows), 1);
  if (ok) {
    // A negative pitch means the rows run upwards from the buffer's start.
    const long pitch = source->pitch;
    const unsigned char* top = source->buffer + (pitch < 0 ? -pitch * long(rows - 1) : 0);
    const int levels = source->num_grays;
    for (unsigned r = 0; r < rows; ++r) {
      const unsigned char* from = top + pitch * long(r);
      uint8_t* to = out->pixels + size_t(r) * width;
      if (levels == 256 || levels < 2) {
        std::memcpy(to, from, width);
      } else {
        for (unsigned x = 0; x < width; ++x) to[x] = uint8_t(std::min(int(from[x]), levels - 1) * 255 / (levels - 1));
      }
    }
  }
  if (source == &grey) FT_Bitmap_Done(library, &grey);
  if (!ok) out->release();
  return ok;
}

GlyphTexture* VIEW_OpenGL::getGlyphTexture(FontRecord* font, uint32_t code) {
  FT_Face face = font ? font->face : nullptr;
  if (!face || face->units_per_EM == 0 || !face->size) return nullptr;
  const GlyphKey key{font->id, code, static_cast<int32_t>(face->size->metrics.x_scale)};
  if (GlyphTexture* known = glyphTextures.find(key)) {
    if (known->texture) glBindTexture(GL_TEXTURE_2D, known->texture);
    known->lastFrame = frameNumber;
    return known;
  }
  GlyphTexture* entry = glyphTextures.insert(key);
  if (!entry) return nullptr;
  *entry = GlyphTexture{};
  entry->lastFrame = frameNumber;

  // A glyph that does not load stays empty: nothing drawn, no advance.
  const FT_UInt index = face->charmap ? FT_Get_Char_Index(face, code) : 0;
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) return entry;
  const FT_GlyphSlot slot = face->glyph;
  entry->glyphIndex = index;
  entry->width = static_cast<int32_t>(slot->bitmap.width);
  entry->rows = static_cast<int32_t>(slot->bitmap.rows);
  entry->left = slot->bitmap_left;
  entry->top = slot->bitmap_top;
  entry->advance = static_cast<double>(slot->linearHoriAdvance) * 1.52587890625e-5;  // 16.16
  if (entry->width <= 0 || entry->rows <= 0) {
    entry->width = entry->rows = 0;
    return entry;
  }

  // Without its coverage the glyph is only advanced over.
  PixelImage coverage;
  if (!VIEW_glyphCoverage(slot->bitmap, &coverage)) return entry;
  int32_t W = coverage.width, H = coverage.height;
  roundTextureSize(&W, &H, maxTextureSize);
  const bool fits = maxTextureSize <= 0 || (coverage.width < maxTextureSize && coverage.height < maxTextureSize);
  if (fits) {
    if (W != coverage.width || H != coverage.height) {
      PixelImage padded;
      if (!padded.allocate(W, H, 1)) return entry;
      for (int32_t r = 0; r < coverage.height; ++r)
        std::memcpy(padded.pixels + size_t(r) * W, coverage.pixels + size_t(r) * coverage.width,
                    size_t(coverage.width));
      std::swap(coverage.pixels, padded.pixels);
      std::swap(coverage.width, padded.width);
      std::swap(coverage.height, padded.height);
    }
    entry->sExtent = double(entry->width) / W;
    entry->tExtent = double(entry->rows) / H;
  } else {
    if (!resampleImage(&coverage, W, H)) return entry;
    entry->sExtent = entry->tExtent = 1.0;
  }

  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, W, H, 0, GL_ALPHA, GL_UNSIGNED_BYTE, coverage.pixels);
  entry->texture = name;
  entry->bytes = uint32_t(W) * uint32_t(H);
  return entry;
}

KerningDelta VIEW_OpenGL::getKerning(FontRecord* font, uint32_t left, uint32_t right) {
  FT_Face face = font ? font->face : nullptr;
  if (!face || !face->size || !FT_HAS_KERNING(face)) return {0, 0};
  const KerningKey key{font->id, static_cast<int32_t>(face->size->metrics.x_scale), left, right};
  if (KerningEntry* known = kerningPairs.find(key)) {
    known->lastFrame = frameNumber;
    return known->delta;
  }
  FT_Vector delta{0, 0};
  if (FT_Get_Kerning(face, left, right, FT_KERNING_DEFAULT, &delta) != 0) delta = {0, 0};
  const KerningDelta value{static_cast<int32_t>(delta.x), static_cast<int32_t>(delta.y)};
  if (KerningEntry* entry = kerningPairs.insert(key)) *entry = {value, frameNumber};
  return value;
}

namespace {

// The keys of a cache's entries that no frame asked for in the last `keep`
// frames (as many as memory allows).
template <class Map, class Key>
void collectUnused(const Map& map, uint32_t now, uint32_t keep, GrowArray<Key>* out) {
  map.forEach([&](const Key& key, const auto& value) {
    if (now - value.lastFrame >= keep) out->append(key);
  });
}

}  // namespace

void VIEW_OpenGL::dropUnusedGlyphs() {
  if (frameNumber % kGlyphKeepFrames != 0) return;
  GrowArray<GlyphKey> glyphs;
  collectUnused(glyphTextures, frameNumber, kGlyphKeepFrames, &glyphs);
  for (const GlyphKey& key : glyphs) {
    const GlyphTexture* glyph = glyphTextures.find(key);
    if (glyph && glyph->texture) glDeleteTextures(1, &glyph->texture);
    glyphTextures.remove(key);
  }
  GrowArray<KerningKey> pairs;
  collectUnused(kerningPairs, frameNumber, kGlyphKeepFrames, &pairs);
  for (const KerningKey& key : pairs) kerningPairs.remove(key);
}
