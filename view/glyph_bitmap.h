// FreeType glyph bitmaps as plain coverage bytes, whatever FreeType rendered
// them in (8-bit grey, or the 1-, 2- and 4-bit and colour modes of embedded
// bitmap strikes).
#pragma once

#include "view/pixel_image.h"

struct FT_Bitmap_;

// The bitmap as one byte of coverage (0..255) per pixel, width x rows, top
// row first (the order glyph quads map it in), read row by row through its
// pitch in either flow direction. False, with an empty image, when FreeType
// cannot convert its pixel mode or memory runs out.
bool VIEW_glyphCoverage(const FT_Bitmap_& bitmap, PixelImage* out);
