// Positional sound emitters and listeners.
#pragma once

#include <cstdint>

#include "model/object.h"

struct SoundRecord;

class MDL_Sound : public MDL_Object {
 public:
  SoundRecord* sample = nullptr;  // not owned
  double volume = 1.0;
  int32_t position = 0;  // play position in frames of the sample's rate
  // The play position's fraction of a frame, in 1 / (output rate) of a
  // frame: a rate the output rate does not divide keeps its exact length.
  int64_t playRemainder = 0;
  bool looping = false;
  bool autoDelete = true;  // removed when it ends without looping
  int32_t channel = 0;     // the channel sampleAt reads; negative sums all

  MDL_Sound() { type = OBJECT_SOUND; }
  MDL_Sound(const MDL_Sound& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Sound(*this); }

  // One sample for the mixer at the play position plus offset frames (a
  // streamed sample ignores the position). 0 without a playable sample,
  // past the end without looping, and for a missing channel.
  float sampleAt(int64_t offset) const;
};

// The listener of a viewport.
class MDL_Mike : public MDL_Object {
 public:
  double gain = 1.0;
  bool on = true;

  MDL_Mike() { type = OBJECT_MIKE; }
  MDL_Mike(const MDL_Mike& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Mike(*this); }
};
