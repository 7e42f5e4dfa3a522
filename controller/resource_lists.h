// Every resource the scripts create, one list per kind; the controller owns
// the records in them.
#pragma once

#include "controller/resources.h"
#include "controller/retired_list.h"
#include "model/viewport.h"
#include "model/image_source.h"
#include "model/ptr_array.h"
#include "model/sample.h"

class Scene;
class VIEW_Generic;

struct CTRL_ResourceLists {
  CTRL_ResourceLists() = default;
  CTRL_ResourceLists(const CTRL_ResourceLists&) = delete;
  CTRL_ResourceLists& operator=(const CTRL_ResourceLists&) = delete;
  ~CTRL_ResourceLists() { clear(); }

  // Frees every record: viewports first, then scenes and the media they use.
  void clear();
  // Frees the retired records nothing uses any more, after the renderer (when
  // there is one; its context current) has forgotten what it keeps of them.
  // Answers how many went.
  int32_t freeUnusedRetired(VIEW_Generic* view);

  PtrArray<Scene> scenes;
  PtrArray<Viewport> viewports;  // creation order; the last is the top-most
  PtrArray<VideoStream> videoStreams;
  PtrArray<SoundRecord> soundRecords;
  PtrArray<ModelsSet> modelsSets;
  PtrArray<FontRecord> fonts;
  PtrArray<ImageSource> imageSources;
  CTRL_RetiredList retired;  // deleted by scripts, freed last
};
