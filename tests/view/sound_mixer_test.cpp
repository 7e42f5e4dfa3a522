// The software mixer: attenuation, pan, clipping, resampling and looping,
// on synthetic samples.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "model/viewport.h"
#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "view/sound.h"

namespace {

// The mixer alone, at the output rate of the real device.
class MixerOnly : public VIEW_Sound {
 public:
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>&) override { return 0; }
  void pause() override {}
  void resume() override {}
};

class Mixer : public ::testing::Test {
 protected:
  Scene scene;
  Scene otherScene;
  std::vector<std::unique_ptr<SoundRecord>> records;
  std::vector<std::unique_ptr<Viewport>> viewportRecords;
  PtrArray<Viewport> viewports;
  MixerOnly mixer;

  ~Mixer() override {
    for (auto& v : viewportRecords) v->mike = nullptr;
  }

  SoundRecord* record(int32_t rate, const std::vector<float>& frames) {
    auto r = std::make_unique<SoundRecord>();
    r->sampleRate = rate;
    EXPECT_TRUE(r->channels.setSize(1));
    EXPECT_TRUE(r->channels[0].resize(static_cast<int32_t>(frames.size())));
    for (size_t i = 0; i < frames.size(); ++i) r->channels[0][static_cast<int32_t>(i)] = frames[i];
    records.push_back(std::move(r));
    return records.back().get();
  }
  SoundRecord* constant(float value, int32_t frames = 20000) {
    return record(44100, std::vector<float>(static_cast<size_t>(frames), value));
  }

  MDL_Sound* sound(SoundRecord* sample, const Vec3& at, double volume = 1.0, Scene* in = nullptr) {
    MDL_Sound* s = new MDL_Sound();
    s->sample = sample;
    s->volume = volume;
    s->editWorld().position = at;
    EXPECT_TRUE((in ? in : &scene)->registerObject(s));
    return s;
  }

  // A listener at `at` with the identity basis, heard through a new viewport.
  MDL_Mike* listener(const Vec3& at = Vec3(), Scene* in = nullptr) {
    MDL_Mike* m = new MDL_Mike();
    m->editWorld().position = at;
    EXPECT_TRUE((in ? in : &scene)->registerObject(m));
    auto v = std::make_unique<Viewport>();
    v->mike = m;
    viewports.append(v.get());
    viewportRecords.push_back(std::move(v));
    return m;
  }

  // Mixed frames as interleaved (left, right) pairs.
  std::vector<int16_t> mix(int32_t frames, int32_t first = 0) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2 + 2, 0x5555);
    mixer.mixSounds(viewports, frames, first, out.data(), out.data() + 1);
    EXPECT_EQ(0x5555, out[out.size() - 2]) << "wrote past the frames asked for";
    out.resize(static_cast<size_t>(frames) * 2);
    return out;
  }
};

TEST_F(Mixer, DistanceAndDirectionGiveTheDocumentedLevels) {
  struct Case {
    Vec3 at;
    int16_t left, right;
  } cases[] = {
      {{0, 0, 0}, 8191, 8191},  // at the listener: centred, half each side
      {{3, 0, 0}, 0, 8622},     // on +X: all right, att = 1.9
      {{-3, 0, 0}, 8622, 0},
      {{0, 3, 0}, 4311, 4311},  // ahead: centred and attenuated
  };
  SoundRecord* half = constant(0.5f);
  listener();
  for (const Case& c : cases) {
    MDL_Sound* s = sound(half, c.at);
    std::vector<int16_t> out = mix(8);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(c.left, out[2 * i]) << c.at.x << "," << c.at.y;
      EXPECT_EQ(c.right, out[2 * i + 1]) << c.at.x << "," << c.at.y;
    }
    s->volume = 0.0;  // out of the next case
  }
}

