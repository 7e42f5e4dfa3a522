// The texture, font and sample classes: construction from package files,
// their methods, and deletion while objects still use the records.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "model/font_library.h"
#include "model/sound.h"
#include "script/lmp_font.h"
#include "script/lmp_sample.h"
#include "script/lmp_texture.h"
#include "script_harness.h"
#include "support/test_media.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

const std::string& media(int which) {
  static const std::string files[] = {
      testmedia::makePng({20, 10, 6, 8, false, false}),
      testmedia::makeOgg(2, 22050, 4000),
      testmedia::readFile(testmedia::kPackageFontPath),
  };
  return files[which];
}

Player* newPlayer() {
  MDL_createFontLibrary();
  return new Player({{"a.png", media(0)},
                     {"s.ogg", media(1)},
                     {"serif.ttf", media(2)},
                     {"Default.ttf", media(2)},
                     {"noise.ogg", std::string(3000, 'x')},
                     {"empty.ttf", ""}});
}

TEST(ResourceClasses, TexturesAreSniffedImageSourcesWithFilterAndAlphaFlags) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(p->run(R"(
    t = newTexture('a.png')
    assert(tostring(t):find('^newTexture %(') and getmetatable(t) == newTexture)
    assert(t:getFilter() == FILTER_DEFAULT and t:getBinaryAlpha() == false)
    t:setFilter(7); t:setBinaryAlpha(true)  -- no range test on the filter
    assert(t:getFilter() == 7 and t:getBinaryAlpha() == true)
    m = newTexture('a.png', FILTER_MIPMAP); assert(m:getFilter() == 3))"),
            "");
  ImageSource* t = p->model<ImageSource>("t");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->width, 20);
  EXPECT_EQ(t->height, 10);
  EXPECT_TRUE(t->hasAlpha);
  EXPECT_STREQ(t->name, "a.png");
  ASSERT_EQ(p->controller->resources.imageSources.count, 2);
  EXPECT_EQ(p->controller->resources.imageSources[0], t);
  EXPECT_EQ(p->model<ImageSource>("m")->id, t->id + 1);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(ResourceClasses, SamplesDecodeAndFontsMakeFaces) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(p->run("a = newSample('s.ogg'); n = newSample('noise.ogg'); f = newFont('serif.ttf'); "
                   "d = newFont('Default.ttf'); assert(getmetatable(a) == newSample and getmetatable(f) == newFont)"),
            "");
  SoundRecord* a = p->model<SoundRecord>("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->sampleRate, 22050);
  EXPECT_EQ(a->channels.count, 2);
  SoundRecord* n = p->model<SoundRecord>("n");  // undecodable: a silent sample
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->sampleRate, 0);
  EXPECT_EQ(n->channels.count, 0);
  FontRecord* f = p->model<FontRecord>("f");
  ASSERT_NE(f, nullptr);
  EXPECT_NE(f->face, nullptr);
  EXPECT_TRUE(f->owns);  // deflated in the package: a block of its own
  FontRecord* d = p->model<FontRecord>("d");
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(d->owns);  // the built-in face, whatever the file held
  EXPECT_STREQ(static_cast<FT_FaceRec_*>(d->face)->family_name, "DejaVu Sans");
  EXPECT_EQ(p->controller->resources.fonts.count, 2);
  EXPECT_EQ(p->controller->resources.soundRecords.count, 2);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(ResourceClasses, MissingFilesAreReportedAndStillGiveAProxy) {
  const scripttest::UsageCase cases[] = {
      {"t = newTexture('none.png'); assert(t:getFilter() == nil)", "File none.png not found"},
      {"f = newFont('none.ttf'); f:delete()", "File none.ttf not found"},
      {"f = newFont('empty.ttf')", "File empty.ttf not found"},
      {"a = newSample('none.ogg'); a:delete()", "File none.ogg not found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::unique_ptr<Player> p(newPlayer());
    ASSERT_EQ(p->run(c.code), "");
    ASSERT_EQ(p->controller->failures.size(), 1u);
    const std::string& f = p->controller->failures[0];
    EXPECT_EQ(f.substr(f.find("]:1: ") + 5), c.report);
  }
}

TEST(ResourceClasses, DeleteTakesNoArgumentsButDeletesAllTheSame) {
  const char* const cases[] = {"t = newTexture('a.png'); t:delete(1)", "t = newSample('s.ogg'); t:delete(t)",
                               "t = newFont('serif.ttf'); t:delete('x')"};
  for (const char* code : cases) {
    SCOPED_TRACE(code);
    std::unique_ptr<Player> p(newPlayer());
    ASSERT_EQ(p->run(code), "");
    ASSERT_EQ(p->controller->failures.size(), 1u);
    const std::string& f = p->controller->failures[0];
    EXPECT_EQ(f.substr(f.find("]:1: ") + 5), "Too much arguments, <> argument(s) expected");
    EXPECT_EQ(p->proxy("t")->model, nullptr);
    EXPECT_EQ(p->controller->resources.soundRecords.count, 0);
    EXPECT_EQ(p->controller->resources.fonts.count, 0);
  }
}

TEST(ResourceClasses, DeletedRecordsLeaveTheirProxyAndWaitUntilTheControllerGoes) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(p->run(std::string(kSceneAndNear) +
                   "a = newSample('s.ogg'); o = newSound(s, a); o2 = newSound(s, a); o2:setLooping(true)\n"
                   "t = newTexture('a.png'); f = newFont('serif.ttf')"),
            "");
  SoundRecord* sample = p->model<SoundRecord>("a");
  ImageSource* texture = p->model<ImageSource>("t");
  FontRecord* font = p->model<FontRecord>("f");
  MDL_Sound* sound = p->model<MDL_Sound>("o2");
  ASSERT_TRUE(sample && texture && font && sound);
  ASSERT_EQ(sound->sample, sample);
  ASSERT_EQ(p->run("a:delete(); t:delete(); f:delete(); a:delete(); f:delete(); t:delete()"), "");
  EXPECT_EQ(p->proxy("a")->model, nullptr);
  EXPECT_EQ(p->proxy("t")->model, nullptr);
  EXPECT_EQ(p->proxy("f")->model, nullptr);
  EXPECT_FALSE(sample->proxy || texture->proxy || font->proxy);
  // Sounds lose the sample; the records themselves stay valid.
  EXPECT_EQ(sound->sample, nullptr);
  EXPECT_EQ(p->model<MDL_Sound>("o")->sample, nullptr);
  const CTRL_ResourceLists& r = p->controller->resources;
  EXPECT_EQ(r.soundRecords.count, 0);
  EXPECT_EQ(r.fonts.count, 0);
  EXPECT_TRUE(r.retired.holds(sample));
  EXPECT_TRUE(r.retired.holds(font));
  EXPECT_NE(font->face, nullptr);
  EXPECT_EQ(sample->channels.count, 2);
  // The texture goes when the renderer has dropped it (next drawn frame).
  EXPECT_TRUE(texture->releasePending);
  EXPECT_EQ(r.imageSources.count, 1);
  // Methods of a deleted record answer nothing and change nothing.
  ASSERT_EQ(p->run("assert(t:getFilter() == nil); t:setBinaryAlpha(true); assert(newSound(s, a):getTime() == 0)"), "");
  EXPECT_FALSE(texture->binaryAlpha);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(ResourceClasses, ArgumentsOfOtherClassesRaise) {
  const LuaCase cases[] = {
      {"a texture method on a sample", "newTexture.getFilter(newSample('s.ogg'))", "newTexture"},
      {"a sample where a sound wants one", "newSound(s, newTexture('a.png'))", "newSample"},
  };
  for (const LuaCase& c : cases) {
    std::unique_ptr<Player> p(newPlayer());
    ASSERT_EQ(p->run(kSceneAndNear), "");
    expectCase(p->L, c);
  }
}

}  // namespace
