#include <gtest/gtest.h>
#include <tinyxml.h>

#include "model/lamp.h"
#include "tests/model/xml_element.h"

namespace {

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
      {"Lamp", LAMP_LAMP, 7, 0.1, 45, true}, {"Sun", LAMP_SUN, 20, 0, 45, true},
      {"Spot", LAMP_SPOT, 7, 0.1, 30, true}, {"Hemi", LAMP_HEMI, 20, 0, 45, false},
      {"spot", LAMP_NONE, 20, 0, 45, false}, {"Photon", LAMP_PHOTON, 20, 0, 45, false},
  };
  for (const Case& c : cases) {
    std::string xml = std::string("<object name=\"L\"><type>") + c.type + "</type>" + keys + "</object>";
    TiXmlDocument doc;
    MDL_Lamp lamp;
    EXPECT_TRUE(lamp.loadXml(parseElement(doc, xml.c_str()))) << c.type;
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
  EXPECT_FALSE(lamp.loadXml(parseElement(doc,
                                         "<object name=\"x\"><matrix>1 0 0 0 0 1 0 0 0 0 1 0 3 4 5 1</matrix>"
                                         "<energy>9</energy></object>")));
  EXPECT_STREQ(lamp.name, "x");
  EXPECT_EQ(lamp.getWorld().position, Vec3(3, 4, 5));
  EXPECT_EQ(lamp.energy, 1.0);
}

}  // namespace