// The listener's own placement and gain: the direction is taken against the
// mike's X axis from the mike's position, and a side's gain is capped at 1
// before the volume scales it.
TEST_F(Mixer, ListenerPlacementGainAndTheCapBeforeTheVolume) {
  struct Case {
    const char* what;
    Vec3 mikeAt;
    bool turned;  // mike turned a quarter about Z: its X axis is world +Y
    double gain;
    Vec3 soundAt;
    double volume;
    int16_t left, right;
  } cases[] = {
      {"turned mike, sound on its X axis", {}, true, 1.0, {0, 3, 0}, 1.0, 0, 8622},
      {"turned mike, sound ahead of it", {}, true, 1.0, {3, 0, 0}, 1.0, 4311, 4311},
      {"moved mike", {1, 2, 0}, false, 1.0, {4, 2, 0}, 1.0, 0, 8622},
      {"gain 2 at distance 3 is capped at 1", {}, false, 2.0, {3, 0, 0}, 1.0, 0, 16383},
      {"the volume scales the capped gain", {}, false, 2.0, {3, 0, 0}, 0.5, 0, 8191},
      {"gain 0.5 at the listener", {}, false, 0.5, {}, 1.0, 4095, 4095},
  };
  SoundRecord* half = constant(0.5f);
  for (const Case& c : cases) {
    Scene here;
    MixerOnly m;
    Viewport vp;
    PtrArray<Viewport> list;
    MDL_Sound* s = new MDL_Sound();
    s->sample = half;
    s->volume = c.volume;
    s->editWorld().position = c.soundAt;
    ASSERT_TRUE(here.registerObject(s));
    MDL_Mike* mike = new MDL_Mike();
    mike->gain = c.gain;
    RigidTransform& at = mike->editWorld();
    at.position = c.mikeAt;
    if (c.turned) {
      at.basis.X() = Vec3(0, 1, 0);
      at.basis.Y() = Vec3(-1, 0, 0);
      at.inverseStale = 1;
    }
    ASSERT_TRUE(here.registerObject(mike));
    vp.mike = mike;
    list.append(&vp);
    std::vector<int16_t> out(8, 77);
    m.mixSounds(list, 4, 0, out.data(), out.data() + 1);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(c.left, out[2 * i]) << c.what;
      EXPECT_EQ(c.right, out[2 * i + 1]) << c.what;
    }
    vp.mike = nullptr;
  }
}

TEST_F(Mixer, ListenersSumAndTheSumClips) {
  SoundRecord* half = constant(0.5f);
  sound(half, Vec3());
  listener();
  listener();
  std::vector<int16_t> out = mix(4);
  EXPECT_EQ(16383, out[0]);
  EXPECT_EQ(16383, out[1]);

  SoundRecord* full = constant(1.0f);
  SoundRecord* negative = constant(-1.0f);
  MDL_Sound* loud = sound(full, Vec3(), 3.0);
  out = mix(4);
  EXPECT_EQ(32767, out[0]) << "a sum above 1.0 clips";
  EXPECT_EQ(32767, out[1]);
  loud->sample = negative;
  out = mix(4);
  EXPECT_EQ(-32768, out[0]);
  EXPECT_EQ(-32768, out[1]);
}

TEST_F(Mixer, SilentCases) {
  SoundRecord* half = constant(0.5f);
  struct Case {
    const char* what;
    double volume;
    bool mikeOn;
    bool otherScene;
    bool noMike;
  } cases[] = {
      {"volume 0", 0.0, true, false, false},
      {"negative volume", -1.0, true, false, false},
      {"mike off", 1.0, false, false, false},
      {"mike in another scene", 1.0, true, true, false},
      {"viewport without a mike", 1.0, true, false, true},
  };
  for (const Case& c : cases) {
    Scene soundScene;
    Scene mikeScene;
    MixerOnly m;
    PtrArray<Viewport> list;
    Viewport vp;
    MDL_Sound* s = new MDL_Sound();
    s->sample = half;
    s->volume = c.volume;
    soundScene.registerObject(s);
    MDL_Mike* mike = new MDL_Mike();
    mike->on = c.mikeOn;
    (c.otherScene ? mikeScene : soundScene).registerObject(mike);
    vp.mike = c.noMike ? nullptr : mike;
    list.append(&vp);
    std::vector<int16_t> out(8, 77);
    m.mixSounds(list, 4, 0, out.data(), out.data() + 1);
    EXPECT_EQ(std::vector<int16_t>(8, 0), out) << c.what;
    vp.mike = nullptr;
  }
}

TEST_F(Mixer, HalfRateSampleRepeatsEachFrameTwice) {
  std::vector<float> ramp;
  for (int i = 0; i < 3000; ++i) ramp.push_back(static_cast<float>(i) / 4096.0f);
  SoundRecord* slow = record(22050, ramp);
  listener();
  sound(slow, Vec3());
  // Start inside the fill, on an odd frame, to check the nearest-earlier rule.
  std::vector<int16_t> out = mix(1000, 3);
  for (int i = 0; i < 1000; ++i) {
    float s = ramp[static_cast<size_t>((3 + i) / 2)];
    int16_t want = static_cast<int16_t>(s * 0.5f * 32767.0f);
    ASSERT_EQ(want, out[2 * i]) << "frame " << i;
  }
}

