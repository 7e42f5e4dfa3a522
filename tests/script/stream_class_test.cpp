// The stream class: video streams made, played, sought and deleted by
// scripts, with their picture and sound parts, on real Theora files.
#include <gtest/gtest.h>

#include <memory>

#include "controller/video_stream.h"
#include "model/image.h"
#include "model/material.h"
#include "model/sound.h"
#include "script_harness.h"
#include "support/test_media.h"
#include "support/test_video.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

// 75 pictures at 25 per second (3 s) with a stereo tone; "still.ogg" has
// pictures only, 10 of them; "tone.ogg" has no pictures at all.
const std::string& video(bool sound) {
  static const std::string files[2] = {
      [] {
        testmedia::TheoraSpec spec;
        spec.frames = 10;
        return testmedia::makeTheora(spec, [](int, int, int) { return testmedia::YCbCr{120, 128, 128}; });
      }(),
      [] {
        testmedia::TheoraSpec spec;
        spec.width = 48;
        spec.height = 24;
        spec.frames = 75;
        spec.audioChannels = 2;
        return testmedia::makeTheora(spec, [](int f, int, int) {
          return testmedia::YCbCr{static_cast<uint8_t>(30 + 2 * f), 128, 128};
        });
      }()};
  return files[sound ? 1 : 0];
}

std::unique_ptr<Player> newPlayer() {
  return std::make_unique<Player>(std::initializer_list<Player::Member>{
      {"v.ogg", video(true)}, {"still.ogg", video(false)}, {"tone.ogg", testmedia::makeOgg(1, 22050, 22050)}});
}

