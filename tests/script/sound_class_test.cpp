// The sound class: constructor, getters against setters, and the seek and
// time rules against the sample's rate.
#include <gtest/gtest.h>

#include "model/sample.h"
#include "model/sound.h"
#include "script_harness.h"
#include "support/test_media.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const LuaCase kCases[] = {
    {"a new sound plays once at full volume and then goes", R"(
      local o = newSound(s)
      assert(o:getType() == OBJECT_SOUND and tostring(o):find('^newSound %(') and getmetatable(o) == newSound)
      assert(o:getVolume() == 1 and o:getLooping() == false and o:getAutoDelete() == true)
      assert(o:getTime() == 0)  -- no sample: no time
      o:seek(3); assert(o:getTime() == 0))",
     nullptr},
    {"setters store", R"(
      local o = newSound(s)
      o:setVolume(0.25); o:setLooping(true); o:setAutoDelete(false)
      assert(o:getVolume() == 0.25 and o:getLooping() == true and o:getAutoDelete() == false))",
     nullptr},
    {"under a parent the sound takes its place and joins its children", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3))
      local o = newSound(p)
      assert(rawequal(o:getParent(), p) and vnear(o:getPosition(), 1, 2, 3) and p:getChild():getVolume() == 1))",
     nullptr},
    {"a sample argument must be a sample", "newSound(s, newObject(s))", "newSample"},
    {"setSample needs a sample", "newSound(s):setSample(nil)", "newSample"},
};

TEST(SoundClass, Cases) { scripttest::expectCasesInFreshPlayers(kCases, kSceneAndNear); }

TEST(SoundClass, SeekAndTimeFollowTheSampleRate) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "o = newSound(s)"), "");
  MDL_Sound* sound = p.model<MDL_Sound>("o");
  ASSERT_NE(sound, nullptr);
  SoundRecord sample;
  sample.sampleRate = 44100;
  sound->sample = &sample;
  ASSERT_EQ(p.run("o:seek(2); assert(o:getTime() == 2)"), "");
  EXPECT_EQ(sound->position, 88200);
  ASSERT_EQ(p.run("o:seek(0.5 / 44100 + 1 / 44100); assert(o:getTime() == 1 / 44100)"), "");  // truncated
  ASSERT_EQ(p.run("o:seek(-1)"), "");
  EXPECT_EQ(sound->position, 0);
  ASSERT_EQ(p.run("o:seek(1e30)"), "");  // held in range before the conversion
  EXPECT_EQ(sound->position, 2147483647);
  ASSERT_EQ(p.run("o:seek(0 / 0)"), "");
  EXPECT_EQ(sound->position, 0);
  sample.sampleRate = 0;  // an undecodable sample has no rate
  sound->position = 10;
  ASSERT_EQ(p.run("assert(o:getTime() == 0); o:seek(5)"), "");
  EXPECT_EQ(sound->position, 0);
  sound->sample = nullptr;
  EXPECT_TRUE(p.controller->failures.empty());
}

TEST(SoundClass, ARealSamplePlaysFromItsSeekPosition) {
  Player p({{"tone.ogg", testmedia::makeOgg(2, 22050, 22050)}});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + R"(
    sample = newSample("tone.ogg")
    o = newSound(s, sample)
    o:seek(0.5); assert(o:getTime() == 0.5)
    other = newSound(s); other:setSample(sample); other:seek(2); assert(other:getTime() == 2)
  )"),
            "");
  MDL_Sound* sound = p.model<MDL_Sound>("o");
  ASSERT_NE(sound, nullptr);
  ASSERT_NE(sound->sample, nullptr);
  EXPECT_EQ(sound->sample, p.model<MDL_Sound>("other")->sample);
  EXPECT_EQ(sound->position, 11025);
  EXPECT_EQ(sound->sample->sampleRate, 22050);
  EXPECT_TRUE(p.controller->failures.empty());
  // A deleted sample leaves the sounds silent, never pointing at it.
  ASSERT_EQ(p.run("sample:delete(); assert(o:getTime() == 0)"), "");
  EXPECT_EQ(sound->sample, nullptr);
}

}  // namespace