TEST_F(Mixer, LoopingSampleIsPeriodicAcrossChunks) {
  std::vector<float> frames;
  for (int i = 0; i < 100; ++i) frames.push_back(static_cast<float>(i) / 128.0f - 0.3f);
  SoundRecord* loop = record(44100, frames);
  listener();
  MDL_Sound* s = sound(loop, Vec3());
  s->looping = true;
  s->position = 37;
  // More than two chunks of the mixer, so the chunk seams are checked too.
  const int32_t n = 2 * VIEW_Sound::kChunkFrames + 777;
  std::vector<int16_t> out = mix(n);
  for (int i = 0; i < n; ++i) {
    int16_t want = static_cast<int16_t>(frames[static_cast<size_t>((37 + i) % 100)] * 0.5f * 32767.0f);
    ASSERT_EQ(want, out[2 * i]) << "frame " << i;
    if (i >= 100) {
      ASSERT_EQ(out[2 * (i - 100)], out[2 * i]);
      ASSERT_EQ(out[2 * (i - 100) + 1], out[2 * i + 1]);
    }
  }
}

TEST_F(Mixer, NegativePositionReadsNothingBeforeTheSample) {
  std::vector<float> frames;
  for (int i = 0; i < 10; ++i) frames.push_back(0.1f * static_cast<float>(i + 1));
  SoundRecord* rec = record(44100, frames);
  listener();
  MDL_Sound* once = sound(rec, Vec3());
  once->position = -3;
  std::vector<int16_t> out = mix(6);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(0, out[2 * i]) << "before the start is silence";
  EXPECT_EQ(static_cast<int16_t>(frames[0] * 0.5f * 32767.0f), out[6]);

  once->looping = true;
  out = mix(4);
  EXPECT_EQ(static_cast<int16_t>(frames[7] * 0.5f * 32767.0f), out[0]) << "wraps into the sample";
  EXPECT_EQ(static_cast<int16_t>(frames[0] * 0.5f * 32767.0f), out[6]);
}

}  // namespace

namespace {

// The mixer reads ordinary samples straight from the channel rather than
// through sampleAt per frame; whatever the play state and the rate, the
// result must be sampleAt's at the nearest earlier frame.
TEST_F(Mixer, ReadsTheSameSamplesAsSampleAt) {
  struct Case {
    const char* what;
    int32_t length;
    int32_t position;
    bool looping;
    int32_t channel;
    bool streaming;
    bool paused;
  } cases[] = {
      {"plain", 7000, 0, false, 0, false, false},
      {"ends inside the fill", 7000, 3000, false, 0, false, false},
      {"past the end", 700, 900, false, 0, false, false},
      {"starts before the sample", 7000, -5000, false, 0, false, false},
      {"entirely before the sample", 7000, -20000, false, 0, false, false},
      {"looping, short", 97, 13, true, 0, false, false},
      {"looping, one frame", 1, 0, true, 0, false, false},
      {"looping, negative", 333, -1000, true, 0, false, false},
      {"looping, far position", 4801, 2000000000, true, 0, false, false},
      {"second channel", 5000, 10, true, 1, false, false},
      {"missing channel", 5000, 0, false, 2, false, false},
      {"channels summed", 5000, 4000, true, -1, false, false},
      {"streamed", 6000, 123, true, 0, true, false},
      {"paused", 6000, 0, false, 0, false, true},
  };
  listener();
  auto check = [&](int32_t rate, const Case& c) {
    SoundRecord* rec = record(rate, {});
    ASSERT_TRUE(rec->channels.setSize(2));
    for (int32_t ch = 0; ch < 2; ++ch) {
      int32_t n = ch == 0 ? c.length : c.length / 2 + 1;
      ASSERT_TRUE(rec->channels[ch].resize(n));
      for (int32_t i = 0; i < n; ++i)
        rec->channels[ch][i] = 0.4f * std::sin(0.01f * static_cast<float>(i) + static_cast<float>(ch));
    }
    rec->streaming = c.streaming;
    rec->paused = c.paused;
    MDL_Sound* s = sound(rec, Vec3());
    s->position = c.position;
    s->looping = c.looping;
    s->channel = c.channel;
    const int32_t first = 5, n = 2 * VIEW_Sound::kChunkFrames + 200;
    std::vector<int16_t> out = mix(n, first);
    for (int32_t i = 0; i < n; ++i) {
      const int64_t at = static_cast<int64_t>(first + i) * rate / 44100;
      int16_t want = static_cast<int16_t>(s->sampleAt(at) * 0.5f * 32767.0f);
      ASSERT_EQ(want, out[2 * i]) << c.what << " at " << rate << " Hz, frame " << i;
      ASSERT_EQ(want, out[2 * i + 1]) << c.what << " at " << rate << " Hz, frame " << i;
    }
    s->volume = 0.0;
  };
  for (int32_t rate : {44100, 22050, 48000, 11025, 96000}) {
    for (const Case& c : cases) check(rate, c);
  }
}

}  // namespace
