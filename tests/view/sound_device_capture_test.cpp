// The sound output against the device as it really pulls: a looping sound
// pumped as the frame loop pumps it must come out as one unbroken copy of
// its samples, however the device's pulls fall between the frames.
//
// The test moves the device itself, one pull of SDL's own size at a time,
// so the outcome does not hang on how the machine schedules the audio
// thread against this one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "model/viewport.h"
#include "platform/dsound_testing.h"
#include "view/sound_win32.h"

namespace {

TEST(SoundDeviceCapture, ALoopingSoundPlaysContiguouslyForFiveSeconds) {
  // A sample no window of which repeats within its length, never 0, so the
  // leading silence ends at its first frame.
  const int32_t length = 50021;
  SoundRecord sample;
  sample.sampleRate = 44100;
  ASSERT_TRUE(sample.channels.setSize(1));
  ASSERT_TRUE(sample.channels[0].resize(length));
  uint32_t seed = 12345;
  std::vector<int16_t> expected(length);
  for (int32_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    float v = 0.05f + 0.9f * static_cast<float>(seed >> 8) / 16777216.0f;
    sample.channels[0][i] = v;
    expected[i] = static_cast<int16_t>(v * 0.5f * 32767.0f);
  }

  Scene scene;
  MDL_Sound* sound = new MDL_Sound();
  sound->sample = &sample;
  sound->looping = true;
  ASSERT_TRUE(scene.registerObject(sound));
  MDL_Mike* mike = new MDL_Mike();
  ASSERT_TRUE(scene.registerObject(mike));
  Viewport viewport;
  viewport.mike = mike;
  PtrArray<Viewport> viewports;
  viewports.append(&viewport);

  std::vector<int16_t> captured;
  {
    vsplat::SoundDeviceHold hold;  // before the output: the device stays put
    VIEW_SoundWin32 out(reinterpret_cast<HWND>(static_cast<uintptr_t>(1)));
    ASSERT_TRUE(out.hasBuffer()) << "no SDL audio device";
    const size_t chunk = vsplat::soundDeviceChunkBytes();
    ASSERT_GT(chunk, 0u);
    ASSERT_EQ(0u, chunk % 4);
    // Between two frames the device may take anything from nothing up to all
    // the ring holds ahead of its claimed chunk; the frames' spacing is drawn
    // from that range.
    const uint32_t mostPulls = static_cast<uint32_t>(VIEW_SoundWin32::kRingBytes / chunk) - 1;
    ASSERT_GT(mostPulls, 0u);
    uint32_t schedule = 777;
    const size_t wanted = 5 * 44100 + 2 * VIEW_SoundWin32::kRingBytes / 4;
    for (int frame = 0; captured.size() / 2 < wanted; ++frame) {
      ASSERT_LT(frame, 100000) << "the output stopped taking the sound";
      schedule = schedule * 1664525u + 1013904223u;
      const uint32_t pulls = (schedule >> 16) % (mostPulls + 1);
      for (uint32_t k = 0; k < pulls; ++k) {
        std::vector<int16_t> pulled = hold.pull(chunk);
        captured.insert(captured.end(), pulled.begin(), pulled.end());
      }
      int32_t frames = out.update(viewports);
      ASSERT_NE(2147483647, frames);
      // Each fill writes back exactly what the device took since the last one.
      ASSERT_EQ(static_cast<int32_t>(pulls * chunk / 4), frames) << "frame " << frame;
      // The controller's pump for a looping sound at the output rate.
      sound->position += frames;
      if (sound->position >= length) sound->position -= length;
    }
  }
  viewport.mike = nullptr;

  const size_t frames = captured.size() / 2;
  size_t start = 0;
  while (start < frames && captured[2 * start] == 0 && captured[2 * start + 1] == 0) ++start;
  ASSERT_LT(start, frames) << "nothing but silence captured";
  // Every pull follows the fill that wrote it, so all of it counts.
  const size_t checked = frames - start;
  EXPECT_GE(checked, 5u * 44100) << "captured " << frames << " frames, silence " << start;
  for (size_t j = 0; j < checked; ++j) {
    const int16_t want = expected[j % length];
    ASSERT_EQ(want, captured[2 * (start + j)]) << "left, frame " << j << " after the silence";
    ASSERT_EQ(want, captured[2 * (start + j) + 1]) << "right, frame " << j << " after the silence";
  }
}

}  // namespace
