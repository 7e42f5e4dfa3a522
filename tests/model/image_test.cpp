#include <gtest/gtest.h>

#include "model/image.h"
#include "model/image_source.h"
#include "model/material.h"

namespace {

TEST(Image, AspectRatioComesFromTheFirstLayerWithAPicture) {
  MDL_Image image;
  EXPECT_EQ(image.type, OBJECT_IMAGE);
  EXPECT_EQ(image.getAspectRatio(), 1.0);  // no material

  ImageSource wide, tall, empty;
  wide.width = 200;
  wide.height = 100;
  tall.width = 100;
  tall.height = 300;
  Material looks;
  image.material = &looks;
  EXPECT_EQ(image.getAspectRatio(), 1.0);  // no layer
  ASSERT_NE(looks.addLayer(), nullptr);
  EXPECT_EQ(image.getAspectRatio(), 1.0);  // a layer without picture
  ASSERT_NE(looks.addLayer(), nullptr);
  ASSERT_NE(looks.addLayer(), nullptr);
  looks.layers[1].image = &wide;
  looks.layers[2].image = &tall;
  EXPECT_EQ(image.getAspectRatio(), 0.5);
  looks.layers[1].image = &empty;  // width 0
  EXPECT_EQ(image.getAspectRatio(), 1.0);
  looks.layers[1].image = &tall;
  EXPECT_EQ(image.getAspectRatio(), 3.0);
  image.material = nullptr;
}

TEST(Image, HitsItsRectangleEdgesIncluded) {
  ImageSource wide;
  wide.width = 200;
  wide.height = 100;
  Material looks;
  ASSERT_NE(looks.addLayer(), nullptr);
  looks.layers[0].image = &wide;
  MDL_Image image;
  image.material = &looks;
  MDL_Image bare;
  struct Case {
    MDL_Image* image;
    Vec2 p;
    bool hit;
  } cases[] = {
      {&image, {1, 0.5}, true},     {&image, {0, 0}, true},        {&image, {0.5, 0.6}, false},
      {&image, {1.01, 0.2}, false}, {&image, {-0.01, 0.2}, false}, {&image, {0.5, -0.01}, false},
      {&bare, {1, 1}, true},        {&bare, {0.5, 0.6}, true},     {&bare, {0.5, 1.01}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.image->hitTest(c.p), c.hit) << (c.image == &bare ? "bare " : "") << c.p.x << ", " << c.p.y;
  image.material = nullptr;
}

TEST(Image, OwnMaterialCopiesOnceAndDefaultsWithoutOne) {
  Material shared;
  shared.diffuse = {0.3, 0.3, 0.3, 1};
  ASSERT_NE(shared.addLayer(), nullptr);
  {
    MDL_Image image;
    image.material = &shared;
    ASSERT_TRUE(image.ownMaterial());
    Material* own = image.material;
    EXPECT_NE(own, &shared);
    EXPECT_TRUE(image.ownsMaterial);
    EXPECT_EQ(own->layers.count, 1);
    own->diffuse.g = 1.0;
    ASSERT_TRUE(image.ownMaterial());
    EXPECT_EQ(image.material, own);
  }
  EXPECT_EQ(shared.diffuse.g, 0.3);
  MDL_Image bare;
  ASSERT_TRUE(bare.ownMaterial());
  ASSERT_NE(bare.material, nullptr);
  EXPECT_EQ(bare.material->layers.count, 0);
  EXPECT_EQ(bare.material->diffuse.r, 1.0);
  EXPECT_EQ(bare.material->diffuse.a, 1.0);
}

}  // namespace
