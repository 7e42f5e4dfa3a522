#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller/ctrl_generic.h"
#include "controller/sound_source.h"
#include "platform/testing.h"
#include "support/test_media.h"
#include "support/test_package.h"

namespace {

// Root-mean-square difference between the decoded channel and the signal
// that was encoded.
double rmsError(const FloatArray& decoded, int channel, int rate) {
  testmedia::Signal signal = testmedia::tones(rate);
  double sum = 0;
  for (int32_t i = 0; i < decoded.count; ++i) {
    const double d = decoded[i] - signal(channel, i);
    sum += d * d;
  }
  return decoded.count ? std::sqrt(sum / decoded.count) : 1.0;
}

TEST(SoundSource, MonoAndStereoAtTwoRatesDecodeToTheirChannels) {
  struct Case {
    int channels, rate;
    int64_t frames;
  } cases[] = {{1, 22050, 11025}, {2, 44100, 30000}, {2, 22050, 5000}, {1, 44100, 44100}};
  for (const Case& c : cases) {
    for (bool store : {false, true}) {
      auto ctrl = testpkg::openMembers({{"s.ogg", testmedia::makeOgg(c.channels, c.rate, c.frames)}}, store);
      ASSERT_NE(ctrl->package, nullptr);
      SoundRecord* sound = ctrl->loadSound("s.ogg");
      ASSERT_NE(sound, nullptr);
      ASSERT_EQ(ctrl->resources.soundRecords.count, 1);
      EXPECT_EQ(ctrl->resources.soundRecords[0], sound);
      EXPECT_STREQ(sound->name, "s.ogg");
      EXPECT_EQ(sound->sampleRate, c.rate);
      ASSERT_EQ(sound->channels.count, c.channels);
      EXPECT_FALSE(sound->streaming || sound->paused);
      for (int ch = 0; ch < c.channels; ++ch) {
        EXPECT_EQ(sound->channels[ch].count, c.frames) << c.channels << " " << c.rate << " ch " << ch;
        EXPECT_LT(rmsError(sound->channels[ch], ch, c.rate), 0.03) << c.channels << " " << c.rate << " ch " << ch;
      }
      EXPECT_TRUE(ctrl->failures.empty());
    }
  }
}

TEST(SoundSource, AMissingFileIsNullAndBytesThatAreNoOggAreASilentRecord) {
  const std::string ogg = testmedia::makeOgg(2, 44100, 20000);
  auto ctrl = testpkg::openMembers({{"noise.ogg", std::string(5000, '\x5A')},
                                    {"empty.ogg", ""},
                                    {"headers-cut.ogg", ogg.substr(0, 100)},
                                    {"font.ogg", testmedia::readFile(testmedia::kPackageFontPath)}});
  ASSERT_NE(ctrl->package, nullptr);
  EXPECT_EQ(ctrl->loadSound("missing.ogg"), nullptr);
  EXPECT_EQ(ctrl->resources.soundRecords.count, 0);
  for (const char* name : {"noise.ogg", "empty.ogg", "headers-cut.ogg", "font.ogg"}) {
    SoundRecord* sound = ctrl->loadSound(name);
    ASSERT_NE(sound, nullptr) << name;
    EXPECT_EQ(sound->sampleRate, 0) << name;
    EXPECT_EQ(sound->channels.count, 0) << name;
    EXPECT_EQ(sound->frameCount(), 0) << name;
  }
  EXPECT_EQ(ctrl->resources.soundRecords.count, 4);
}

TEST(SoundSource, DamagedStreamsDecodeWhatTheyCanWithChannelsOfOneLength) {
  const int64_t frames = 5 * 44100;  // long enough to span many pages
  const std::string ogg = testmedia::makeOgg(2, 44100, frames);
  std::string damaged = ogg;  // bytes of the audio overwritten
  for (size_t i = ogg.size() / 2; i < ogg.size() / 2 + 300; ++i) damaged[i] = static_cast<char>(i * 131);
  std::string lyingPage = ogg;  // a page header claiming more segments than follow
  const size_t page = ogg.find("OggS", ogg.size() / 2);
  ASSERT_NE(page, std::string::npos);
  lyingPage[page + 26] = '\xFF';
  auto ctrl = testpkg::openMembers(
      {{"half.ogg", ogg.substr(0, ogg.size() * 3 / 4)}, {"damaged.ogg", damaged}, {"lying.ogg", lyingPage}});
  for (const char* name : {"half.ogg", "damaged.ogg", "lying.ogg"}) {
    SoundRecord* sound = ctrl->loadSound(name);
    ASSERT_NE(sound, nullptr) << name;
    EXPECT_EQ(sound->sampleRate, 44100) << name;
    ASSERT_EQ(sound->channels.count, 2) << name;
    EXPECT_EQ(sound->channels[0].count, sound->channels[1].count) << name;
    EXPECT_GT(sound->channels[0].count, 0) << name;
    EXPECT_LE(sound->channels[0].count, frames + 4096) << name;
  }
}

TEST(SoundSource, AChainedStreamNeverFillsChannelsTheRecordLacks) {
  // However vorbisfile presents the links, the record keeps the channel
  // count it opened with and leaves out a link with another: a stereo block
  // is never written into a mono record.
  const std::string mono = testmedia::makeOgg(1, 22050, 8000);
  const std::string stereo = testmedia::makeOgg(2, 22050, 9000);
  auto ctrl = testpkg::openMembers({{"chain.ogg", mono + stereo}, {"reverse.ogg", stereo + mono}});
  for (const char* name : {"chain.ogg", "reverse.ogg"}) {
    SoundRecord* chain = ctrl->loadSound(name);
    ASSERT_NE(chain, nullptr);
    for (int32_t c = 0; c < chain->channels.count; ++c) {
      EXPECT_EQ(chain->channels[c].count, chain->channels[0].count) << name;
      EXPECT_LE(chain->channels[c].count, 9000) << name;
    }
  }
}

TEST(SoundSource, MemoryStreamReadsAndSeeksStayInsideTheBytes) {
  static const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemoryStream m;
  m.bytes = bytes;
  m.size = 10;
  uint8_t out[16] = {};
  EXPECT_EQ(memRead(out, 2, 3, &m), 6u);
  EXPECT_EQ(memTell(&m), 6);
  EXPECT_EQ(memRead(out, 1, 100, &m), 4u);
  EXPECT_EQ(out[3], 9);
  EXPECT_EQ(memRead(out, 1, 1, &m), 0u);
  memSeek(&m, 0, 0);
  EXPECT_EQ(memRead(out, SIZE_MAX / 2, 4, &m), 10u);  // a product past size_t reads what is left
  struct Seek {
    int64_t offset;
    int whence;
    int64_t at;
  } seeks[] = {{3, 0, 3},   {2, 1, 5},          {-1, 2, 9},        {-50, 1, 0},
               {50, 0, 10}, {INT64_MAX, 1, 10}, {INT64_MIN, 2, 0}, {INT64_MIN, 1, 0}};
  for (const Seek& s : seeks) {
    EXPECT_EQ(memSeek(&m, s.offset, s.whence), 0);
    EXPECT_EQ(memTell(&m), s.at) << s.offset << " " << s.whence;
  }
  EXPECT_EQ(memClose(&m), 1);
}

TEST(SoundSource, DestroyEmptiesTheRecordOnce) {
  auto ctrl = testpkg::openMembers({{"s.ogg", testmedia::makeOgg(2, 22050, 3000)}});
  SoundRecord* sound = ctrl->loadSound("s.ogg");
  ASSERT_EQ(sound->channels.count, 2);
  sound->destroy();
  EXPECT_EQ(sound->name, nullptr);
  EXPECT_EQ(sound->channels.count, 0);
  sound->destroy();  // and again when the controller frees it
}

}  // namespace

