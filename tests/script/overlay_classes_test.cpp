// The overlay classes (text, image, polyline) and the locator: constructors,
// getters against setters, the layout and aspect ratio behind the centres,
// the point list rules, and the usage errors.
#include <gtest/gtest.h>

#include <memory>

#include "model/font_library.h"
#include "model/image.h"
#include "model/material.h"
#include "model/polyline.h"
#include "model/scene.h"
#include "model/text.h"
#include "script_harness.h"
#include "support/test_media.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

Player* newPlayer() {
  MDL_createFontLibrary();
  static const std::string wide = testmedia::makePng({200, 100, 6, 8, false, false});
  static const std::string font = testmedia::readFile(testmedia::kPackageFontPath);
  return new Player({{"wide.png", wide}, {"serif.ttf", font}});
}

const char kColors[] = R"(
  function cnear(c, r, g, b, a) return near(c:r(), r) and near(c:g(), g) and near(c:b(), b) and near(c:a(), a) end
)";

// Each case in a fresh player with the package media, a scene and cnear.
template <size_t N>
void runCases(const LuaCase (&cases)[N]) {
  for (const LuaCase& c : cases) {
    std::unique_ptr<Player> p(newPlayer());
    ASSERT_EQ(p->run(std::string(kSceneAndNear) + kColors), "");
    expectCase(p->L, c);
    EXPECT_TRUE(p->controller->failures.empty()) << c.name;
  }
}

const LuaCase kTextCases[] = {
    {"a new text has the defaults, the default font and an empty box", R"(
      local t = newText(s)
      assert(t:getType() == OBJECT_TEXT and tostring(t):find('^newText %(') and getmetatable(t) == newText)
      assert(t:getText() == nil and t:getSize() == 1 and t:getTabSize() == 8)
      assert(cnear(t:getColor(), 0, 0, 0, 1) and cnear(t:getBackgroundColor(), 0, 0, 0, 0))
      assert(getmetatable(t:getFont()) == newFont and rawequal(t:getFont(), t:getFont()))
      local b = t:getBoundingBox()
      assert(#b == 4 and b[1] == 0 and b[2] == 0 and b[3] == 0 and b[4] == 0)
      assert(vnear(t:getCenter(), 0, 0, 0)))",
     nullptr},
    {"setters store", R"(
      local t = newText(s)
      t:setSize(2); t:setTabSize(4); t:setColor(color(1, 0, 0, 0.5)); t:setBackgroundColor(color(0, 0, 1, 1))
      assert(t:getSize() == 2 and t:getTabSize() == 4)
      assert(cnear(t:getColor(), 1, 0, 0, 0.5) and cnear(t:getBackgroundColor(), 0, 0, 1, 1))
      t:setText(12); assert(t:getText() == '12'))",
     nullptr},
    {"a text is laid out: its box grows with the text and the size", R"(
      local t = newText(s)
      t:setText('Hi')
      local b = t:getBoundingBox()
      assert(b[3] > b[1] and b[4] > b[2])
      t:setText('Hi Hi'); local w = t:getBoundingBox()
      assert(w[3] > b[3])
      t:setSize(2); local d = t:getBoundingBox()
      assert(near(d[3], 2 * w[3]) and near(d[4], 2 * w[4]))
      local c = t:getCenter(REF_SELF)
      assert(vnear(c, (d[1] + d[3]) / 2, (d[2] + d[4]) / 2, 0)))",
     nullptr},
    {"under a parent the text takes its place and joins its children", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3))
      local t = newText(p)
      assert(rawequal(t:getParent(), p) and vnear(t:getPosition(), 1, 2, 3) and rawequal(p:getChild(), t))
      assert(vnear(t:getCenter(), 1, 2, 3) and vnear(t:getCenter(REF_LOCAL), 0, 0, 0)))",
     nullptr},
    {"a font argument must be a font", "newText(s):setFont(newObject(s))", "newFont"},
    {"setFont without an argument", "newText(s):setFont()", "newFont"},
    {"a deleted font's proxy is refused", "local f = newFont('serif.ttf'); f:delete(); newText(s):setFont(f)",
     "newFont"},
};

TEST(TextClass, Cases) { runCases(kTextCases); }

