#include <gtest/gtest.h>

#include <memory>

#include "model/sample.h"
#include "model/sound.h"

namespace {

// A sample record with channels of the given values.
std::unique_ptr<SoundRecord> makeSample(std::initializer_list<std::initializer_list<float>> channels) {
  auto s = std::make_unique<SoundRecord>();
  s->sampleRate = 44100;
  s->channels.setSize(static_cast<int32_t>(channels.size()));
  int c = 0;
  for (auto& values : channels) {
    for (float v : values) s->channels[c].append(v);
    ++c;
  }
  return s;
}

TEST(Sound, DefaultsAndLoopingWrap) {
  MDL_Sound sound;
  EXPECT_EQ(sound.type, OBJECT_SOUND);
  EXPECT_EQ(sound.volume, 1.0);
  EXPECT_TRUE(sound.autoDelete);
  EXPECT_FALSE(sound.looping);
  EXPECT_EQ(sound.sampleAt(0), 0.0f);  // no sample

  auto s = std::make_unique<SoundRecord>();
  s->channels.setSize(1);
  for (int i = 0; i < 100; ++i) s->channels[0].append(static_cast<float>(i));
  sound.sample = s.get();
  sound.position = 98;
  sound.looping = true;
  const float looped[4] = {98, 99, 0, 1};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(sound.sampleAt(k), looped[k]) << k;
  sound.looping = false;
  const float once[4] = {98, 99, 0, 0};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(sound.sampleAt(k), once[k]) << k;
}

TEST(Sound, NegativePositionsEmptyChannelsAndMissingChannels) {
  auto s = makeSample({{1, 2, 3}, {10, 20}});
  MDL_Sound sound;
  sound.sample = s.get();
  sound.position = -2;
  EXPECT_EQ(sound.sampleAt(0), 0.0f);
  EXPECT_EQ(sound.sampleAt(1), 0.0f);
  EXPECT_EQ(sound.sampleAt(2), 1.0f);
  sound.looping = true;
  EXPECT_EQ(sound.sampleAt(0), 2.0f);   // -2 wraps to 1
  EXPECT_EQ(sound.sampleAt(-2), 3.0f);  // -4 wraps to 2
  sound.position = 0;
  // Summing: each channel wraps by its own length.
  sound.channel = -1;
  EXPECT_EQ(sound.sampleAt(2), 3.0f + 10.0f);
  sound.looping = false;
  EXPECT_EQ(sound.sampleAt(2), 3.0f);
  EXPECT_EQ(sound.sampleAt(1), 22.0f);
  // A channel the sample does not have.
  sound.channel = 2;
  EXPECT_EQ(sound.sampleAt(0), 0.0f);
  sound.channel = 1;
  EXPECT_EQ(sound.sampleAt(1), 20.0f);

  auto empty = makeSample({{}});
  sound.sample = empty.get();
  sound.looping = true;
  sound.channel = 0;
  EXPECT_EQ(sound.sampleAt(5), 0.0f);
  sound.channel = -1;
  EXPECT_EQ(sound.sampleAt(5), 0.0f);
  auto none = makeSample({});
  sound.sample = none.get();
  EXPECT_EQ(sound.sampleAt(0), 0.0f);
}

TEST(Sound, StreamedSamplesIgnoreThePositionAndPausedOnesAreSilent) {
  auto s = makeSample({{5, 6, 7}});
  s->streaming = true;
  MDL_Sound sound;
  sound.sample = s.get();
  sound.position = 1000;
  sound.looping = true;
  EXPECT_EQ(sound.sampleAt(0), 5.0f);
  EXPECT_EQ(sound.sampleAt(2), 7.0f);
  EXPECT_EQ(sound.sampleAt(3), 0.0f);  // no wrap for a stream
  EXPECT_EQ(sound.sampleAt(-1), 0.0f);
  s->paused = true;
  EXPECT_EQ(sound.sampleAt(0), 0.0f);
}

TEST(Mike, Defaults) {
  MDL_Mike mike;
  EXPECT_EQ(mike.type, OBJECT_MIKE);
  EXPECT_EQ(mike.gain, 1.0);
  EXPECT_TRUE(mike.on);
}

}  // namespace
