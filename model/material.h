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

  // The image of the first layer that has one; null when none has.
  ImageSource* firstLayerImage() const;
};

// Copy-on-write looks, one set of rules for every object holding a material
// (meshes, images, polylines): the material stays shared with its models set
// until the object changes it, then the object owns a private copy.
//
// Replaces a shared material by a private copy (a default material when there
// is none) and sets owns. False only when out of memory; nothing changes then.
bool MDL_ownMaterial(Material*& material, bool& owns);
// For an object's copy: shares what the source shares, copies what the source
// owns so that the copy never points at a material its source will delete.
void MDL_copyMaterialRef(Material* sourceMaterial, bool sourceOwns, Material*& material, bool& owns);
// Deletes a private material; a shared one is only let go.
void MDL_releaseMaterial(Material*& material, bool& owns);
