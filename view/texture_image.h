// Decoding image files into texture pixels, and resizing them to what the
// texture size rules allow.
#pragma once

#include <cstddef>
#include <cstdint>

#include "view/pixel_image.h"

// A side over this, or a decoded picture over kMaxImageBytes, is refused
// before any pixel is allocated: the header alone cannot be trusted.
constexpr size_t kMaxImageSide = 16384;
constexpr size_t kMaxImageBytes = size_t(256) << 20;

// PNG (through libpng), or else JPEG (through libjpeg), into image, bottom
// row first. False, with an empty image, when it does not decode; libpng's
// errors and warnings, libjpeg's errors and the reasons for a refusal (a
// colour space not drawn, a size too large, memory) go to the debug log with
// the image's name.
bool decodeTextureImage(PixelImage* image, const unsigned char* bytes, size_t size, const char* name);

// Resizes the pixels in place: bilinear when both sides grow, an average of
// the covered pixels otherwise. False (image unchanged) when the new buffer
// cannot be had.
bool resampleImage(PixelImage* image, int32_t width, int32_t height);

// Both sides up to powers of two (1 below 2), then each clamped to maxSize;
// whether anything changed.
bool roundTextureSize(int32_t* width, int32_t* height, int32_t maxSize);
