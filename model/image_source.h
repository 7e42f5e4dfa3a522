// The image-source record: an encoded PNG or JPEG (or raw video pixels) that
// textures and material layers refer to. Materials read only its alpha flags;
// the media sources fill in the rest (construction, header sniffing, release).
#pragma once

#include <cstdint>

#include "model/callbacks.h"

struct ImageSource {
  LMP_ProxyRef proxy;
  char* name = nullptr;
  int32_t size = 0;
  unsigned char* data = nullptr;
  bool owns = false;
  bool hasAlpha = false;     // set by header sniffing
  bool binaryAlpha = false;  // scripts mark alpha as on/off instead of blended
  int32_t id = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool rawPixels = false;  // data holds bottom-up RGB24 video pixels
  bool pixelsChanged = false;
  bool releasePending = false;
  int32_t filter = 0;  // FILTER_* code, 0 = the renderer's default
};
