// Decoded or read-back pixels: rows of width x channels bytes, bottom row of
// the picture first, as OpenGL reads and expects them.
#pragma once

#include <cstdint>
#include <cstdlib>

struct PixelImage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t channels = 0;  // 1 luminance, 2 luminance + alpha, 3 RGB, 4 RGBA
  bool owns = false;
  uint8_t* pixels = nullptr;

  PixelImage() = default;
  ~PixelImage() { release(); }
  PixelImage(const PixelImage&) = delete;
  PixelImage& operator=(const PixelImage&) = delete;

  void release() {
    if (owns) free(pixels);
    pixels = nullptr;
    owns = false;
    width = height = channels = 0;
  }

  // Frees the old pixels and takes a new owned, zeroed buffer; false
  // (and an empty image) when the size is not positive or cannot be had.
  bool allocate(int32_t w, int32_t h, int32_t c) {
    release();
    if (w < 1 || h < 1 || c < 1) return false;
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * uint64_t(c);
    if (bytes > uint64_t(INT32_MAX)) return false;
    pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(bytes), 1));
    if (!pixels) return false;
    owns = true;
    width = w;
    height = h;
    channels = c;
    return true;
  }
};
