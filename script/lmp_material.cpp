#include "script/lmp_material.h"

#include <cmath>

#include "model/constants.h"
#include "script/lmp_args.h"
#include "script/lmp_fields.h"
#include "script/lmp_texture.h"
#include "script/lmp_values.h"

const char* const LMP_Material::luaName = "newMaterial";

namespace {

// The layer a number names, or null after reporting it.
MaterialLayer* layerAt(lua_State* L, Material* m, int index) {
  if (index >= 0 && index < m->layers.count) return &m->layers[index];
  LMP_reportError(L, "Material layer %d does not exist", index);
  return nullptr;
}

}  // namespace

LMP_Material::~LMP_Material() {
  if (material() && material()->proxy.get() == this) material()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_Material::construct(lua_State*) { return new LMP_Material(); }

int LMP_pushMaterial(lua_State* L, Material* material) {
  if (!material) return 0;
  LMP_Proxy* proxy = material->proxy.get();
  if (!proxy) {
    proxy = new LMP_Material();
    proxy->model = material;
    material->proxy.assign(proxy);
  }
  LMP_Binder<LMP_Material>::push(L, proxy);
  return 1;
}

int LMP_Material::getAmbient(lua_State* L) { return LMP_getField(L, material(), &Material::ambient); }
int LMP_Material::setAmbient(lua_State* L) { return LMP_setField(L, material(), &Material::ambient); }
int LMP_Material::getDiffuse(lua_State* L) { return LMP_getField(L, material(), &Material::diffuse); }
int LMP_Material::setDiffuse(lua_State* L) { return LMP_setField(L, material(), &Material::diffuse); }
int LMP_Material::getSpecular(lua_State* L) { return LMP_getField(L, material(), &Material::specular); }
int LMP_Material::setSpecular(lua_State* L) { return LMP_setField(L, material(), &Material::specular); }

int LMP_Material::getColor(lua_State* L) {
  int index = 0;
  if (!material() || !LMP_getArgs(L, "I", &index)) return 0;
  MaterialLayer* layer = layerAt(L, material(), index);
  return layer ? LMP_returnColor(L, layer->color) : 0;
}

int LMP_Material::setColor(lua_State* L) {
  int index = 0;
  double* c = nullptr;
  if (!material() || !LMP_getArgs(L, "IC", &index, &c)) return 0;
  if (MaterialLayer* layer = layerAt(L, material(), index)) layer->color = LMP_toColor(c);
  return 0;
}

// A proxy is made for a texture that has none, as meshes and images do, so
// every texture a script can see is reachable the same way.
int LMP_Material::getTexture(lua_State* L) {
  int index = 0;
  if (!material() || !LMP_getArgs(L, "I", &index)) return 0;
  MaterialLayer* layer = layerAt(L, material(), index);
  return layer ? LMP_pushTexture(L, layer->image) : 0;
}

int LMP_Material::setTexture(lua_State* L) {
  if (!material()) return 0;
  ImageSource* texture = LMP_lastTextureArg(L, false);
  const int layerArg = lua_gettop(L) - 1;
  if (layerArg < 1 || !lua_isnumber(L, layerArg)) LMP_argError(L, layerArg < 1 ? 1 : layerArg, "number expected");
  if (MaterialLayer* layer = layerAt(L, material(), LMP_toInt(L, layerArg))) layer->image = texture;
  return 0;
}

int LMP_Material::addLayer(lua_State* L) {
  if (!material()) return 0;
  ImageSource* texture = LMP_lastTextureArg(L, true);
  if (MaterialLayer* layer = material()->addLayer()) {
    layer->image = texture;
    layer->changed = true;
  }
  return 0;
}

int LMP_Material::deleteLayer(lua_State* L) {
  int index = 0;
  if (!material() || !LMP_getArgs(L, "I", &index)) return 0;
  if (layerAt(L, material(), index)) material()->layers.removeAt(index);
  return 0;
}

int LMP_Material::rotate(lua_State* L) {
  int index = 0;
  double* centre = nullptr;
  double degrees = 0;
  if (!material() || !LMP_getArgs(L, "IWN", &index, &centre, &degrees)) return 0;
  MaterialLayer* layer = layerAt(L, material(), index);
  if (!layer) return 0;
  const double angle = degrees * kDegToRad;
  const Vec3 zAxis(0, 0, 1);
  layer->changed = true;
  RigidTransform& t = layer->textureTransform;
  Matrix3::rotate(t.basis, zAxis, angle);
  t.inverseStale = 1;
  // The offset turns about the centre in the layer's plane.
  Vec3 d(t.position.x - centre[0], t.position.y - centre[1], t.position.z);
  rotateAboutAxis3(d, zAxis, std::cos(angle), std::sin(angle));
  t.position = Vec3(centre[0] + d.x, centre[1] + d.y, d.z);
  return 0;
}

int LMP_Material::dilate(lua_State* L) {
  int index = 0;
  double* centre = nullptr;
  double factor = 0;
  if (!material() || !LMP_getArgs(L, "IWN", &index, &centre, &factor)) return 0;
  MaterialLayer* layer = layerAt(L, material(), index);
  if (!layer) return 0;
  layer->changed = true;
  RigidTransform& t = layer->textureTransform;
  for (int e = 0; e < 9; ++e) t.basis.at(e) *= factor;
  t.inverseStale = 1;
  t.position = Vec3(centre[0] + (t.position.x - centre[0]) * factor, centre[1] + (t.position.y - centre[1]) * factor,
                    t.position.z * factor);
  return 0;
}

int LMP_Material::translate(lua_State* L) {
  int index = 0;
  double* d = nullptr;
  if (!material() || !LMP_getArgs(L, "IW", &index, &d)) return 0;
  if (MaterialLayer* layer = layerAt(L, material(), index)) {
    layer->textureTransform.position.x += d[0];
    layer->textureTransform.position.y += d[1];
  }
  return 0;
}

int LMP_Material::reset(lua_State* L) {
  int index = 0;
  if (!material() || !LMP_getArgs(L, "I", &index)) return 0;
  if (MaterialLayer* layer = layerAt(L, material(), index)) {
    layer->textureTransform = RigidTransform();
    layer->changed = true;
  }
  return 0;
}

const LMP_MethodReg<LMP_Material> LMP_Material::methods[] = {
    {"getAmbient", &LMP_Material::getAmbient},
    {"setAmbient", &LMP_Material::setAmbient},
    {"getDiffuse", &LMP_Material::getDiffuse},
    {"setDiffuse", &LMP_Material::setDiffuse},
    {"getSpecular", &LMP_Material::getSpecular},
    {"setSpecular", &LMP_Material::setSpecular},
    {"getColor", &LMP_Material::getColor},
    {"setColor", &LMP_Material::setColor},
    {"getTexture", &LMP_Material::getTexture},
    {"setTexture", &LMP_Material::setTexture},
    {"addLayer", &LMP_Material::addLayer},
    {"deleteLayer", &LMP_Material::deleteLayer},
    {"rotate", &LMP_Material::rotate},
    {"dilate", &LMP_Material::dilate},
    {"translate", &LMP_Material::translate},
    {"reset", &LMP_Material::reset},
    {nullptr, nullptr},
};
