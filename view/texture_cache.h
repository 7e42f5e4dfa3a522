// The renderer's texture caches: one OpenGL texture per image source (keyed
// by the source id) and one per glyph of a font at one size.
#pragma once

#include <cstdint>

#include "model/hash_map.h"

struct GlyphKey {
  int32_t fontId;
  uint32_t code;   // character code
  int32_t xScale;  // the face's current FreeType x_scale (16.16): one entry per size
};

struct ImageTexture {
  uint32_t texture;       // OpenGL texture name
  double s0, t0, s1, t1;  // the used rectangle, in texture coordinates
  uint32_t bytes;         // texture size in bytes
};

struct GlyphTexture {
  uint32_t texture;         // 0 for an empty glyph (a space)
  double sExtent, tExtent;  // share of the texture the glyph covers
  int32_t width, rows;      // bitmap size
  int32_t left, top;        // bitmap bearings
  double advance;           // linear advance in pixels
  uint32_t glyphIndex;
  uint32_t bytes;
  uint32_t lastFrame;  // the renderer's frame that last asked for it
};

// The kerning between two glyphs of a font at one size, as FreeType gives it
// (26.6 pixels): asked once per pair, since texts draw every frame.
struct KerningKey {
  int32_t fontId;
  int32_t xScale;
  uint32_t left, right;  // glyph indices
};

struct KerningDelta {
  int32_t x, y;  // 26.6 pixels
};

struct KerningEntry {
  KerningDelta delta;
  uint32_t lastFrame;  // as for glyphs
};

using ImageTextureMap = HashMap<int32_t, ImageTexture>;
using KerningMap = HashMap<KerningKey, KerningEntry>;
using GlyphTextureMap = HashMap<GlyphKey, GlyphTexture>;
