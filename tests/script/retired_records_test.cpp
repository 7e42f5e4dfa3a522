// Media that scripts delete while something still shows or plays them: each
// record stays, usable by what uses it, until the last user lets go, and goes
// at the end of the next drawn frame, the renderer told first.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/font_library.h"
#include "model/image_source.h"
#include "script_harness.h"
#include "support/test_media.h"
#include "support/test_video.h"
#include "view/view_generic.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

std::string demoFile(const char* name) {
  std::ifstream in(std::string(VS_SOURCE_DIR) + "/content/demo/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string& video() {
  static const std::string file = [] {
    testmedia::TheoraSpec spec;
    spec.frames = 4;
    spec.audioChannels = 1;
    return testmedia::makeTheora(spec, [](int, int, int) { return testmedia::YCbCr{120, 128, 128}; });
  }();
  return file;
}

// What the renderer is told to forget.
class ForgettingView : public VIEW_Generic {
 public:
  void forgetTexture(ImageSource* source) override { textures.push_back(source ? source->id : -1); }
  void forgetMeshData(const MeshData* data) override {
    ++meshes;
    VIEW_Generic::forgetMeshData(data);
  }
  std::vector<int32_t> textures;
  int meshes = 0;
};

// A running player with a renderer, drawing into a 640 x 480 window.
struct Frames {
  Player p{{{"init.lua", "function startup() end\n"},
            {"a.png", testmedia::makePng({8, 8, 6, 8, false, false})},
            {"s.ogg", testmedia::makeOgg(1, 22050, 2205)},
            {"serif.ttf", testmedia::readFile(testmedia::kPackageFontPath)},
            {"scene.xml", demoFile("scene.xml")},
            {"gem.xml", demoFile("gem.xml")},
            {"v.ogg", video()}}};
  ForgettingView* view = new ForgettingView;

  Frames() {
    MDL_createFontLibrary();
    p.controller->setRenderer(std::unique_ptr<VIEW_Generic>(view));
    p.controller->setViewSize(640, 480);
    frame();
    EXPECT_EQ(p.controller->load.state, 3) << p.controller->load.failureText;
    EXPECT_EQ(p.run(std::string(kSceneAndNear) + "function gc() collectgarbage(); collectgarbage() end"), "");
  }
  void frame() { p.controller->frame(nullptr, nullptr); }
  int32_t retired() const { return p.controller->resources.retired.count(); }
  void expectOk(const std::string& code) {
    EXPECT_EQ(p.run(code), "") << code;
    EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
  }
};

struct Case {
  const char* what;
  const char* make;     // makes the record and its users, then deletes the record
  const char* use;      // the users still work with it
  const char* letGo;    // the last user lets go
};

const Case kCases[] = {
    {"a texture an image shows", "t = newTexture('a.png'); i = newImage(s, t); t:delete()",
     "assert(i:getAspectRatio() == 1 and i:getTexture():getFilter() == 0)", "i:delete(); gc()"},
    {"a models set whose copy is in the scene", "m = newModelsSet('scene.xml'); b = newMesh(s, m:get('ball')); m:delete()",
     "assert(b:getVertexPosition(1) ~= nil and b:getColor() ~= nil)", "b:delete(); gc()"},
    {"a models set a script holds an object of", "m = newModelsSet('scene.xml'); o = m:get('floor'); m:delete()",
     "assert(o:getName() == 'floor')", "o = nil; gc()"},
    {"a models set whose looks a script holds", "m = newModelsSet('scene.xml'); k = m:get('ball'):getMaterial(); m:delete(); gc()",
     "assert(k:getDiffuse() ~= nil)", "k = nil; gc()"},
    {"a models set whose track plays", R"(
       g = newModelsSet('gem.xml'); gem = newMesh(s, g:get('gem'))
       spin = newAnimation(g:getAnimationData('spin'), gem); g:delete(); gc())",
     "spin:seek(0.5); assert(spin:getTime() > 0)", "gem:delete(); spin = nil; gc()"},
    {"a stream whose picture an image shows", "v = newStream('v.ogg'); i = newImage(s, v:getTexture()); v:delete(); gc()",
     "assert(i:getAspectRatio() > 0)", "i:delete()"},
    {"a stream whose sound a sound plays", "v = newStream('v.ogg'); o = newSound(s, v:getSample()); v:delete(); gc()",
     "o:setVolume(0.5)", "o:delete()"},
};

