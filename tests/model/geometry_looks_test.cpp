#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>
#include <memory>

#include "model/camera.h"
#include "model/image_source.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/sample.h"
#include "model/sound.h"

namespace {

const TiXmlElement* parse(TiXmlDocument& doc, const char* xml) {
  doc.Parse(xml);
  EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
  return doc.RootElement();
}

TEST(Lamp, DefaultsAndKeysByKind) {
  MDL_Lamp fresh;
  EXPECT_EQ(fresh.type, OBJECT_LAMP);
  EXPECT_EQ(fresh.kind, LAMP_LAMP);
  EXPECT_EQ(fresh.color.a, 1.0);
  EXPECT_EQ(fresh.distance, 20.0);
  EXPECT_EQ(fresh.shadowDepth, 30.0);
  EXPECT_EQ(fresh.spotSize, 45.0);
  EXPECT_EQ(fresh.spotExponent, 42.0);
  EXPECT_TRUE(fresh.on);
  EXPECT_EQ(fresh.shadowType, SHADOW_2D);

  // Every key in every element; each kind reads only its own.
  const char* keys =
      "<color>0.5 0.25 1</color><energy>2</energy><no_diffuse>1</no_diffuse>"
      "<distance>7</distance><quad1>0.1</quad1><quad2>0.2</quad2><shadows>1</shadows>"
      "<spot_size>30</spot_size>";
  struct Case {
    const char* type;
    int32_t kind;
    double distance, quad1, spotSize;
    bool shadows;
  };
  const Case cases[] = {
      {"Lamp", LAMP_LAMP, 7, 0.1, 45, true},  {"Sun", LAMP_SUN, 20, 0, 45, true},
      {"Spot", LAMP_SPOT, 7, 0.1, 30, true},  {"Hemi", LAMP_HEMI, 20, 0, 45, false},
      {"spot", LAMP_NONE, 20, 0, 45, false},  {"Photon", LAMP_PHOTON, 20, 0, 45, false},
  };
  for (const Case& c : cases) {
    std::string xml = std::string("<object name=\"L\"><type>") + c.type + "</type>" + keys + "</object>";
    TiXmlDocument doc;
    MDL_Lamp lamp;
    EXPECT_TRUE(lamp.loadXml(parse(doc, xml.c_str()))) << c.type;
    EXPECT_STREQ(lamp.name, "L");
    EXPECT_EQ(lamp.kind, c.kind) << c.type;
    EXPECT_EQ(lamp.color.r, 0.5);
    EXPECT_EQ(lamp.color.b, 1.0);
    EXPECT_EQ(lamp.color.a, 1.0);
    EXPECT_EQ(lamp.energy, 2.0);
    EXPECT_TRUE(lamp.noDiffuse);
    EXPECT_FALSE(lamp.noSpecular);
    EXPECT_EQ(lamp.distance, c.distance) << c.type;
    EXPECT_EQ(lamp.quad1, c.quad1) << c.type;
    EXPECT_EQ(lamp.spotSize, c.spotSize) << c.type;
    EXPECT_EQ(lamp.shadows, c.shadows) << c.type;
  }
}

TEST(Lamp, WithoutTypeReadsTheObjectPartAndAnswersFalse) {
  TiXmlDocument doc;
  MDL_Lamp lamp;
  EXPECT_FALSE(lamp.loadXml(parse(doc,
                                  "<object name=\"x\"><matrix>1 0 0 0 0 1 0 0 0 0 1 0 3 4 5 1</matrix>"
                                  "<energy>9</energy></object>")));
  EXPECT_STREQ(lamp.name, "x");
  EXPECT_EQ(lamp.getWorld().position, Vec3(3, 4, 5));
  EXPECT_EQ(lamp.energy, 1.0);
}

TEST(Camera, AngleInDegreesRefreshesTheCache) {
  MDL_Camera fresh;
  EXPECT_EQ(fresh.type, OBJECT_CAMERA);
  EXPECT_EQ(fresh.angle, 0.8576547837773691);
  EXPECT_DOUBLE_EQ(fresh.invTanHalfAngle, 1.0 / std::tan(0.8576547837773691 / 2));
  EXPECT_EQ(fresh.clipStart, 1.0);
  EXPECT_EQ(fresh.clipEnd, 100.0);

  TiXmlDocument doc;
  MDL_Camera cam;
  EXPECT_TRUE(cam.loadXml(parse(doc, "<object><angle>90</angle><clip_end>500</clip_end></object>")));
  EXPECT_DOUBLE_EQ(cam.angle, M_PI / 2);
  EXPECT_NEAR(cam.invTanHalfAngle, 1.0, 1e-15);
  EXPECT_EQ(cam.clipStart, 1.0);
  EXPECT_EQ(cam.clipEnd, 500.0);

  TiXmlDocument none;
  MDL_Camera keep;
  EXPECT_TRUE(keep.loadXml(parse(none, "<object><angle>wide open</angle></object>")));
  // atof gives 0 for a word, so the angle becomes 0 degrees as the reader converts it.
  EXPECT_EQ(keep.angle, 0.0);
  TiXmlDocument missing;
  MDL_Camera dflt;
  EXPECT_TRUE(dflt.loadXml(parse(missing, "<object/>")));
  EXPECT_EQ(dflt.angle, 0.8576547837773691);

  MDL_Camera* copy = static_cast<MDL_Camera*>(cam.copyObject());
  EXPECT_EQ(copy->type, OBJECT_CAMERA);
  EXPECT_EQ(copy->clipEnd, 500.0);
  delete copy;
}

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
  EXPECT_EQ(sound.sampleAt(0), 2.0f);  // -2 wraps to 1
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
  EXPECT_TRUE(m.loadXml(parse(doc,
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
