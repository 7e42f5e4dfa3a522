#include "model/lamp.h"

#include <cstring>

#include <tinyxml.h>

#include "model/xml_values.h"

int32_t MDL_Lamp::kindOf(const char* text) {
  static const char* const names[] = {"None", "Lamp", "Sun", "Spot", "Hemi", "Area", "Photon"};
  if (!text) return LAMP_NONE;
  for (int32_t k = 0; k < 7; ++k)
    if (std::strcmp(text, names[k]) == 0) return k;
  return LAMP_NONE;
}

bool MDL_Lamp::loadXml(const TiXmlElement* element) {
  MDL_Object::loadXml(element);
  const TiXmlElement* typeElement = element ? element->FirstChildElement("type") : nullptr;
  if (!typeElement) return false;
  kind = kindOf(elementText(typeElement));
  readRealsChild(element, "color", &color.r, 3);
  readRealsChild(element, "energy", &energy, 1);
  readBoolChild(element, "no_diffuse", &noDiffuse);
  readBoolChild(element, "no_specular", &noSpecular);
  switch (kind) {
    case LAMP_LAMP:
      readRealsChild(element, "distance", &distance, 1);
      readRealsChild(element, "quad1", &quad1, 1);
      readRealsChild(element, "quad2", &quad2, 1);
      readBoolChild(element, "shadows", &shadows);
      break;
    case LAMP_SUN:
      readBoolChild(element, "shadows", &shadows);
      break;
    case LAMP_SPOT:
      readRealsChild(element, "spot_size", &spotSize, 1);
      readRealsChild(element, "quad1", &quad1, 1);
      readRealsChild(element, "quad2", &quad2, 1);
      readRealsChild(element, "distance", &distance, 1);
      readBoolChild(element, "shadows", &shadows);
      break;
    default:
      break;
  }
  return true;
}
