// A stream's sound as the player plays it, heard through SDL's disk audio
// driver: from the track's first sample, and after a seek from the sample
// of the picture's time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/video_stream.h"
#include "model/scene.h"
#include "model/sound.h"
#include "model/viewport.h"
#include "support/scoped_env.h"
#include "support/test_package.h"
#include "support/test_video.h"
#include "view/sound_win32.h"

namespace {

constexpr int kRate = 44100;

// The device, counting the frames each fill writes.
class CountingOutput : public VIEW_Sound {
 public:
  int32_t getSampleRate() override { return device.getSampleRate(); }
  int32_t update(const PtrArray<Viewport>& viewports) override {
    last = device.update(viewports);
    if (last != INT32_MAX) total += last;
    return last;
  }
  void pause() override { device.pause(); }
  void resume() override { device.resume(); }
  VIEW_SoundWin32 device{reinterpret_cast<HWND>(static_cast<uintptr_t>(1))};
  int32_t last = 0;
  int64_t total = 0;
};

std::vector<int16_t> leftOf(const std::string& path) {
  std::vector<int16_t> left;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int16_t frame[2];
    while (std::fread(frame, sizeof frame, 1, f) == 1) left.push_back(frame[0]);
    std::fclose(f);
  }
  return left;
}

// A tone gliding from 200 Hz up, at half scale: no stretch like another.
float glide(int64_t i) {
  const double t = static_cast<double>(i) / kRate;
  return static_cast<float>(0.5 * std::sin(2 * M_PI * (200 * t + 100 * t * t)));
}

// The track's sample i as the mixer writes it for a sound on the mike.
double heard(int64_t i) { return glide(i) * 0.5 * 32767; }

// The mean difference between n captured frames from `at` and the track
// from sample `from`.
double mismatch(const std::vector<int16_t>& left, int64_t at, int64_t from, int n) {
  double sum = 0;
  for (int j = 0; j < n; ++j) sum += std::fabs(left[at + j] - heard(from + j));
  return sum / n;
}

// The shift within ±range of `from` that matches the capture at `at` best.
int64_t bestShift(const std::vector<int16_t>& left, int64_t at, int64_t from, int range) {
  int64_t best = 0;
  double least = 1e30;
  for (int64_t k = -range; k <= range; ++k) {
    if (from + k < 0) continue;
    const double m = mismatch(left, at, from + k, 1000);
    if (m < least) {
      least = m;
      best = k;
    }
  }
  return best;
}

TEST(StreamCapture, TheSoundStartsAtItsStartAndASeekMovesItToThePicturesTime) {
  const std::string path = std::string(VS_BINARY_DIR) + "/stream_capture_" + std::to_string(getpid()) + ".raw";
  std::remove(path.c_str());
  testsupport::ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  testsupport::ScopedEnv file("SDL_DISKAUDIOFILE", path);
  // The device takes its 512 frames every 25 ms, about twice as slowly as
  // it would play them: a busy machine that starves the loop below for a
  // while still finds the ring filled ahead.
  testsupport::ScopedEnv pace("SDL_DISKAUDIODELAY", "25");

  // 4 s of pictures with the glide, its pages a second ahead of the
  // pictures' (the first ones before the first picture's).
  testmedia::TheoraSpec spec;
  spec.frames = 100;
  spec.audioChannels = 1;
  spec.audioRate = kRate;
  spec.audioSignal = [](int, int64_t i) { return glide(i); };
  spec.soundAhead = 1.0;
  spec.audioPageBytes = 1000;
  auto controller = testpkg::openMembers({{"c.ogg", testmedia::makeTheora(spec, [](int, int, int) {
                                             return testmedia::YCbCr{120, 128, 128};
                                           })}});
  ASSERT_TRUE(controller->package);
  auto* output = new CountingOutput;
  ASSERT_TRUE(output->device.hasBuffer()) << "the disk driver did not open";
  controller->setSoundOutput(std::unique_ptr<VIEW_Sound>(output));
  VideoStream* stream = VideoStream::open("c.ogg", controller.get());
  ASSERT_TRUE(stream && stream->frameCount == 100);
  controller->resources.videoStreams.append(stream);
  auto* scene = new Scene;
  controller->resources.scenes.append(scene);
  auto* mike = new MDL_Mike;
  ASSERT_TRUE(scene->registerObject(mike));
  auto* viewport = new Viewport;
  viewport->mike = mike;
  controller->resources.viewports.append(viewport);
  auto* sound = new MDL_Sound;
  sound->sample = &stream->sound;
  ASSERT_TRUE(scene->registerObject(sound));

  // The frame loop's sound pump and stream advance, the clock kept by the
  // frames written; a second in, a seek to 2 s. It runs until the capture
  // holds half a second past the seek.
  const int64_t before = kRate, after = kRate / 2;
  int64_t seekAt = -1, start = -1;
  std::vector<int16_t> left;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    controller->pumpSound();
    controller->clock.dt = static_cast<double>(output->last) / kRate;
    controller->updateStreams();
    if (seekAt < 0 && output->total >= before) {
      seekAt = output->total;
      stream->seek(2.0);
    }
    if (seekAt >= 0 && output->total >= seekAt + after) {
      left = leftOf(path);
      if (start < 0)
        for (size_t i = 0; i < left.size() && start < 0; ++i)
          if (std::abs(left[i]) > 2000) start = static_cast<int64_t>(i);
      if (start >= 0 && static_cast<int64_t>(left.size()) >= start + seekAt + after) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  controller->setSoundOutput(nullptr);
  std::remove(path.c_str());
  ASSERT_GE(start, 0) << "nothing but silence captured";
  ASSERT_GE(static_cast<int64_t>(left.size()), start + seekAt + after) << "the capture stopped short";

  // The first loud frame is the track's first loud sample: the capture's
  // track begins about `start - first` frames in (the coded sound may cross
  // the level a sample early or late), and matches the track from its first
  // sample for the whole second before the seek.
  int64_t first = 0;
  while (std::fabs(heard(first)) <= 2000) ++first;
  const int64_t shiftAtStart = bestShift(left, start - first + 200, 200, 2000);
  EXPECT_LE(std::abs(shiftAtStart), 2) << "the sound starts elsewhere";
  const int64_t origin = start - first - shiftAtStart;
  ASSERT_GE(origin, 0);
  EXPECT_LT(mismatch(left, origin, 0, static_cast<int>(seekAt) - 100), 300) << "before the seek";
  // From the seek on, the track from 2 s (88200), to the sample.
  const int64_t shift = bestShift(left, origin + seekAt + 100, 2 * kRate + 100, 3000);
  EXPECT_EQ(shift, 0) << "after the seek";
  EXPECT_LT(mismatch(left, origin + seekAt, 2 * kRate, static_cast<int>(after) - 100), 300) << "after the seek";
  sound->sample = nullptr;
}

}  // namespace
