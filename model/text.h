// Text overlays: a UTF-8 string in a font, measured in the face's own units
// and scaled by the text size. The extent is laid out lazily; picking tests
// it and the renderer places the glyphs from the same layout rules.
#pragma once

#include <cstdint>

#include "model/color.h"
#include "model/object.h"

struct FontRecord;

class MDL_Text : public MDL_Object {
 public:
  ColorRGBA color{0, 0, 0, 1};
  ColorRGBA backgroundColor{0, 0, 0, 0};
  FontRecord* font = nullptr;  // not owned
  char* text = nullptr;        // owned UTF-8, may be null
  double size = 1.0;           // overlay units
  int32_t tabSize = 8;         // tab stops every tabSize space advances
  bool extentDirty = true;
  double extentMinX = 0.0;
  double extentMinY = 0.0;
  double extentMaxX = 0.0;
  double extentMaxY = 0.0;
  double extentWidth = 0.0;  // the scaled extentMaxX

  MDL_Text() { type = OBJECT_TEXT; }
  MDL_Text(const MDL_Text&) = delete;  // texts are never cloned
  ~MDL_Text() override;

  // Stores a copy of s (null clears the text) and marks the layout dirty.
  // False when out of memory; the old text is then kept.
  bool setText(const char* s);
  // After a change of text, font, size or tab size: the box is cleared and
  // laid out again at the next use.
  void markLayoutDirty();

  // Lays the text out when dirty and there is a text. Without a usable face
  // (no font, no face, no units per em) the box is empty at the origin.
  void computeExtent();
  bool hitTest(const Vec2& p) override;
};

// Decodes the next character of [p, end) by the lead-byte table (trailing
// bytes are not checked; values from 0x80000000 up become U+FFFD) and moves
// p past it. False at the end, or when the end cuts the sequence: the cut
// bytes are dropped unread and p is left at end.
bool MDL_nextUtf8(const unsigned char*& p, const unsigned char* end, uint32_t& code);
