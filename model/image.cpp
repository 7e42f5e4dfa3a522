#include "model/image.h"

#include "model/image_source.h"
#include "model/material.h"

MDL_Image::~MDL_Image() { MDL_releaseMaterial(material, ownsMaterial); }

bool MDL_Image::ownMaterial() { return MDL_ownMaterial(material, ownsMaterial); }

double MDL_Image::getAspectRatio() const {
  const ImageSource* image = material ? material->firstLayerImage() : nullptr;
  if (!image || image->width == 0) return 1.0;
  return static_cast<double>(image->height) / image->width;
}

bool MDL_Image::hitTest(const Vec2& p) { return p.x >= 0.0 && p.x <= 1.0 && p.y >= 0.0 && p.y <= getAspectRatio(); }