TEST(StreamClass, OpensPlaysPausesAndSeeks) {
  auto p = newPlayer();
  ASSERT_EQ(p->run(std::string(kSceneAndNear) + R"(
    v = newStream('v.ogg')
    assert(getmetatable(v) == newStream and tostring(v):find('^newStream %('))
    assert(near(v:getDuration(), 74 / 25) and v:getTime() == 0 and v:getCurrentFrame() == 0)
    assert(v:isPlaying() == true)
    v:pause(); assert(v:isPlaying() == false)
    v:play(); assert(v:isPlaying() == true)
    v:seek(2); assert(v:getCurrentFrame() == 50 and near(v:getTime(), 2))
    v:seek(-1); assert(v:getCurrentFrame() == 0 and v:getTime() == 0)
    v:seek(99); assert(v:getCurrentFrame() == 74)
    v:seek(0.1); assert(v:getCurrentFrame() == 3)
    -- the time is taken in single precision: 0.02 is just below half a frame
    v:seek(0.02); assert(v:getCurrentFrame() == 0)
    still = newStream('still.ogg', FILTER_NEAREST_POINT)
    assert(near(still:getDuration(), 9 / 25)))"),
            "");
  VideoStream* v = p->model<VideoStream>("v");
  VideoStream* still = p->model<VideoStream>("still");
  ASSERT_TRUE(v && still);
  const CTRL_ResourceLists& r = p->controller->resources;
  ASSERT_EQ(r.videoStreams.count, 2);
  EXPECT_EQ(r.videoStreams[0], v);
  EXPECT_EQ(r.videoStreams[1], still);
  EXPECT_EQ(v->image.filter, 0);
  EXPECT_EQ(still->image.filter, 1);
  EXPECT_EQ(v->image.width, 48);
  // A paused stream does not move with the frames; a playing one does.
  ASSERT_EQ(p->run("v:pause()"), "");
  for (int i = 0; i < 5; ++i) {
    p->controller->clock.dt = 0.03;
    p->controller->updateStreams();
  }
  EXPECT_EQ(v->currentFrame, 0);
  EXPECT_EQ(v->time, 0.0);
  // At 0.15 s the picture shown is frame 3 (0.12 to 0.16), and so is the count.
  EXPECT_NEAR(still->time, 0.15, 1e-9);
  EXPECT_EQ(still->currentFrame, 3);
  ASSERT_EQ(p->run("assert(v:getCurrentFrame() == 0 and near(still:getTime(), 0.15))"), "");
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(StreamClass, TextureAndSampleAreOneProxyEachAndServeMaterialsAndSounds) {
  auto p = newPlayer();
  ASSERT_EQ(p->run(std::string(kSceneAndNear) + R"(
    v = newStream('v.ogg', FILTER_LINEAR)
    t = v:getTexture(); a = v:getSample()
    assert(rawequal(t, v:getTexture()) and rawequal(a, v:getSample()))
    assert(getmetatable(t) == newTexture and getmetatable(a) == newSample)
    assert(t:getFilter() == FILTER_LINEAR)
    i = newImage(s, t); assert(rawequal(i:getTexture(), t) and i:getAspectRatio() == 0.5)
    o = newSound(s, a))"),
            "");
  VideoStream* v = p->model<VideoStream>("v");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(p->model<ImageSource>("t"), &v->image);
  EXPECT_EQ(p->model<SoundRecord>("a"), &v->sound);
  EXPECT_EQ(p->model<MDL_Sound>("o")->sample, &v->sound);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(StreamClass, DeletingThePictureTextureLeavesTheStreamPlaying) {
  auto p = newPlayer();
  ASSERT_EQ(p->run(R"(
    v = newStream('still.ogg'); t = v:getTexture(); t:delete()
    assert(t:getFilter() == nil)
    t2 = v:getTexture(); assert(not rawequal(t, t2) and t2:getFilter() == 0))"),
            "");
  VideoStream* v = p->model<VideoStream>("v");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(p->model<ImageSource>("t2"), &v->image);
  // The picture is the stream's own: never on the list the frame retires from.
  EXPECT_EQ(p->controller->resources.imageSources.indexOf(&v->image), -1);
  p->controller->clock.dt = 0.1;
  p->controller->updateStreams();
  EXPECT_NE(v->image.data, nullptr);
  EXPECT_EQ(v->currentFrame, 2);  // at 0.1 s: 0.08 to 0.12
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(StreamClass, DeleteDetachesEveryPartAndKeepsTheRecordsForTheirUsers) {
  auto p = newPlayer();
  ASSERT_EQ(p->run(std::string(kSceneAndNear) + R"(
    first = newStream('still.ogg'); v = newStream('v.ogg'); last = newStream('still.ogg')
    t = v:getTexture(); a = v:getSample()
    i = newImage(s, t); o = newSound(s, a))"),
            "");
  VideoStream* v = p->model<VideoStream>("v");
  VideoStream* first = p->model<VideoStream>("first");
  VideoStream* last = p->model<VideoStream>("last");
  ASSERT_TRUE(v && first && last);
  const int32_t id = v->image.id;
  // An extra argument is reported, and the stream goes all the same.
  ASSERT_EQ(p->run("v:delete(1)"), "");
  ASSERT_EQ(p->controller->failures.size(), 1u);
  const std::string& f = p->controller->failures[0];
  EXPECT_EQ(f.substr(f.find("]:1: ") + 5), "Too much arguments, <> argument(s) expected");
  const CTRL_ResourceLists& r = p->controller->resources;
  ASSERT_EQ(r.videoStreams.count, 2);
  EXPECT_EQ(r.videoStreams[0], first);
  EXPECT_EQ(r.videoStreams[1], last);
  EXPECT_EQ(p->proxy("v")->model, nullptr);
  EXPECT_EQ(p->proxy("t")->model, nullptr);
  EXPECT_EQ(p->proxy("a")->model, nullptr);
  // The image's material and the sound still point at the records: they
  // stay, emptied, until the controller goes.
  EXPECT_TRUE(r.retired.holds(v));
  MDL_Image* image = p->model<MDL_Image>("i");
  ASSERT_TRUE(image && image->material && image->material->layers.count == 1);
  EXPECT_EQ(image->material->layers[0].image, &v->image);
  EXPECT_EQ(v->image.data, nullptr);
  EXPECT_EQ(v->sound.frameCount(), 0);
  // The renderer is told to drop the picture's texture at the next frame.
  ASSERT_GE(r.imageSources.count, 1);
  const ImageSource* stand = r.imageSources[r.imageSources.count - 1];
  EXPECT_EQ(stand->id, id);
  EXPECT_TRUE(stand->releasePending);
}

TEST(StreamClass, MethodsAfterDeleteAnswerNothing) {
  auto p = newPlayer();
  ASSERT_EQ(p->run(R"(
    v = newStream('v.ogg'); v:delete()
    assert(v:getTime() == nil and v:getCurrentFrame() == nil and v:getDuration() == nil)
    assert(v:isPlaying() == nil and v:getTexture() == nil and v:getSample() == nil)
    v:play(); v:pause(); v:seek(1); v:delete())"),
            "");
  EXPECT_EQ(p->controller->resources.videoStreams.count, 0);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(StreamClass, MissingFilesAndFilesWithoutPictures) {
  {
    auto p = newPlayer();
    ASSERT_EQ(p->run("n = newStream('none.ogg'); assert(getmetatable(n) == newStream and n:getTime() == nil)"), "");
    ASSERT_EQ(p->controller->failures.size(), 1u);
    const std::string& f = p->controller->failures[0];
    EXPECT_EQ(f.substr(f.find("]:1: ") + 5), "File none.ogg not found");
    EXPECT_EQ(p->controller->resources.videoStreams.count, 0);
  }
  {
    // Sound only: an empty stream that does nothing.
    auto p = newPlayer();
    ASSERT_EQ(p->run(R"(
      e = newStream('tone.ogg')
      assert(e:getDuration() == 0 and e:getCurrentFrame() == -1)
      e:seek(1); assert(e:getCurrentFrame() == -1))"),
              "");
    p->controller->clock.dt = 0.5;
    p->controller->updateStreams();
    EXPECT_EQ(p->model<VideoStream>("e")->currentFrame, -1);
    EXPECT_TRUE(p->controller->failures.empty());
  }
}

}  // namespace
