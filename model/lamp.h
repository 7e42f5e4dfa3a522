// Light sources, read by the renderer and the shadow-volume builder.
#pragma once

#include <cstdint>

#include "model/color.h"
#include "model/object.h"

enum LampKind {
  LAMP_NONE = 0,
  LAMP_LAMP = 1,
  LAMP_SUN = 2,  // directional
  LAMP_SPOT = 3,
  LAMP_HEMI = 4,
  LAMP_AREA = 5,
  LAMP_PHOTON = 6,
};

enum ShadowType { SHADOW_2D = 0, SHADOW_3D = 1 };

class MDL_Lamp : public MDL_Object {
 public:
  int32_t kind = LAMP_LAMP;
  ColorRGBA color{0, 0, 0, 1};
  ColorRGBA ambientColor{0, 0, 0, 1};
  double shadowCoeff = 0.5;
  double energy = 1.0;
  double distance = 20.0;
  double quad1 = 0.0;
  double quad2 = 0.0;
  bool shadows = false;
  bool noSpecular = false;
  bool noDiffuse = false;
  bool on = true;
  double shadowDepth = 30.0;  // extrusion length of shadow volumes
  double spotSize = 45.0;
  double spotExponent = 42.0;
  int32_t shadowType = SHADOW_2D;

  MDL_Lamp() { type = OBJECT_LAMP; }
  MDL_Lamp(const MDL_Lamp& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Lamp(*this); }

  // The object part, then the lamp's keys by kind. False when the element
  // has no "type" (the object part is still read).
  bool loadXml(const TiXmlElement* element) override;

  // The kind of a "type" text ("None" ... "Photon", exact); 0 for anything else.
  static int32_t kindOf(const char* text);
};
