// Looks shared by meshes, images and polylines: colours, flags and a list of
// texture layers. A models set owns its materials; an object that changes its
// looks first takes a private copy.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/color.h"
#include "model/ptr_array.h"
#include "model/vec3.h"

class TiXmlElement;
struct ImageSource;

struct MaterialLayer {
  ImageSource* image = nullptr;  // not owned
  ColorRGBA color{1, 1, 1, 1};   // tint and layer alpha
  RigidTransform textureTransform;
  bool changed = true;  // the renderer rebuilds the texture matrix
};

class Material {
 public:
  LMP_ProxyRef proxy;
  char* name = nullptr;  // malloc'd, may be null
  GrowArray<MaterialLayer> layers;
  double shininess = 50.0;
  bool shadeless = false;  // no lighting, no received shadows
  bool castShadows = true;
  bool mirror = false;  // drawn as a planar mirror; never translucent
  ColorRGBA ambient{0.5, 0.5, 0.5, 1};
  ColorRGBA diffuse{1, 1, 1, 1};  // its alpha is the material's alpha
  ColorRGBA specular{1, 1, 1, 1};

  Material() = default;
  // A copy of every field with its own name and layer list (the layers
  // share their images) and no script proxy.
  Material(const Material& other);
  Material& operator=(const Material&) = delete;
  ~Material();

  // Frees the material (name, layers, proxy link).
  void destroy() { delete this; }

  bool isTranslucent() const;

  // Reads a models-set "material" element; texture layers name entries of
  // `textures` (a layer whose name matches none has no image).
  bool loadXml(const TiXmlElement* element, const PtrArray<ImageSource>& textures);

  // Appends a layer with the defaults; null when memory runs out.
  MaterialLayer* addLayer();
};
