#include "view/sound.h"

#include <algorithm>
#include <cmath>

#include "model/constants.h"
#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "model/viewport.h"

namespace {

// Gain for one side: the pan share times the distance gain, kept within
// [0, 1] (NaN from degenerate positions counts as 0), then the volume.
float sideGain(double share, float g, double volume) {
  float v = static_cast<float>(share) * g;
  if (!(v > 0.0f)) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  return static_cast<float>(v * volume);
}

int16_t toSample(float acc) {
  float v = acc * 32767.0f;
  if (v > 32767.0f) return 32767;
  if (v < -32768.0f) return -32768;
  if (v != v) return 0;
  return static_cast<int16_t>(v);
}

// Adds gains times samples [from, from + n) of one channel.
void addRun(const float* src, int32_t n, float gl, float gr, float* accL, float* accR) {
  for (int32_t i = 0; i < n; ++i) {
    accL[i] += src[i] * gl;
    accR[i] += src[i] * gr;
  }
}

// The fraction of a frame the play point lies past its whole position (the
// sound's own, or a stream's queue front), in 1 / outRate of a frame.
int64_t playRemainder(const MDL_Sound& sound, int64_t outRate) {
  const int64_t r = sound.sample->streaming ? sound.sample->playRemainder : sound.playRemainder;
  return r >= 0 && r < outRate ? r : 0;
}

// An ordinary sample read one channel at a time can be read straight from
// its channel array, with sampleAt's rules (wrapping when looping, 0 outside
// the channel). Streamed or paused records and summed channels are left to
// sampleAt: false. Otherwise *channel is the channel, or null when silent.
bool directChannel(const MDL_Sound& sound, const FloatArray** channel) {
  const SoundRecord& sample = *sound.sample;
  if (sample.streaming || sample.paused || sound.channel < 0) return false;
  *channel = nullptr;
  if (sound.channel < sample.channels.count && sample.channels[sound.channel].count > 0)
    *channel = &sample.channels[sound.channel];
  return true;
}

// At the output rate: whole runs of the channel.
void addRuns(const MDL_Sound& sound, const FloatArray& channel, int32_t first, int32_t frames, float gl, float gr,
             float* accL, float* accR) {
  const int64_t length = channel.count;
  int64_t index = static_cast<int64_t>(sound.position) + first;
  int32_t done = 0;
  if (sound.looping) {
    index %= length;
    if (index < 0) index += length;
    while (done < frames) {
      int32_t run = static_cast<int32_t>(std::min<int64_t>(frames - done, length - index));
      addRun(channel.data + index, run, gl, gr, accL + done, accR + done);
      done += run;
      index = 0;
    }
    return;
  }
  if (index < 0) {
    if (-index >= frames) return;
    done = static_cast<int32_t>(-index);  // silence before the start
    index = 0;
  }
  if (index < length) {
    int32_t run = static_cast<int32_t>(std::min<int64_t>(frames - done, length - index));
    addRun(channel.data + index, run, gl, gr, accL + done, accR + done);
  }
}

// At another rate: frame i reads sample position + (remainder + (first +
// i) * rate) / outRate, the quotient kept as a running whole part and
// remainder instead of a division per frame (first and rate not negative).
void addResampled(const MDL_Sound& sound, const FloatArray& channel, int32_t first, int32_t frames, int64_t rate,
                  int64_t outRate, float gl, float gr, float* accL, float* accR) {
  const int64_t length = channel.count;
  const float* data = channel.data;
  const int64_t step = rate / outRate, carry = rate % outRate;
  const int64_t start = static_cast<int64_t>(first) * rate + playRemainder(sound, outRate);
  int64_t remainder = start % outRate;
  int64_t index = static_cast<int64_t>(sound.position) + start / outRate;
  if (sound.looping) {
    index %= length;
    if (index < 0) index += length;
  }
  for (int32_t i = 0; i < frames; ++i) {
    float s = (index >= 0 && index < length) ? data[index] : 0.0f;
    accL[i] += s * gl;
    accR[i] += s * gr;
    index += step;
    remainder += carry;
    if (remainder >= outRate) {
      remainder -= outRate;
      ++index;
    }
    if (sound.looping && index >= length) index %= length;
  }
}

// Adds one sound as heard by one mike into the chunk's accumulators.
void mixVoice(MDL_Sound& sound, const MDL_Mike& mike, const Vec3& mikePos, const Vec3& mikeX, int32_t first,
              int32_t frames, int32_t outRate, float* accL, float* accR) {
  const SoundRecord* sample = sound.sample;
  if (!sample) return;  // sampleAt gives 0 for every frame
  Vec3 d = sound.getWorld().position - mikePos;
  double d2 = dot3(d, d);
  double att = 1.0 + widen(0.1f) * d2;
  double dist = std::sqrt(d2);
  if (dist > 0.0) d = Vec3(d.x / dist, d.y / dist, d.z / dist);
  double p = dot3(d, mikeX);
  float g = static_cast<float>(mike.gain / att);
  float gl = sideGain(0.5 * (1.0 - p), g, sound.volume);
  float gr = sideGain(0.5 * (1.0 + p), g, sound.volume);

  const int64_t rate = sample->sampleRate;
  const FloatArray* channel = nullptr;
  if (directChannel(sound, &channel)) {
    if (!channel) return;
    if (rate == outRate) {
      addRuns(sound, *channel, first, frames, gl, gr, accL, accR);
      return;
    }
    if (rate > 0 && first >= 0 && outRate > 0) {
      addResampled(sound, *channel, first, frames, rate, outRate, gl, gr, accL, accR);
      return;
    }
  }
  // The general case, a sampleAt call per frame: the nearest earlier sample
  // frame, no interpolation; 64-bit so that a late first frame times a high
  // rate cannot overflow.
  const int64_t remainder = playRemainder(sound, outRate);
  for (int32_t i = 0; i < frames; ++i) {
    const int64_t at = static_cast<int64_t>(first) + i;
    float s = sound.sampleAt(rate == outRate || rate <= 0 ? at : (remainder + at * rate) / outRate);
    accL[i] += s * gl;
    accR[i] += s * gr;
  }
}

}  // namespace

void VIEW_Sound::mixSounds(const PtrArray<Viewport>& viewports, int32_t frames, int32_t first, int16_t* left,
                           int16_t* right) {
  const int32_t outRate = getSampleRate();
  float accL[kChunkFrames];
  float accR[kChunkFrames];
  while (frames > 0) {
    const int32_t n = frames < kChunkFrames ? frames : kChunkFrames;
    for (int32_t i = 0; i < n; ++i) accL[i] = accR[i] = 0.0f;
    for (const Viewport* vp : viewports) {
      MDL_Mike* mike = vp ? vp->mike : nullptr;
      if (!mike || !mike->scene || !mike->on) continue;
      const RigidTransform& at = mike->getWorld();
      const Vec3 mikePos = at.position;
      const Vec3 mikeX = at.basis.X();
      for (MDL_Object* object : mike->scene->sounds) {
        MDL_Sound* sound = static_cast<MDL_Sound*>(object);
        if (sound && sound->volume > 0.0) mixVoice(*sound, *mike, mikePos, mikeX, first, n, outRate, accL, accR);
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      left[2 * i] = toSample(accL[i]);
      right[2 * i] = toSample(accR[i]);
    }
    left += 2 * n;
    right += 2 * n;
    first += n;
    frames -= n;
  }
}