TEST(TextClass, CenterOfAKnownBoxInEachFrame) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(p->run(std::string(kSceneAndNear) + "t = newText(s); t:setPosition(v3(10, 0, 0))"), "");
  MDL_Text* text = p->model<MDL_Text>("t");
  ASSERT_NE(text, nullptr);
  text->extentDirty = false;
  text->extentMinX = 0, text->extentMinY = -0.2, text->extentMaxX = 3, text->extentMaxY = 0.8;
  ASSERT_EQ(p->run(R"(
    assert(vnear(t:getCenter(REF_SELF), 1.5, 0.3, 0))
    assert(vnear(t:getCenter(REF_GLOBAL), 11.5, 0.3, 0) and vnear(t:getCenter(), 11.5, 0.3, 0))
    local b = t:getBoundingBox(); assert(b[1] == 0 and near(b[2], -0.2) and b[3] == 3 and near(b[4], 0.8)))"),
            "");
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(TextClass, SettersOtherThanColoursClearTheLayout) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(p->run(std::string(kSceneAndNear) + "t = newText(s); t:setText('Hello')"), "");
  MDL_Text* text = p->model<MDL_Text>("t");
  ASSERT_NE(text, nullptr);
  EXPECT_FALSE(text->extentDirty);  // setText lays out at once
  EXPECT_GT(text->extentMaxX, 0);
  const char* setters[] = {"t:setSize(3)", "t:setTabSize(2)", "t:setFont(newFont('serif.ttf'))"};
  for (const char* setter : setters) {
    text->computeExtent();
    ASSERT_EQ(p->run(setter), "");
    EXPECT_TRUE(text->extentDirty) << setter;
    EXPECT_EQ(text->extentMaxX, 0) << setter;
  }
  text->computeExtent();
  ASSERT_EQ(p->run("t:setColor(color(1, 1, 1, 1)); t:setBackgroundColor(color(1, 1, 1, 1))"), "");
  EXPECT_FALSE(text->extentDirty);
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(TextClass, ADeletedFontFallsBackToTheDefaultFont) {
  std::unique_ptr<Player> p(newPlayer());
  ASSERT_EQ(
      p->run(std::string(kSceneAndNear) + "f = newFont('serif.ttf'); t = newText(s); t:setFont(f); u = newText(s)\n"
                                          "t:setText('Hi'); u:setText('Hi')"),
      "");
  MDL_Text* text = p->model<MDL_Text>("t");
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(text->font, p->model<FontRecord>("f"));
  ASSERT_EQ(p->run("f:delete(); assert(t:getFont() and rawequal(t:getFont(), u:getFont()))"), "");
  EXPECT_EQ(text->font, p->controller->defaultFont.get());
  EXPECT_TRUE(text->extentDirty);
  EXPECT_EQ(p->model<MDL_Text>("u")->font, p->controller->defaultFont.get());
  // Deleting the default font's proxy leaves the texts on it.
  ASSERT_EQ(p->run("t:getFont():delete(); assert(t:getFont() and u:getFont())"), "");
  EXPECT_EQ(text->font, p->controller->defaultFont.get());
  EXPECT_TRUE(p->controller->failures.empty());
}

TEST(TextClass, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"t = newText(); assert(t:getText() == nil and t:getSize() == nil)", "Too many arguments creating a newText"},
      {"t = newText(s, s); assert(t:getSize() == nil)", "Too many arguments creating a newText"},
      {"assert(newText(s):getCenter(4) == nil)", "Invalid reference ID"},
      {"newText(s):setSize('x')", "Invalid type (string) for argument #1, <N> type argument(s) expected"},
  };
  scripttest::expectUsageReports(cases, kSceneAndNear);
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "pcall(newText, s, s)"), "");
  EXPECT_EQ(p.model<Scene>("s")->overlays.count, 0);  // no text made
}

