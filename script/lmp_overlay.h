#pragma once
// What the overlay classes share: a point of the object's own frame answered
// in the frame a method asks for, and the looks (colour, texture, material)
// that images and polylines keep in the same field.
//
// Overlays are sorted by world z. When two overlays have the same z, the
// later one (registered last) covers the earlier one, and picking answers it.

#include "model/material.h"
#include "model/object.h"
#include "script/lmp_fields.h"
#include "script/lmp_material.h"
#include "script/lmp_texture.h"

// Answers c, given in the object's own frame, in the frame the optional
// argument names (default REF_GLOBAL).
int LMP_pushCenter(lua_State* L, MDL_Object* o, const Vec3& c);

// Looks of images and polylines (M: MDL_Image or MDL_Polyline).

template <class M>
int LMP_getLooksColor(lua_State* L, M* m) {
  if (!m || !m->material) return 0;
  return LMP_returnColor(L, m->material->diffuse);
}

template <class M>
void LMP_setLooksColor(M* m, const double* c) {
  if (m->ownMaterial()) m->material->diffuse = LMP_toColor(c);
}

template <class M>
int LMP_setLooksTexture(lua_State* L, M* m) {
  if (!m) return 0;
  ImageSource* texture = LMP_lastTextureArg(L, false);
  if (!m->ownMaterial()) return 0;
  Material* material = m->material;
  if (material->layers.count == 0 && !material->addLayer()) return 0;
  material->layers[material->layers.count - 1].image = texture;
  return 0;
}

template <class M>
int LMP_getLooksMaterial(lua_State* L, M* m) {
  return m && m->material ? LMP_pushMaterial(L, m->material) : 0;
}