namespace {

TEST(SoundSource, AChainedLinkAtAnotherRateIsLeftOutAndSaysSo) {
  // 22050 Hz, then 44100 Hz, then 22050 Hz again: the record plays at the
  // first link's rate, so the middle link is left out (it would play at
  // twice its speed) and the last one follows the first.
  const std::string first = testmedia::makeOgg(1, 22050, 8000);
  const std::string other = testmedia::makeOgg(1, 44100, 30000);
  const std::string last = testmedia::makeOgg(1, 22050, 6000);
  vsplat::DebugCapture log;
  auto ctrl = testpkg::openMembers({{"chain.ogg", first + other + last}, {"same.ogg", first + last}});
  SoundRecord* chain = ctrl->loadSound("chain.ogg");
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->sampleRate, 22050);
  ASSERT_EQ(chain->channels.count, 1);
  ASSERT_EQ(chain->frameCount(), 8000 + 6000) << log.text();
  // The tone runs on from each link's own start.
  const testmedia::Signal tone = testmedia::tones(22050);
  for (int i = 100; i < 1000; ++i) {
    ASSERT_NEAR(chain->channels[0][i], tone(0, i), 0.05) << i;
    ASSERT_NEAR(chain->channels[0][8000 + i], tone(0, i), 0.05) << 8000 + i;
  }
  EXPECT_NE(log.text().find("Sound chain.ogg: link 1 of the chain (44100 Hz, 1 channels) left out: the sound plays at "
                            "22050 Hz with 1 channels"),
            std::string::npos)
      << log.text();
  // Links at one rate play on one after the other, sized once.
  log.clear();
  SoundRecord* same = ctrl->loadSound("same.ogg");
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->frameCount(), 14000);
  EXPECT_EQ(same->channels[0].capacity, 14000);
  EXPECT_EQ(log.text(), "");
}

}  // namespace