const LuaCase kImageCases[] = {
    {"a new image has no looks and spans a unit square", R"(
      local i = newImage(s)
      assert(i:getType() == OBJECT_IMAGE and tostring(i):find('^newImage %(') and getmetatable(i) == newImage)
      assert(i:getColor() == nil and i:getMaterial() == nil and i:getTexture() == nil)
      assert(i:getAspectRatio() == 1 and vnear(i:getCenter(REF_SELF), 0.5, 0.5, 0)))",
     nullptr},
    {"a textured image takes its picture's aspect ratio", R"(
      local tex = newTexture('wide.png')
      local i = newImage(s, tex)
      assert(rawequal(i:getTexture(), tex) and cnear(i:getColor(), 1, 1, 1, 1))
      assert(i:getAspectRatio() == 0.5 and vnear(i:getCenter(REF_SELF), 0.5, 0.25, 0))
      i:setPosition(v3(1, 1, 0)); assert(vnear(i:getCenter(), 1.5, 1.25, 0)))",
     nullptr},
    {"setTexture and setColor give the image its own material", R"(
      local i = newImage(s); i:setTexture(newTexture('wide.png'))
      assert(i:getAspectRatio() == 0.5 and getmetatable(i:getMaterial()) == newMaterial)
      local j = newImage(s); j:setColor(color(0, 1, 0, 0.5))
      assert(cnear(j:getColor(), 0, 1, 0, 0.5) and j:getTexture() == nil)
      local k = newImage(s); k:setOwnMaterial(); assert(k:getMaterial() and cnear(k:getColor(), 1, 1, 1, 1)))",
     nullptr},
    {"setTexture replaces the last layer's texture", R"(
      local a, b = newTexture('wide.png'), newTexture('wide.png')
      local i = newImage(s, a); i:setTexture(b)
      assert(rawequal(i:getTexture(), b)))",
     nullptr},
    {"under a parent without a texture the image takes its place", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3))
      local i = newImage(p)
      assert(rawequal(i:getParent(), p) and vnear(i:getPosition(), 1, 2, 3)))",
     nullptr},
    {"under a parent with a texture the image joins its children", R"(
      local p = newObject(s)
      local i = newImage(p, newTexture('wide.png'))
      assert(rawequal(i:getParent(), p) and rawequal(p:getChild(), i)))",
     nullptr},
    {"a texture argument must be a texture", "newImage(s, newObject(s))", "newTexture"},
    {"setTexture needs a texture", "newImage(s):setTexture(nil)", "newTexture"},
};

TEST(ImageClass, Cases) { runCases(kImageCases); }

TEST(ImageClass, AWrongTextureLeavesNoImage) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "ok = pcall(newImage, s, 3)"), "");
  ASSERT_EQ(p.global("ok"), "false");
  EXPECT_EQ(p.model<Scene>("s")->overlays.count, 0);
}

const LuaCase kPolylineCases[] = {
    {"a new polyline has the defaults", R"(
      local l = newPolyline(s)
      assert(l:getType() == OBJECT_POLYLINE and tostring(l):find('^newPolyline %(') and getmetatable(l) == newPolyline)
      assert(math.abs(l:getThickness() - 0.01) < 1e-8 and l:getClosed() == true)
      assert(l:getPointsCount() == 0 and l:getFillColor() == nil and l:getColor() == nil and l:getMaterial() == nil))",
     nullptr},
    {"addPoints skips a point equal to the last one", R"(
      local l = newPolyline(s)
      l:addPoints({v2(0, 0), v2(0, 0), v2(1, 0)})
      assert(l:getPointsCount() == 2)
      local q = l:getPoint(2); assert(q:x() == 1 and q:y() == 0)
      l:addPoints({v2(1, 0), v2(1, 1)}); assert(l:getPointsCount() == 3)
      assert(l:getPoint(0) == nil and l:getPoint(4) == nil))",
     nullptr},
    {"setPoints replaces, an empty table leaves none, clear drops them", R"(
      local l = newPolyline(s)
      l:addPoints({v2(0, 0), v2(1, 0)})
      l:setPoints({v2(5, 5)}); assert(l:getPointsCount() == 1 and l:getPoint(1):x() == 5)
      l:setPoints({}); assert(l:getPointsCount() == 0)
      l:addPoints({v2(0, 0), v2(1, 0)}); l:clear(); assert(l:getPointsCount() == 0))",
     nullptr},
    {"fill colour on and off", R"(
      local l = newPolyline(s)
      l:setFillColor(color(1, 0, 0, 1)); assert(cnear(l:getFillColor(), 1, 0, 0, 1))
      l:setFillColor(); assert(l:getFillColor() == nil))",
     nullptr},
    {"outline colour, texture and material", R"(
      local l = newPolyline(s)
      l:setColor(color(0, 0, 1, 1)); assert(cnear(l:getColor(), 0, 0, 1, 1) and getmetatable(l:getMaterial()) == newMaterial)
      l:setColor(); assert(cnear(l:getColor(), 0, 0, 1, 1))
      local m = newPolyline(s); m:setTexture(newTexture('wide.png')); assert(cnear(m:getColor(), 1, 1, 1, 1)))",
     nullptr},
    {"thickness, closed and the distance to a point", R"(
      local l = newPolyline(s)
      l:setThickness(0.5); l:setClosed(false)
      assert(l:getThickness() == 0.5 and l:getClosed() == false)
      l:addPoints({v2(0, 0), v2(2, 0)})
      assert(near(l:distanceToPoint(v2(1, 2)), 1.5) and near(l:distanceToPoint(v2(1, 0)), -0.5))
      assert(near(l:distanceToPoint(v2(3, 0)), 0.5)))",
     nullptr},
    {"polylines are not copied: the proxy has no model", R"(
      local l = newPolyline(s); l:addPoints({v2(0, 0), v2(1, 1)})
      local c = newPolyline(s, l)
      assert(getmetatable(c) == newPolyline and c:getPointsCount() == nil and l:getPointsCount() == 2))",
     nullptr},
    {"a source must be a polyline", "newPolyline(s, newObject(s))", "newPolyline"},
    {"distanceToPoint needs a v2", "newPolyline(s):distanceToPoint(v3(0, 0, 0))", "v2"},
};

