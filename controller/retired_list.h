// Records that scripts delete while scene objects, materials or animations may
// still point at them (textures, fonts, samples, models sets, streams): they
// leave their proxy at once and wait here until nothing uses them any more,
// then go at the end of a drawn frame (or with the controller).
#pragma once

#include <cstdint>

#include "model/ptr_array.h"

struct FontRecord;
struct ImageSource;
struct ModelsSet;
struct SoundRecord;
struct VideoStream;

struct CTRL_RetiredList {
  PtrArray<ImageSource> textures;
  PtrArray<FontRecord> fonts;
  PtrArray<SoundRecord> samples;
  PtrArray<ModelsSet> modelsSets;
  PtrArray<VideoStream> streams;

  CTRL_RetiredList() = default;
  CTRL_RetiredList(const CTRL_RetiredList&) = delete;
  CTRL_RetiredList& operator=(const CTRL_RetiredList&) = delete;
  ~CTRL_RetiredList() { clear(); }

  // Keeps the record until nothing uses it; its proxy link is released now.
  // A record that cannot be listed (no memory) is kept forever rather than
  // freed under its users.
  void add(ImageSource* record);
  void add(FontRecord* record);
  void add(SoundRecord* record);
  void add(ModelsSet* record);
  void add(VideoStream* record);

  bool holds(const void* record) const;
  int32_t count() const {
    return textures.count + fonts.count + samples.count + modelsSets.count + streams.count;
  }

  // Frees every record, whatever may still use it (the controller's end).
  void clear();
};
