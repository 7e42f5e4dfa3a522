// The image-source record: an encoded PNG or JPEG (or raw video pixels) that
// textures and material layers refer to. The header is sniffed at creation
// for the size and alpha; the renderer decodes the pixels.
#pragma once

#include <cstdint>

#include "model/callbacks.h"

struct ImageSource {
  LMP_ProxyRef proxy;
  char* name = nullptr;  // malloc'd
  int32_t size = 0;
  unsigned char* data = nullptr;
  bool owns = false;         // data is a malloc'd block freed with the record
  bool hasAlpha = false;     // set by header sniffing
  bool binaryAlpha = false;  // scripts mark alpha as on/off instead of blended
  int32_t id = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool rawPixels = false;  // data holds bottom-up RGB24 video pixels (not freed here)
  bool pixelsChanged = false;
  bool releasePending = false;
  int32_t filter = 0;  // FILTER_* code, 0 = the renderer's default

  // An empty record (no id); video frames fill theirs in themselves.
  ImageSource() = default;
  // Copies the name, takes the data as given and the next resource id, and
  // sniffs the header.
  ImageSource(const char* name, unsigned char* data, int32_t size, bool owns);
  ~ImageSource() { destroy(); }
  ImageSource(const ImageSource&) = delete;
  ImageSource& operator=(const ImageSource&) = delete;

  // Width, height and alpha from a PNG or JPEG header; 0 x 0 without alpha
  // for anything else. Reads only inside the data.
  void sniffHeader();
  // Frees the name and owned file bytes and releases the proxy link; a
  // second call does nothing.
  void destroy();
};