TEST(PolylineClass, Cases) { runCases(kPolylineCases); }

TEST(PolylineClass, SettersMarkTheShapesDirtyAndSetColorNilHidesTheOutline) {
  Player p({});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "l = newPolyline(s)"), "");
  MDL_Polyline* line = p.model<MDL_Polyline>("l");
  ASSERT_NE(line, nullptr);
  struct Step {
    const char* code;
    bool fill, outline;
  } steps[] = {
      {"l:setThickness(0.1)", false, true},
      {"l:setClosed(false)", false, true},
      {"l:addPoints({v2(0, 0), v2(1, 0)})", true, true},
      {"l:setPoints({v2(0, 0)})", true, true},
      {"l:clear()", true, true},
  };
  for (const Step& s : steps) {
    line->fillDirty = line->outlineDirty = false;
    ASSERT_EQ(p.run(s.code), "");
    EXPECT_EQ(line->fillDirty, s.fill) << s.code;
    EXPECT_EQ(line->outlineDirty, s.outline) << s.code;
  }
  ASSERT_EQ(p.run("l:setColor(nil)"), "");
  EXPECT_FALSE(line->outlined);
  EXPECT_EQ(line->material, nullptr);  // nothing else changes
  ASSERT_EQ(p.run("l:setColor(color(1, 0, 0, 1))"), "");
  ASSERT_NE(line->material, nullptr);
  EXPECT_EQ(line->material->diffuse.r, 1);
  EXPECT_TRUE(p.controller->failures.empty());
}

TEST(PolylineClass, UsageErrorsAreReported) {
  const scripttest::UsageCase cases[] = {
      {"newPolyline(s):addPoints(v2(1, 1))", "Wrong argument, Table of 2D vector argument expected"},
      {"newPolyline(s):addPoints({}, {})", "Wrong argument, Table of 2D vector argument expected"},
      {"newPolyline(s):setPoints()", "Wrong argument, Table of 2D vector argument expected"},
      // A wrong element is reported and skipped; the later ones are taken.
      {"l = newPolyline(s); l:addPoints({v2(0, 0), 5, v3(1, 1, 1), v2(1, 1)}); assert(l:getPointsCount() == 2)",
       "Wrong element in table, 2D vector element expected", 2},
      {"newPolyline(s):getPoint('x')", "Invalid type (string) for argument #1, <I> type argument(s) expected"},
  };
  scripttest::expectUsageReports(cases, kSceneAndNear);
}

const LuaCase kLocatorCases[] = {
    {"a locator is a plain placement marker", R"(
      local l = newLocator(s)
      assert(l:getType() == OBJECT_LOCATOR and tostring(l):find('^newLocator %(') and getmetatable(l) == newLocator)
      assert(l:getName() == nil or l:getName() == '')
      l:setPosition(v3(1, 2, 3)); assert(vnear(l:getPosition(), 1, 2, 3)))",
     nullptr},
    {"a locator copies another", R"(
      local p = newObject(s)
      local l = newLocator(s); l:setPosition(v3(4, 5, 6))
      local c = newLocator(p, l)
      assert(c:getType() == OBJECT_LOCATOR and not rawequal(c, l) and rawequal(c:getParent(), p)))",
     nullptr},
    {"under a parent the locator takes its place", R"(
      local p = newObject(s); p:setPosition(v3(1, 2, 3))
      local l = newLocator(p); assert(vnear(l:getPosition(), 1, 2, 3) and rawequal(p:getChild(), l)))",
     nullptr},
    {"a source must be a locator", "newLocator(s, newObject(s))", "newLocator"},
};

TEST(LocatorClass, Cases) { scripttest::expectCasesInFreshPlayers(kLocatorCases, kSceneAndNear); }

}  // namespace
