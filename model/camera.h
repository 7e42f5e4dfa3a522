// Viewpoints: a full field of view with its cached projection factor and
// the clip distances.
#pragma once

#include "model/constants.h"
#include "model/object.h"

class MDL_Camera : public MDL_Object {
 public:
  double angle = widen(49.14f) * kDegToRad;  // radians, 49.14 degrees
  double invTanHalfAngle;                    // 1 / tan(angle / 2)
  double clipStart = 1.0;
  double clipEnd = 100.0;

  MDL_Camera();
  MDL_Camera(const MDL_Camera& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Camera(*this); }

  // Every change of the angle goes through here so the cache follows.
  void setAngle(double radians);
  // The object part, then "angle" (degrees), "clip_start" and "clip_end".
  bool loadXml(const TiXmlElement* element) override;
};
