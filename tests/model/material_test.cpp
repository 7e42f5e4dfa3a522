#include <gtest/gtest.h>
#include <tinyxml.h>

#include "model/image_source.h"
#include "model/material.h"
#include "model/object.h"  // MDL_copyString
#include "tests/model/xml_element.h"

namespace {

TEST(Material, DefaultsAndCopy) {
  Material m;
  EXPECT_EQ(m.name, nullptr);
  EXPECT_EQ(m.layers.count, 0);
  EXPECT_EQ(m.shininess, 50.0);
  EXPECT_FALSE(m.shadeless);
  EXPECT_TRUE(m.castShadows);
  EXPECT_FALSE(m.mirror);
  EXPECT_EQ(m.ambient.r, 0.5);
  EXPECT_EQ(m.ambient.a, 1.0);
  EXPECT_EQ(m.diffuse.g, 1.0);
  EXPECT_EQ(m.specular.b, 1.0);

  ImageSource image;
  m.name = MDL_copyString("wood");
  MaterialLayer* layer = m.addLayer();
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(layer->color.a, 1.0);
  EXPECT_EQ(layer->textureTransform.basis.X(), Vec3(1, 0, 0));
  EXPECT_TRUE(layer->textureTransform.inverseStale);
  layer->image = &image;
  layer->textureTransform.position = Vec3(0.5, 0, 0);

  Material copy(m);
  EXPECT_STREQ(copy.name, "wood");
  EXPECT_NE(copy.name, m.name);
  ASSERT_EQ(copy.layers.count, 1);
  EXPECT_NE(copy.layers.data, m.layers.data);
  EXPECT_EQ(copy.layers[0].image, &image);
  EXPECT_EQ(copy.layers[0].textureTransform.position.x, 0.5);
  EXPECT_FALSE(copy.proxy);
  copy.layers[0].color.r = 0;
  EXPECT_EQ(m.layers[0].color.r, 1.0);
}

TEST(Material, TranslucencyRule) {
  ImageSource alpha;
  alpha.hasAlpha = true;
  ImageSource twoLevel;
  twoLevel.hasAlpha = true;
  twoLevel.binaryAlpha = true;
  ImageSource opaque;
  struct Case {
    const char* what;
    bool mirror;
    double diffuseAlpha;
    bool layer;
    double layerAlpha;
    ImageSource* image;
    bool translucent;
  };
  const Case cases[] = {
      {"plain", false, 1, false, 1, nullptr, false},
      {"half alpha", false, 0.5, false, 1, nullptr, true},
      {"alpha 0", false, 0, false, 1, nullptr, false},
      {"mirror half alpha", true, 0.5, false, 1, nullptr, false},
      {"layer half alpha", false, 1, true, 0.5, nullptr, true},
      {"layer alpha 0", false, 1, true, 0, nullptr, false},
      {"alpha image", false, 1, true, 1, &alpha, true},
      {"two-level image", false, 1, true, 1, &twoLevel, false},
      {"opaque image", false, 1, true, 1, &opaque, false},
  };
  for (const Case& c : cases) {
    Material m;
    m.mirror = c.mirror;
    m.diffuse.a = c.diffuseAlpha;
    if (c.layer) {
      MaterialLayer* l = m.addLayer();
      l->color.a = c.layerAlpha;
      l->image = c.image;
    }
    EXPECT_EQ(m.isTranslucent(), c.translucent) << c.what;
  }
}

TEST(Material, ReadsItsElementWithTextureLayers) {
  ImageSource a, b;
  a.name = MDL_copyString("a.png");
  b.name = MDL_copyString("b.png");
  PtrArray<ImageSource> textures;
  textures.append(&a);
  textures.append(&b);
  TiXmlDocument doc;
  Material m;
  EXPECT_TRUE(m.loadXml(parseElement(doc,
                                     "<material name=\"skin\"><diffuse>0.1 0.2 0.3</diffuse><alpha>0.5</alpha>"
                                     "<shininess>12</shininess><shadeless>1</shadeless><cast_shadows>0</cast_shadows>"
                                     "<ambient>1 2</ambient>"
                                     "<texture>b.png</texture><texture>none.png</texture>"
                                     "<color>0.5 0.5 0.5 0.25</color></material>"),
                        textures));
  EXPECT_STREQ(m.name, "skin");
  EXPECT_EQ(m.diffuse.r, 0.1);
  EXPECT_EQ(m.diffuse.b, 0.3);
  EXPECT_EQ(m.diffuse.a, 0.5);
  EXPECT_EQ(m.shininess, 12.0);
  EXPECT_TRUE(m.shadeless);
  EXPECT_FALSE(m.castShadows);
  EXPECT_FALSE(m.mirror);
  EXPECT_EQ(m.ambient.r, 1.0);  // a short list still stores what it has
  EXPECT_EQ(m.ambient.b, 0.5);
  ASSERT_EQ(m.layers.count, 2);
  EXPECT_EQ(m.layers[0].image, &b);
  EXPECT_EQ(m.layers[1].image, nullptr);
  EXPECT_EQ(m.layers[0].color.a, 0.25);
  EXPECT_EQ(m.layers[1].color.a, 1.0);
}

}  // namespace
