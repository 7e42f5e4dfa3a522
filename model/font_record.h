// The font record: a FreeType face over TrueType bytes in memory, shared by
// the texts that show it and by the renderer's glyph cache (keyed on id).
#pragma once

#include <cstdint>

#include "model/callbacks.h"

// FreeType's face record; FT_Face is a pointer to it. Declared here so that
// code which only passes fonts around needs no FreeType headers.
struct FT_FaceRec_;

struct FontRecord {
  LMP_ProxyRef proxy;
  double currentSize = -1.0;    // pixel size last requested on the face
  FT_FaceRec_* face = nullptr;  // null when the bytes are no font, or one without outlines
  char* name = nullptr;         // malloc'd
  const uint8_t* data = nullptr;
  int32_t size = 0;
  bool owns = false;  // data is a malloc'd block freed with the record
  int32_t id = 0;
  int32_t flags = 3;

  // Takes the next resource id and makes the face on the shared library.
  // A name beginning with "default" (any case) stands for the built-in
  // face: the given bytes are freed when owned and never read. Bytes that
  // are no font, and a font of bitmaps only, leave no face and a log line.
  FontRecord(const char* name, const uint8_t* data, int32_t size, bool owns);
  ~FontRecord() { destroy(); }
  FontRecord(const FontRecord&) = delete;
  FontRecord& operator=(const FontRecord&) = delete;

  // Frees the face, the name and owned bytes, and releases the proxy link;
  // the record is then empty (a second call does nothing).
  void destroy();
};

// True when the first seven characters of name are "default" in any case.
bool MDL_isDefaultFontName(const char* name);