TEST(RetiredRecords, StayWhileUsedAndGoAtTheFrameAfterTheLastUserLetsGo) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Frames f;
    f.expectOk(c.make);
    for (int i = 0; i < 3; ++i) {
      f.frame();
      f.expectOk(c.use);
    }
    EXPECT_EQ(f.retired(), 1);
    f.expectOk(c.letGo);
    f.frame();
    EXPECT_EQ(f.retired(), 0);
  }
}

// Fonts and samples have no user left once deleted (texts take the default
// font, sounds fall silent): they go at the next frame.
TEST(RetiredRecords, FontsAndSamplesGoAtTheNextFrame) {
  Frames f;
  f.expectOk("x = newText(s); x:setFont(newFont('serif.ttf')); x:setText('abc'); x:getFont():delete()");
  f.expectOk("a = newSample('s.ogg'); o = newSound(s, a); a:delete()");
  EXPECT_EQ(f.retired(), 2);
  f.frame();
  EXPECT_EQ(f.retired(), 0);
  f.expectOk("assert(x:getFont() ~= nil and #x:getBoundingBox() == 4); o:setVolume(1)");
}

// A texture shown only through a deleted set's looks goes with the set.
TEST(RetiredRecords, WhatOnlyAnUnusedRecordPointsAtGoesWithIt) {
  Frames f;
  f.expectOk(R"(
    m = newModelsSet('scene.xml'); t = newTexture('a.png')
    m:get('floor'):setTexture(t)
    b = newMesh(s, m:get('floor'))
    t:delete(); m:delete(); gc())");
  f.frame();
  EXPECT_EQ(f.retired(), 2);
  f.expectOk("b:delete()");
  f.frame();
  EXPECT_EQ(f.retired(), 0);
  EXPECT_GT(f.view->meshes, 0);
}

// Every kind made, used, deleted and let go of again and again: what is
// retired comes back to nothing after each round, and so do the lists.
TEST(RetiredRecords, ChurnLeavesNothingBehind) {
  Frames f;
  f.expectOk(R"(
    function round()
      local t = newTexture('a.png'); local i = newImage(s, t)
      local x = newText(s); local font = newFont('serif.ttf'); x:setFont(font); x:setText('churn')
      local a = newSample('s.ogg'); local o = newSound(s, a)
      local m = newModelsSet('scene.xml'); local b = newMesh(s, m:get('box'))
      local v = newStream('v.ogg'); local w = newImage(s, v:getTexture())
      t:delete(); font:delete(); a:delete(); m:delete(); v:delete()
      return function() i:delete(); x:delete(); o:delete(); b:delete(); w:delete() end
    end)");
  const CTRL_ResourceLists& r = f.p.controller->resources;
  auto live = [&r] {
    return r.imageSources.count + r.fonts.count + r.soundRecords.count + r.modelsSets.count + r.videoStreams.count;
  };
  const int32_t before = live();
  int32_t mostRetired = 0;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(f.p.run("letGo = round()"), "");
    f.frame();
    mostRetired = std::max(mostRetired, f.retired());
    ASSERT_EQ(f.p.run("letGo(); letGo = nil; gc()"), "");
    f.frame();
    ASSERT_EQ(f.retired(), 0) << "round " << i;
    ASSERT_EQ(live(), before) << "round " << i;
  }
  EXPECT_GE(mostRetired, 3);  // texture, set and stream wait for their users
  EXPECT_TRUE(f.p.controller->failures.empty()) << f.p.controller->failures[0];
}

}  // namespace
