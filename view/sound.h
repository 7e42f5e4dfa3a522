// The sound output: an abstract device fed once per frame, and the software
// mixer that renders every viewport's listener into 16-bit stereo.
#pragma once

#include <cstdint>

#include "model/ptr_array.h"

struct Viewport;

class VIEW_Sound {
 public:
  // The longest run mixed with one pair of accumulators.
  static constexpr int32_t kChunkFrames = 4800;

  virtual ~VIEW_Sound() = default;
  // Output frames per second.
  virtual int32_t getSampleRate() = 0;
  // Mixes up to the device's play position; the number of frames written,
  // 0 when the device cannot be read, 2147483647 when there is no device.
  virtual int32_t update(const PtrArray<Viewport>& viewports) = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;

  // Renders frames output frames, the first of which is frame `first` of this
  // fill, for each viewport's mike. left and right address 16-bit samples
  // 4 bytes apart (interleaved stereo).
  void mixSounds(const PtrArray<Viewport>& viewports, int32_t frames, int32_t first, int16_t* left, int16_t* right);
};
