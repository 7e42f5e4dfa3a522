// The decoded-sound record that sound objects play: one float array per
// channel at the record's own rate. The media sources fill it (Ogg Vorbis
// files, a video's audio track); sound objects and the mixer only read it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>

#include "model/callbacks.h"
#include "model/ptr_array.h"

using FloatArray = GrowArray<float>;

// The channel list, always sized exactly (capacity = count = channels).
struct ChannelArray {
  FloatArray* data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;

  ChannelArray() = default;
  ChannelArray(const ChannelArray&) = delete;
  ChannelArray& operator=(const ChannelArray&) = delete;
  ~ChannelArray() { delete[] data; }

  // Replaces the channels by n empty ones; false (and no channels) when
  // memory runs out.
  bool setSize(int32_t n) {
    delete[] data;
    data = nullptr;
    count = capacity = 0;
    if (n <= 0) return true;
    data = new (std::nothrow) FloatArray[static_cast<size_t>(n)];
    if (!data) return false;
    count = capacity = n;
    return true;
  }

  FloatArray& operator[](int32_t i) { return data[i]; }
  const FloatArray& operator[](int32_t i) const { return data[i]; }
};

struct SoundRecord {
  LMP_ProxyRef proxy;
  bool streaming = false;  // a video's audio, appended while it plays
  bool paused = false;     // a paused stream is silent and does not advance
  int32_t sampleRate = 0;  // frames per second
  // A streamed record's play point lies this far past the front of its
  // queue, in 1 / (output rate) of its frames: what the output's frame
  // count does not divide into whole frames, carried to the next fill.
  int64_t playRemainder = 0;
  char* name = nullptr;  // malloc'd, freed with the record
  ChannelArray channels;

  SoundRecord() = default;
  SoundRecord(const SoundRecord&) = delete;
  SoundRecord& operator=(const SoundRecord&) = delete;
  ~SoundRecord() { destroy(); }

  // Frees the name and every channel's samples and releases the proxy link;
  // the record is then empty (rate kept) and a second call does nothing.
  void destroy() {
    std::free(name);
    name = nullptr;
    channels.setSize(0);
    proxy.release();
  }

  // Frames of the first channel: the length the sound pump plays against.
  int32_t frameCount() const { return channels.count > 0 ? channels[0].count : 0; }
};
