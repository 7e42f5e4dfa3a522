// Real content through the scene API: a models set written as XML
// (tests/fixtures/models/figure.xml) with a PNG made here, loaded from a
// signed package by the real controller, instantiated into a scene and
// checked from Lua; and the mesh, material, models-set and bone classes.
#include <gtest/gtest.h>
#include <png.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/animated_mesh.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/mesh.h"
#include "script/lua_case.h"
#include "script_harness.h"
#include "support/models_xml.h"

using scripttest::kSceneAndNear;
using scripttest::Player;

namespace {

// A 2 x 2 RGB checker encoded by libpng.
std::vector<unsigned char> checkerPng() {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, 2, 2, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  unsigned char rows[2][6] = {{255, 255, 255, 0, 0, 0}, {0, 0, 0, 255, 255, 255}};
  for (auto& row : rows) png_write_row(png, row);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void replace(std::string& text, const std::string& what, const std::string& with) {
  size_t at = text.find(what);
  ASSERT_NE(at, std::string::npos) << what;
  text.replace(at, what.size(), with);
}

// The fixture with the checker's bytes in place.
std::string figureXml() {
  std::ifstream in(std::string(VS_SOURCE_DIR) + "/tests/fixtures/models/figure.xml");
  std::stringstream text;
  text << in.rdbuf();
  std::string xml = text.str();
  std::vector<unsigned char> png = checkerPng();
  replace(xml, "@CHECKER_SIZE@", std::to_string(png.size()));
  replace(xml, "@CHECKER_HEX@", modelsxml::hexBytes(png.data(), png.size(), 32));
  return xml;
}

std::string checkerFile() {
  std::vector<unsigned char> png = checkerPng();
  return std::string(png.begin(), png.end());
}

struct Figure : Player {
  Figure() : Player({{"figure.xml", figureXml()}, {"checker.png", checkerFile()}}) {
    EXPECT_EQ(run(std::string(kSceneAndNear) + "m = newModelsSet('figure.xml')"), "");
  }
  void expectOk(const char* code) {
    EXPECT_EQ(run(code), "") << code;
    EXPECT_TRUE(controller->failures.empty()) << controller->failures[0];
  }
};

TEST(ModelsSetContent, NamesTreePlacementsAndDefaultsFromTheFile) {
  Figure f;
  f.expectOk(R"(
    local meshes = m:getNames(OBJECT_MESH)
    assert(#meshes == 1 and meshes[1] == 'floor')           -- the tile has a parent
    local roots = m:getNames(OBJECT_NONE)
    assert(#roots == 1 and roots[1] == 'holder')
    assert(m:getNames(OBJECT_TEXT) == nil)
    assert(m:get('nobody') == nil)
    assert(m:get('elbow'):getType() == OBJECT_BONE)
    r = newLocator(s, m:get('rig'))
    -- rig holds, last linked first: arm, shoulder, light, tile
    assert(r:getChildrenCount() == 4 and r:getChild():getName() == 'arm')
    local tile = r:getChild('tile')
    assert(getmetatable(tile) == getmetatable(newMesh(s)))
    assert(vnear(tile:getPosition(), 2, 0, 1) and vnear(r:getPosition(), 0, 0, 1))
    assert(vnear(r:getChild('light'):getPosition(), 0, 0, 5))
    assert(r:getDescendant('elbow'):getParent():getName() == 'shoulder')
    assert(vnear(r:getDescendant('elbow'):getPosition(), 1.5, 0, 1))
    assert(tile:getNumVertices() == 4 and vnear(tile:getVertexPosition(3), 1, 1, 0))
    assert(tile:getColor() == color(1, 1, 1, 1))
    local h = newObject(s, m:get('holder'))
    assert(h:getChildrenCount() == 3 and vnear(h:getChild('crate'):getPosition(), 3, 5, 0))
    for _, name in ipairs({'ball', 'crate', 'can'}) do
      assert(h:getChild(name):getType() == OBJECT_COLLISION_VOLUME)
    end
    local wave = m:getAnimationData('wave')
    assert(wave ~= nil and rawequal(wave, m:getAnimationData('WAVE')) and m:getAnimationData('run') == nil)
    assert(m:get('eye'):getType() == OBJECT_CAMERA and m:get('light'):getType() == OBJECT_LAMP)
  )");
  MDL_Mesh* tile = static_cast<MDL_Mesh*>(f.controller->resources.modelsSets[0]->findByName("tile"));
  ASSERT_NE(tile->material, nullptr);
  ASSERT_EQ(tile->material->layers.count, 1);
  ImageSource* checker = tile->material->layers[0].image;
  ASSERT_NE(checker, nullptr);
  EXPECT_EQ(checker->filter, 2);
  EXPECT_EQ(checker->width, 2);  // sniffed once the bytes were decoded
  EXPECT_EQ(checker->height, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(checker->data) + 1, 3), "PNG");
  EXPECT_FALSE(tile->material->castShadows);
  EXPECT_EQ(tile->material->layers[0].color.a, 0.5);
}

TEST(ModelsSetContent, CopiesShareGeometryAndKeepLooksUntilOneChanges) {
  Figure f;
  f.expectOk(R"(
    a = newMesh(s, m:get('floor')); b = newMesh(s, m:get('floor'))
    assert(rawequal(a:getMaterial(), b:getMaterial()))
    a:setVertexPosition(2, v3(5, 6, 7))
    assert(vnear(b:getVertexPosition(2), 5, 6, 7))
    b:resetVertexPosition()
    assert(vnear(a:getVertexPosition(2), 1, 0, 0))
    a:setColor(color(0, 0, 1, 1))
    assert(a:getColor() == color(0, 0, 1, 1) and b:getColor() == color(0, 0.5, 0, 1))
    assert(not rawequal(a:getMaterial(), b:getMaterial()))
    a:setReceiveShadow(false)
    -- vertex colours: alpha 0.5 makes one vertex translucent, reset recounts
    a:setVertexColor(1, color(1, 1, 1, 0.5))
    assert(b:getVertexColor(1) == color(1, 1, 1, 0.5))
    assert(a:getVertexPosition(0) == nil and a:getVertexPosition(5) == nil and a:getVertexColor(5) == nil)
    a:setVertexPosition(9, v3(1, 1, 1))
  )");
  MDL_Mesh* a = f.model<MDL_Mesh>("a");
  MDL_Mesh* b = f.model<MDL_Mesh>("b");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->meshData, b->meshData);
  EXPECT_TRUE(a->ownsMaterial);
  EXPECT_FALSE(b->ownsMaterial);
  EXPECT_TRUE(a->material->shadeless);
  EXPECT_EQ(a->meshData->translucentColorCount, 1);
  f.expectOk("a:resetVertexColor()");
  EXPECT_EQ(a->meshData->translucentColorCount, 0);
  EXPECT_EQ(a->meshData->colors[0].a, 1.0);
}

TEST(ModelsSetContent, ColoursFewerThanTheVerticesAreReadAndChangedButNotDrawn) {
  std::string xml = figureXml();
  replace(xml, "<colors count=\"4\">ffffffff ffffffff ffffffff ffffffff</colors>",
          "<colors count=\"2\">ff000080 00ff00ff</colors>");
  Player p({{"figure.xml", xml}, {"checker.png", checkerFile()}});
  ASSERT_EQ(p.run(std::string(kSceneAndNear) + "m = newModelsSet('figure.xml')"), "");
  EXPECT_EQ(p.run(R"(
    a = newMesh(s, m:get('floor'))
    assert(a:getVertexColor(1) ~= nil and a:getVertexColor(1) ~= color(0, 0, 0, 0))
    assert(a:getVertexColor(2) == color(0, 1, 0, 1) and a:getVertexColor(3) == nil)
    a:setVertexColor(2, color(0, 0, 1, 0.5))
    assert(a:getVertexColor(2) == color(0, 0, 1, 0.5))
    a:setVertexColor(3, color(1, 1, 1, 1))
    assert(a:getVertexColor(3) == nil)
  )"), "");
  EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
  MDL_Mesh* a = p.model<MDL_Mesh>("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->meshData->colors[0].r, 1.0);
  EXPECT_NEAR(a->meshData->colors[0].a, 128 / 255.0, 1e-12);
  // Not drawn, so the mesh stays with the opaque ones.
  EXPECT_EQ(a->meshData->colorCount, 0);
  EXPECT_EQ(a->meshData->translucentColorCount, 0);
  EXPECT_EQ(p.run("a:resetVertexColor()"), "");
  EXPECT_EQ(a->meshData->colors[1].g, 1.0);
  EXPECT_EQ(a->meshData->translucentColorCount, 0);
}

TEST(ModelsSetContent, TheArmFollowsItsElbow) {
  Figure f;
  // The arm's vertices (1, 0, 0) and (2, 0, 0) hang from the shoulder at the
  // arm's origin; the second is held half by the elbow at (1.5, 0, 0). A
  // quarter turn of the elbow about z carries its half from (2, 0, 0) to
  // (1.5, 0.5, 0): the vertex ends at 0.5 (2, 0, 0) + 0.5 (1.5, 0.5, 0).
  f.expectOk(R"(
    r = newLocator(s, m:get('rig'))
    arm = r:getChild('arm')
    assert(getmetatable(arm) == getmetatable(newAnimatedMesh(s)))
    r:getDescendant('elbow'):rotateAxis(AXIS_Z, 90)
    arm:update()
  )");
  MDL_AnimatedMesh* arm = f.model<MDL_AnimatedMesh>("arm");
  ASSERT_NE(arm, nullptr);
  ASSERT_EQ(arm->boneCount, 2);
  EXPECT_NEAR(arm->vertex(0)->x, 1.0, 1e-12);
  EXPECT_NEAR(arm->vertex(0)->y, 0.0, 1e-12);
  EXPECT_NEAR(arm->vertex(1)->x, 1.75, 1e-12);
  EXPECT_NEAR(arm->vertex(1)->y, 0.25, 1e-12);
  EXPECT_NEAR(arm->vertex(1)->z, 0.0, 1e-12);
  // A locked arm is left alone by the scene, but not by update.
  f.expectOk("arm:setLocked(true); r:getDescendant('elbow'):rotateAxis(AXIS_Z, -90)");
  arm->update(false);
  EXPECT_NEAR(arm->vertex(1)->y, 0.25, 1e-12);
  f.expectOk("arm:update()");
  EXPECT_NEAR(arm->vertex(1)->y, 0.0, 1e-12);
}

const LuaCase kMaterialCases[] = {
    {"layers count from 0; deleting moves the later ones down", R"(
      local mt = newLocator(s, m:get('rig')):getChild('tile'):getMaterial()
      assert(mt:getColor(0) == color(1, 1, 1, 0.5))
      mt:setColor(0, color(0.25, 0.5, 0.75, 1)); assert(mt:getColor(0) == color(0.25, 0.5, 0.75, 1))
      mt:setDiffuse(color(0, 0, 0, 1)); assert(mt:getDiffuse() == color(0, 0, 0, 1))
      mt:setAmbient(color(0.1, 0.2, 0.3, 1)); assert(mt:getAmbient() == color(0.1, 0.2, 0.3, 1))
      mt:setSpecular(color(1, 0, 0, 1)); assert(mt:getSpecular() == color(1, 0, 0, 1)))",
     nullptr},
    {"a material proxy without a material answers nothing", R"(
      local mt = newMaterial()
      assert(mt:getDiffuse() == nil and mt:getColor(0) == nil); mt:setColor(0, color()))",
     nullptr},
};

TEST(ModelsSetContent, MaterialMethods) {
  Figure f;
  for (const LuaCase& c : kMaterialCases) f.expectOk(c.code);
  // Texture-layer moves, worked out by hand: dilate by 2 about (0.5, 0.5)
  // takes the offset from (0, 0) to (-0.5, -0.5); a quarter turn about the
  // origin then takes it to (0.5, -0.5).
  f.expectOk(R"(
    mt = newLocator(s, m:get('rig')):getChild('tile'):getMaterial()
    mt:dilate(0, v2(0.5, 0.5), 2)
    mt:rotate(0, v2(0, 0), 90)
    mt:translate(0, v2(1, 1))
  )");
  Material* mt = f.model<Material>("mt");
  ASSERT_NE(mt, nullptr);
  const MaterialLayer& layer = mt->layers[0];
  EXPECT_NEAR(layer.textureTransform.position.x, 1.5, 1e-12);
  EXPECT_NEAR(layer.textureTransform.position.y, 0.5, 1e-12);
  EXPECT_NEAR(layer.textureTransform.basis.axis[0].x, 0.0, 1e-12);
  EXPECT_NEAR(layer.textureTransform.basis.axis[0].y, 2.0, 1e-12);
  EXPECT_TRUE(layer.changed);
  f.expectOk("mt:reset(0)");
  EXPECT_EQ(layer.textureTransform.position, Vec3());
  EXPECT_EQ(layer.textureTransform.basis.axis[0], Vec3(1, 0, 0));
}

TEST(ModelsSetContent, TexturesOfMeshesAndMaterialLayers) {
  Figure f;
  f.expectOk(R"(
    local tile = newLocator(s, m:get('rig')):getChild('tile')
    local t = tile:getTexture()
    assert(getmetatable(t) == getmetatable(newTexture('checker.png')) and rawequal(t, tile:getTexture()))
    local mt = tile:getMaterial()
    assert(rawequal(mt:getTexture(0), t))
    -- a mesh whose material has no layer gets one from setTexture
    local floor = newMesh(s, m:get('floor'))
    assert(floor:getTexture() == nil)
    local own = newTexture('checker.png')
    floor:setTexture(own)
    assert(rawequal(floor:getTexture(), own) and newMesh(s, m:get('floor')):getTexture() == nil)
    -- layers: add, set, delete
    mt:addLayer(nil); mt:addLayer(own)
    assert(mt:getColor(1) == color(1, 1, 1, 1) and mt:getTexture(1) == nil and rawequal(mt:getTexture(2), own))
    mt:setTexture(1, own); assert(rawequal(mt:getTexture(1), own))
    mt:deleteLayer(0); assert(rawequal(mt:getTexture(0), own) and rawequal(mt:getTexture(1), own))
    assert(not pcall(floor.setTexture, floor, nil))
    assert(not pcall(mt.setTexture, mt, 'one', own))
    assert(not pcall(mt.addLayer, mt, 5))
  )");
}

TEST(ModelsSetContent, UsageErrors) {
  const scripttest::UsageCase cases[] = {
      {"newModelsSet('absent.xml')", "File absent.xml not found"},
      {"newBone()", "Unsupported usage of a Lua constructor LMP_Bone"},
      {"newLocator(s, m:get('rig')):getChild('tile'):getMaterial():getColor(1)", "Material layer 1 does not exist"},
      {"newLocator(s, m:get('rig')):getChild('tile'):getMaterial():deleteLayer(-1)",
       "Material layer -1 does not exist"},
      {"newMesh(s, newMesh(s), 1)", "Too much arguments for newMesh"},
      {"newMesh(s, m:get('floor')):setOwnMaterial(true)", "Too much arguments, <> argument(s) expected"},
      {"newMesh(s, m:get('floor')):resetVertexPosition(1)", "Too much arguments, <> argument(s) expected"},
      {"newMesh(s, m:get('floor')):resetVertexColor(1)", "Too much arguments, <> argument(s) expected"},
  };
  std::string setup = "m = newModelsSet('figure.xml')";
  for (const auto& c : cases) {
    Player p({{"figure.xml", figureXml()}});
    ASSERT_EQ(p.run(std::string(kSceneAndNear) + setup), "");
    EXPECT_EQ(p.run(c.code), "") << c.code;
    ASSERT_FALSE(p.controller->failures.empty()) << c.code;
    EXPECT_NE(p.controller->failures[0].find(c.report), std::string::npos) << p.controller->failures[0];
  }
}

TEST(ModelsSetContent, ADeletedSetLeavesItsClonesWorking) {
  Figure f;
  f.expectOk(R"(
    a = newMesh(s, m:get('floor'))
    m:delete(); m:delete()
    assert(m:get('floor') == nil and m:getNames(OBJECT_MESH) == nil)
    assert(vnear(a:getVertexPosition(3), 1, 1, 0) and a:getColor() == color(0, 0.5, 0, 1))
  )");
  EXPECT_EQ(f.proxy("m")->model, nullptr);
  EXPECT_EQ(f.controller->resources.modelsSets.count, 0);
  EXPECT_EQ(f.controller->resources.retired.count(), 1);
}

TEST(ModelsSetContent, DeleteTakesNoArgumentsButDeletesAllTheSame) {
  Player p({{"figure.xml", figureXml()}});
  ASSERT_EQ(p.run("m = newModelsSet('figure.xml'); m:delete(1)"), "");
  ASSERT_EQ(p.controller->failures.size(), 1u);
  const std::string& f = p.controller->failures[0];
  EXPECT_EQ(f.substr(f.find("]:1: ") + 5), "Too much arguments, <> argument(s) expected");
  EXPECT_EQ(p.proxy("m")->model, nullptr);
  EXPECT_EQ(p.controller->resources.modelsSets.count, 0);
}

}  // namespace
