#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>

#include "model/camera.h"
#include "tests/model/xml_element.h"

namespace {

TEST(Camera, AngleInDegreesRefreshesTheCache) {
  MDL_Camera fresh;
  EXPECT_EQ(fresh.type, OBJECT_CAMERA);
  EXPECT_EQ(fresh.angle, 0.8576547837773691);
  EXPECT_DOUBLE_EQ(fresh.invTanHalfAngle, 1.0 / std::tan(0.8576547837773691 / 2));
  EXPECT_EQ(fresh.clipStart, 1.0);
  EXPECT_EQ(fresh.clipEnd, 100.0);

  TiXmlDocument doc;
  MDL_Camera cam;
  EXPECT_TRUE(cam.loadXml(parseElement(doc, "<object><angle>90</angle><clip_end>500</clip_end></object>")));
  EXPECT_DOUBLE_EQ(cam.angle, M_PI / 2);
  EXPECT_NEAR(cam.invTanHalfAngle, 1.0, 1e-15);
  EXPECT_EQ(cam.clipStart, 1.0);
  EXPECT_EQ(cam.clipEnd, 500.0);

  TiXmlDocument none;
  MDL_Camera keep;
  EXPECT_TRUE(keep.loadXml(parseElement(none, "<object><angle>wide open</angle></object>")));
  // atof gives 0 for a word, so the angle becomes 0 degrees as the reader converts it.
  EXPECT_EQ(keep.angle, 0.0);
  TiXmlDocument missing;
  MDL_Camera dflt;
  EXPECT_TRUE(dflt.loadXml(parseElement(missing, "<object/>")));
  EXPECT_EQ(dflt.angle, 0.8576547837773691);

  MDL_Camera* copy = static_cast<MDL_Camera*>(cam.copyObject());
  EXPECT_EQ(copy->type, OBJECT_CAMERA);
  EXPECT_EQ(copy->clipEnd, 500.0);
  delete copy;
}

}  // namespace
