#include "model/sound.h"

#include "model/sample.h"

namespace {

// One channel at index i: wrapped into [0, length) when looping, else 0
// outside it (a negative play position reads nothing before the buffer).
float channelAt(const FloatArray& samples, int64_t i, bool wrap) {
  const int64_t length = samples.count;
  if (length <= 0) return 0.0f;
  if (wrap) {
    i %= length;
    if (i < 0) i += length;
  } else if (i < 0 || i >= length) {
    return 0.0f;
  }
  return samples.data[i];
}

}  // namespace

float MDL_Sound::sampleAt(int64_t offset) const {
  if (!sample || sample->paused || sample->channels.count <= 0) return 0.0f;
  const ChannelArray& channels = sample->channels;
  // A stream's audio is read from its start and never wraps.
  const bool wrap = looping && !sample->streaming;
  const int64_t index = sample->streaming ? offset : position + offset;
  if (channel >= 0) {
    if (channel >= channels.count) return 0.0f;
    return channelAt(channels[channel], index, wrap);
  }
  float sum = 0.0f;
  for (int32_t c = 0; c < channels.count; ++c) sum += channelAt(channels[c], index, wrap);
  return sum;
}
