// Image overlays: a textured rectangle one unit wide and as high as its
// picture's aspect ratio (height / width), its corner at the origin.
#pragma once

#include "model/object.h"

class Material;

class MDL_Image : public MDL_Object {
 public:
  Material* material = nullptr;  // shared until ownMaterial
  bool ownsMaterial = false;

  MDL_Image() { type = OBJECT_IMAGE; }
  MDL_Image(const MDL_Image&) = delete;  // images are never cloned
  ~MDL_Image() override;

  // Gives the image a private material (a copy of the current one, or a
  // default one) before a change of looks. False only when out of memory.
  bool ownMaterial();
  // Height / width of the first layer image; 1 without one or for width 0.
  double getAspectRatio() const;
  bool hitTest(const Vec2& p) override;
};
