// End to end through SDL's disk audio driver: a looping sound pumped as the
// frame loop pumps it must come out as one unbroken copy of its samples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "model/viewport.h"
#include "support/scoped_env.h"
#include "view/sound_win32.h"

namespace {

using testsupport::ScopedEnv;

TEST(SoundDiskCapture, ALoopingSoundPlaysContiguouslyForFiveSeconds) {
  const std::string path = std::string(VS_BINARY_DIR) + "/sound_capture_" + std::to_string(getpid()) + ".raw";
  std::remove(path.c_str());
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILE", path);

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

  {
    VIEW_SoundWin32 out(reinterpret_cast<HWND>(static_cast<uintptr_t>(1)));
    ASSERT_TRUE(out.hasBuffer()) << "the disk driver did not open";
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(6500);
    while (std::chrono::steady_clock::now() < end) {
      int32_t frames = out.update(viewports);
      ASSERT_NE(2147483647, frames);
      // The controller's pump for a looping sound at the output rate.
      sound->position += frames;
      if (sound->position >= length) sound->position -= length;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
  viewport.mike = nullptr;

  std::vector<int16_t> captured;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int16_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, sizeof buf[0], 4096, f)) > 0) captured.insert(captured.end(), buf, buf + n);
    std::fclose(f);
  }
  std::remove(path.c_str());
  const size_t frames = captured.size() / 2;
  size_t start = 0;
  while (start < frames && captured[2 * start] == 0 && captured[2 * start + 1] == 0) ++start;
  ASSERT_LT(start, frames) << "nothing but silence captured";
  // The last ring's worth may be whatever the device took after the last fill.
  const size_t checked = frames - start > 4096 ? frames - start - 4096 : 0;
  EXPECT_GE(checked, 5u * 44100) << "captured " << frames << " frames, silence " << start;
  for (size_t j = 0; j < checked; ++j) {
    const int16_t want = expected[j % length];
    ASSERT_EQ(want, captured[2 * (start + j)]) << "left, frame " << j << " after the silence";
    ASSERT_EQ(want, captured[2 * (start + j) + 1]) << "right, frame " << j << " after the silence";
  }
}

}  // namespace
