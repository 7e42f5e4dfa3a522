#include "script/lmp_image.h"

#include "model/scene.h"
#include "script/lmp_fields.h"
#include "script/lmp_overlay.h"
#include "script/lmp_texture.h"

const char* const LMP_Image::luaName = "newImage";

LMP_Proxy* LMP_Image::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new LMP_Image(nullptr);
  // The texture is checked first, so a wrong one leaves no image behind.
  const bool textured = lua_gettop(L) >= 2;
  ImageSource* texture = textured ? LMP_checkTexture(L, 2) : nullptr;
  // Only an untextured image takes its parent's placement.
  MDL_Object* model = LMP_placeNewObject(scene, textured ? nullptr : parent, false, nullptr,
                                         [] { return static_cast<MDL_Object*>(new MDL_Image()); });
  if (textured && parent) parent->addChild(model);
  if (textured) {
    MDL_Image* image = static_cast<MDL_Image*>(model);
    LMP_requireMemory(image->ownMaterial());
    MaterialLayer* layer = image->material->addLayer();
    LMP_requireMemory(layer);
    layer->image = texture;
  }
  return new LMP_Image(model);
}

int LMP_Image::setTexture(lua_State* L) { return LMP_setLooksTexture(L, image()); }
int LMP_Image::getColor(lua_State* L) { return LMP_getLooksColor(L, image()); }
int LMP_Image::getMaterial(lua_State* L) { return LMP_getLooksMaterial(L, image()); }

int LMP_Image::getTexture(lua_State* L) {
  Material* m = image() ? image()->material : nullptr;
  if (!m || m->layers.count == 0) return 0;
  return LMP_pushTexture(L, m->layers[0].image);
}

int LMP_Image::setColor(lua_State* L) {
  double* c = nullptr;
  if (image() && LMP_getArgs(L, "C", &c)) LMP_setLooksColor(image(), c);
  return 0;
}

int LMP_Image::setOwnMaterial(lua_State* L) {
  LMP_getArgs(L, "");
  if (image()) image()->ownMaterial();
  return 0;
}

int LMP_Image::getAspectRatio(lua_State* L) { return image() ? LMP_returnNumber(L, image()->getAspectRatio()) : 0; }

int LMP_Image::getCenter(lua_State* L) {
  if (!image()) return 0;
  return LMP_pushCenter(L, image(), Vec3(0.5, image()->getAspectRatio() * 0.5, 0.0));
}

const LMP_MethodReg<LMP_Image> LMP_Image::methods[] = {
    {"setTexture", &LMP_Image::setTexture},
    {"getTexture", &LMP_Image::getTexture},
    {"getColor", &LMP_Image::getColor},
    {"setColor", &LMP_Image::setColor},
    {"setOwnMaterial", &LMP_Image::setOwnMaterial},
    {"getAspectRatio", &LMP_Image::getAspectRatio},
    {"getCenter", &LMP_Image::getCenter},
    {"getMaterial", &LMP_Image::getMaterial},
    {nullptr, nullptr},
};
