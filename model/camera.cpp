#include "model/camera.h"

#include <cmath>

#include "model/constants.h"
#include "model/xml_values.h"

MDL_Camera::MDL_Camera() {
  type = OBJECT_CAMERA;
  setAngle(angle);
}

void MDL_Camera::setAngle(double radians) {
  angle = radians;
  invTanHalfAngle = 1.0 / std::tan(radians / 2.0);
}

bool MDL_Camera::loadXml(const TiXmlElement* element) {
  MDL_Object::loadXml(element);
  double degrees;
  if (readRealsChild(element, "angle", &degrees, 1)) setAngle(degrees * kDegToRad);
  readRealsChild(element, "clip_start", &clipStart, 1);
  readRealsChild(element, "clip_end", &clipEnd, 1);
  return true;
}
