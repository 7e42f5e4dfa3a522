#include "model/material.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <tinyxml.h>

#include "model/image_source.h"
#include "model/object.h"
#include "model/xml_values.h"

Material::Material(const Material& other)
    : name(MDL_copyString(other.name)),
      shininess(other.shininess),
      shadeless(other.shadeless),
      castShadows(other.castShadows),
      mirror(other.mirror),
      ambient(other.ambient),
      diffuse(other.diffuse),
      specular(other.specular) {
  if (layers.resize(other.layers.count))
    for (int32_t i = 0; i < other.layers.count; ++i) layers[i] = other.layers[i];
}

Material::~Material() { std::free(name); }

MaterialLayer* Material::addLayer() {
  if (!layers.append(MaterialLayer())) return nullptr;
  return &layers[layers.count - 1];
}

ImageSource* Material::firstLayerImage() const {
  for (const MaterialLayer& layer : layers)
    if (layer.image) return layer.image;
  return nullptr;
}

bool MDL_ownMaterial(Material*& material, bool& owns) {
  if (owns) return true;
  Material* copy = material ? new (std::nothrow) Material(*material) : new (std::nothrow) Material();
  if (!copy) return false;
  material = copy;
  owns = true;
  return true;
}

void MDL_copyMaterialRef(Material* sourceMaterial, bool sourceOwns, Material*& material, bool& owns) {
  material = sourceMaterial;
  owns = false;
  if (sourceOwns && sourceMaterial) {
    material = new (std::nothrow) Material(*sourceMaterial);
    owns = material != nullptr;
  }
}

void MDL_releaseMaterial(Material*& material, bool& owns) {
  if (owns && material) material->destroy();
  material = nullptr;
  owns = false;
}

static bool strictlyBetween01(double a) { return a > 0.0 && a < 1.0; }

bool Material::isTranslucent() const {
  if (mirror) return false;
  if (strictlyBetween01(diffuse.a)) return true;
  if (layers.count == 0) return false;
  const MaterialLayer& first = layers[0];
  if (strictlyBetween01(first.color.a)) return true;
  return first.image && first.image->hasAlpha && !first.image->binaryAlpha;
}

bool Material::loadXml(const TiXmlElement* element, const PtrArray<ImageSource>& textures) {
  if (!element) return true;
  char* newName = MDL_copyString(element->Attribute("name"));
  std::free(name);
  name = newName;
  readRealsChild(element, "ambient", &ambient.r, 3);
  readRealsChild(element, "diffuse", &diffuse.r, 3);
  readRealsChild(element, "specular", &specular.r, 3);
  readRealsChild(element, "shininess", &shininess, 1);
  readRealsChild(element, "alpha", &diffuse.a, 1);
  readBoolChild(element, "shadeless", &shadeless);
  readBoolChild(element, "mirror", &mirror);
  readBoolChild(element, "cast_shadows", &castShadows);

  for (const TiXmlElement* t = element->FirstChildElement("texture"); t; t = t->NextSiblingElement("texture")) {
    MaterialLayer* layer = addLayer();
    if (!layer) break;
    const char* wanted = elementText(t);
    if (!wanted) continue;
    for (ImageSource* image : textures) {
      if (image && image->name && std::strcmp(image->name, wanted) == 0) {
        layer->image = image;
        break;
      }
    }
  }
  if (layers.count > 0)
    if (const TiXmlElement* c = element->FirstChildElement("color")) readReals(elementText(c), &layers[0].color.r, 4);
  return true;
}
