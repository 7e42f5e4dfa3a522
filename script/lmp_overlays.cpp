#include "script/lmp_overlays.h"

#include <climits>
#include <new>

#include "controller/ctrl_generic.h"
#include "model/font_record.h"
#include "model/material.h"
#include "model/scene.h"
#include "script/engine.h"
#include "script/lmp_fields.h"
#include "script/lmp_material.h"
#include "script/lmp_resources.h"

const char* const LMP_Text::luaName = "newText";
const char* const LMP_Image::luaName = "newImage";
const char* const LMP_Polyline::luaName = "newPolyline";
const char* const LMP_Locator::luaName = "newLocator";

namespace {

enum { REF_SELF = 1, REF_LOCAL = 2, REF_GLOBAL = 3 };

// Answers c, given in the object's own frame, in the frame the optional
// argument names (default REF_GLOBAL).
int pushCenter(lua_State* L, MDL_Object* o, const Vec3& c) {
  int frame = REF_GLOBAL;
  if (lua_gettop(L) > 0 && !LMP_getArgs(L, "I", &frame)) return 0;
  switch (frame) {
    case REF_SELF:
      return LMP_returnV3(L, c);
    case REF_LOCAL: {
      o->recomputeLocal();
      return LMP_returnV3(L, o->local.basis * c + o->local.position);
    }
    case REF_GLOBAL: {
      const RigidTransform& w = o->getWorld();
      return LMP_returnV3(L, w.basis * c + w.position);
    }
  }
  LMP_reportError(L, "Invalid reference ID");
  return 0;
}

// ---- Looks shared by images and polylines (M: MDL_Image or MDL_Polyline)

template <class M>
int getLooksColor(lua_State* L, M* m) {
  if (!m || !m->material) return 0;
  return LMP_pushColorRGBA(L, m->material->diffuse);
}

template <class M>
void setLooksColor(M* m, const double* c) {
  if (m->ownMaterial()) m->material->diffuse = ColorRGBA{c[0], c[1], c[2], c[3]};
}

template <class M>
int setLooksTexture(lua_State* L, M* m) {
  if (!m) return 0;
  ImageSource* texture = LMP_lastTextureArg(L, false);
  if (!m->ownMaterial()) return 0;
  Material* material = m->material;
  if (material->layers.count == 0 && !material->addLayer()) return 0;
  material->layers[material->layers.count - 1].image = texture;
  return 0;
}

template <class M>
int getLooksMaterial(lua_State* L, M* m) {
  return m && m->material ? LMP_pushMaterial(L, m->material) : 0;
}

// The font record of the newFont userdata at idx with a live proxy; else an
// argument error naming newFont.
FontRecord* fontArg(lua_State* L, int idx) {
  LMP_Proxy* proxy = LMP_Binder<LMP_Font>::check(L, idx);
  if (!proxy->model) LMP_argError(L, idx, LMP_Font::luaName);
  return static_cast<FontRecord*>(proxy->model);
}

// The texture of the newTexture userdata at idx with a live proxy; else an
// argument error naming newTexture.
ImageSource* textureArg(lua_State* L, int idx) {
  LMP_Proxy* proxy = LMP_Binder<LMP_Texture>::check(L, idx);
  if (!proxy->model) LMP_argError(L, idx, LMP_Texture::luaName);
  return static_cast<ImageSource*>(proxy->model);
}

// Appends the v2 elements of the table at index 1, skipping a point equal
// to the current last one. Other elements are reported and skipped.
int appendPoints(lua_State* L, MDL_Polyline* line) {
  if (lua_gettop(L) != 1 || !lua_istable(L, 1)) {
    LMP_reportError(L, "Wrong argument, Table of 2D vector argument expected");
    return 0;
  }
  const size_t len = lua_rawlen(L, 1);
  const int n = len > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
  for (int i = 1; i <= n; ++i) {
    lua_rawgeti(L, 1, i);
    const double* v = LMP_testV2(L, -1);
    const Vec2 p = v ? Vec2(v[0], v[1]) : Vec2();
    lua_pop(L, 1);
    if (!v) {
      LMP_reportError(L, "Wrong element in table, 2D vector element expected");
      continue;
    }
    const int32_t count = line->points.count;
    if (count > 0 && line->points[count - 1].x == p.x && line->points[count - 1].y == p.y) continue;
    if (!line->addPoint(p)) return 0;  // out of memory: keep what was taken
  }
  return 0;
}

}  // namespace

// ---- newText

LMP_Proxy* LMP_Text::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return new (std::nothrow) LMP_Text(nullptr);
  if (lua_gettop(L) != 1) {
    LMP_reportError(L, "Too many arguments creating a newText");
    return new (std::nothrow) LMP_Text(nullptr);
  }
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new (std::nothrow) LMP_Text(nullptr);
  MDL_Object* model = LMP_placeNewObject(scene, parent, false, nullptr,
                                         [] { return static_cast<MDL_Object*>(new (std::nothrow) MDL_Text()); });
  if (model) static_cast<MDL_Text*>(model)->font = ctrl->defaultFont.get();
  return new (std::nothrow) LMP_Text(model);
}

int LMP_Text::getText(lua_State* L) {
  if (!text()) return 0;
  if (!text()->text) {
    lua_pushnil(L);
    return 1;
  }
  lua_pushstring(L, text()->text);
  return 1;
}

int LMP_Text::setText(lua_State* L) {
  const char* s = nullptr;
  if (!text() || !LMP_getArgs(L, "S", &s)) return 0;
  if (!text()->setText(s)) return luaL_error(L, "not enough memory");
  text()->computeExtent();
  return 0;
}

int LMP_Text::getFont(lua_State* L) {
  FontRecord* font = text() ? text()->font : nullptr;
  if (!font) return 0;
  LMP_Proxy* proxy = font->proxy.get();
  if (!proxy) {
    proxy = new (std::nothrow) LMP_Font();
    if (!proxy) return luaL_error(L, "not enough memory");
    proxy->model = font;
    font->proxy.assign(proxy);
  }
  LMP_Binder<LMP_Font>::push(L, proxy);
  return 1;
}

int LMP_Text::setFont(lua_State* L) {
  if (!text()) return 0;
  if (lua_gettop(L) == 0) lua_pushnil(L);
  text()->font = fontArg(L, lua_gettop(L));
  text()->markLayoutDirty();
  return 0;
}

int LMP_Text::getSize(lua_State* L) { return LMP_getField(L, text(), &MDL_Text::size); }
int LMP_Text::getTabSize(lua_State* L) { return LMP_getField(L, text(), &MDL_Text::tabSize); }
int LMP_Text::getColor(lua_State* L) { return LMP_getField(L, text(), &MDL_Text::color); }
int LMP_Text::setColor(lua_State* L) { return LMP_setField(L, text(), &MDL_Text::color); }
int LMP_Text::getBackgroundColor(lua_State* L) { return LMP_getField(L, text(), &MDL_Text::backgroundColor); }
int LMP_Text::setBackgroundColor(lua_State* L) { return LMP_setField(L, text(), &MDL_Text::backgroundColor); }

int LMP_Text::setSize(lua_State* L) {
  double size = 0;
  if (!text() || !LMP_getArgs(L, "N", &size)) return 0;
  text()->size = size;
  text()->markLayoutDirty();
  return 0;
}

int LMP_Text::setTabSize(lua_State* L) {
  int tab = 0;
  if (!text() || !LMP_getArgs(L, "I", &tab)) return 0;
  text()->tabSize = tab;
  text()->markLayoutDirty();
  return 0;
}

int LMP_Text::getBoundingBox(lua_State* L) {
  MDL_Text* t = text();
  if (!t) return 0;
  if (t->extentDirty) t->computeExtent();
  const double box[4] = {t->extentMinX, t->extentMinY, t->extentMaxX, t->extentMaxY};
  lua_createtable(L, 4, 0);
  for (int i = 0; i < 4; ++i) {
    lua_pushnumber(L, box[i]);
    lua_rawseti(L, -2, i + 1);
  }
  return 1;
}

int LMP_Text::getCenter(lua_State* L) {
  MDL_Text* t = text();
  if (!t) return 0;
  if (t->extentDirty) t->computeExtent();
  const Vec3 c(t->extentMinX + (t->extentMaxX - t->extentMinX) * 0.5,
               t->extentMinY + (t->extentMaxY - t->extentMinY) * 0.5, 0.0);
  return pushCenter(L, t, c);
}

void LMP_textsFallBackToDefaultFont(CTRL_Generic* ctrl, FontRecord* font) {
  // The default font is the controller's own: deleting its proxy frees
  // nothing, so its texts keep it.
  FontRecord* fallback = ctrl ? ctrl->defaultFont.get() : nullptr;
  if (!ctrl || !font || font == fallback) return;
  PtrArray<Scene>& scenes = ctrl->resources.scenes;
  for (int32_t i = 0; i < scenes.count; ++i) {
    PtrArray<MDL_Object>& overlays = scenes[i]->overlays;
    for (int32_t j = 0; j < overlays.count; ++j) {
      if (overlays[j]->type != OBJECT_TEXT) continue;
      MDL_Text* t = static_cast<MDL_Text*>(overlays[j]);
      if (t->font != font) continue;
      t->font = fallback;
      t->markLayoutDirty();
    }
  }
}

const LMP_MethodReg<LMP_Text> LMP_Text::methods[] = {
    {"getText", &LMP_Text::getText},
    {"setText", &LMP_Text::setText},
    {"getFont", &LMP_Text::getFont},
    {"setFont", &LMP_Text::setFont},
    {"getSize", &LMP_Text::getSize},
    {"setSize", &LMP_Text::setSize},
    {"getTabSize", &LMP_Text::getTabSize},
    {"setTabSize", &LMP_Text::setTabSize},
    {"getColor", &LMP_Text::getColor},
    {"setColor", &LMP_Text::setColor},
    {"getBackgroundColor", &LMP_Text::getBackgroundColor},
    {"setBackgroundColor", &LMP_Text::setBackgroundColor},
    {"getBoundingBox", &LMP_Text::getBoundingBox},
    {"getCenter", &LMP_Text::getCenter},
    {nullptr, nullptr},
};

// ---- newImage

LMP_Proxy* LMP_Image::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new (std::nothrow) LMP_Image(nullptr);
  // The texture is checked first, so a wrong one leaves no image behind.
  const bool textured = lua_gettop(L) >= 2;
  ImageSource* texture = textured ? textureArg(L, 2) : nullptr;
  // Only an untextured image takes its parent's placement.
  MDL_Object* model = LMP_placeNewObject(scene, textured ? nullptr : parent, false, nullptr,
                                         [] { return static_cast<MDL_Object*>(new (std::nothrow) MDL_Image()); });
  if (!model) return new (std::nothrow) LMP_Image(nullptr);
  if (textured && parent) parent->addChild(model);
  MDL_Image* image = static_cast<MDL_Image*>(model);
  if (textured && image->ownMaterial())
    if (MaterialLayer* layer = image->material->addLayer()) layer->image = texture;
  return new (std::nothrow) LMP_Image(model);
}

int LMP_Image::setTexture(lua_State* L) { return setLooksTexture(L, image()); }
int LMP_Image::getColor(lua_State* L) { return getLooksColor(L, image()); }
int LMP_Image::getMaterial(lua_State* L) { return getLooksMaterial(L, image()); }

int LMP_Image::getTexture(lua_State* L) {
  Material* m = image() ? image()->material : nullptr;
  if (!m || m->layers.count == 0) return 0;
  return LMP_pushTextureProxy(L, m->layers[0].image);
}

int LMP_Image::setColor(lua_State* L) {
  double* c = nullptr;
  if (image() && LMP_getArgs(L, "C", &c)) setLooksColor(image(), c);
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
  return pushCenter(L, image(), Vec3(0.5, image()->getAspectRatio() * 0.5, 0.0));
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

// ---- newPolyline

LMP_Proxy* LMP_Polyline::construct(lua_State* L) {
  if (lua_gettop(L) > 2) LMP_reportError(L, "Too much arguments for %s", luaName);
  MDL_Object* model =
      LMP_constructModel<LMP_Polyline>(L, [] { return static_cast<MDL_Object*>(new (std::nothrow) MDL_Polyline()); });
  return new (std::nothrow) LMP_Polyline(model);
}

int LMP_Polyline::setColor(lua_State* L) {
  if (!polyline()) return 0;
  const int top = lua_gettop(L);
  if (top == 0 || lua_isnil(L, top)) {
    polyline()->outlined = false;
    return 0;
  }
  double* c = nullptr;
  if (LMP_getArgs(L, "|C", &c) && c) setLooksColor(polyline(), c);
  return 0;
}

int LMP_Polyline::getColor(lua_State* L) { return getLooksColor(L, polyline()); }
int LMP_Polyline::setTexture(lua_State* L) { return setLooksTexture(L, polyline()); }
int LMP_Polyline::getMaterial(lua_State* L) { return getLooksMaterial(L, polyline()); }

int LMP_Polyline::getFillColor(lua_State* L) {
  if (!polyline() || !polyline()->filled) return 0;
  return LMP_pushColorRGBA(L, polyline()->fillColor);
}

int LMP_Polyline::setFillColor(lua_State* L) {
  double* c = nullptr;
  if (!polyline()) return 0;
  if (lua_gettop(L) == 0) {
    polyline()->filled = false;
    return 0;
  }
  if (!LMP_getArgs(L, "|C", &c) || !c) return 0;
  polyline()->fillColor = ColorRGBA{c[0], c[1], c[2], c[3]};
  polyline()->filled = true;
  return 0;
}

int LMP_Polyline::getThickness(lua_State* L) { return LMP_getField(L, polyline(), &MDL_Polyline::thickness); }
int LMP_Polyline::getClosed(lua_State* L) { return LMP_getField(L, polyline(), &MDL_Polyline::closed); }

int LMP_Polyline::setThickness(lua_State* L) {
  double t = 0;
  if (!polyline() || !LMP_getArgs(L, "N", &t)) return 0;
  polyline()->thickness = t;
  polyline()->outlineDirty = true;
  return 0;
}

int LMP_Polyline::setClosed(lua_State* L) {
  bool closed = false;
  if (!polyline() || !LMP_getArgs(L, "B", &closed)) return 0;
  polyline()->closed = closed;
  polyline()->outlineDirty = true;
  return 0;
}

int LMP_Polyline::addPoints(lua_State* L) { return polyline() ? appendPoints(L, polyline()) : 0; }

int LMP_Polyline::setPoints(lua_State* L) {
  if (!polyline()) return 0;
  polyline()->clearPoints();
  return appendPoints(L, polyline());
}

int LMP_Polyline::getPointsCount(lua_State* L) {
  return polyline() ? LMP_returnNumber(L, polyline()->points.count) : 0;
}

int LMP_Polyline::getPoint(lua_State* L) {
  int index = 0;
  if (!polyline() || !LMP_getArgs(L, "I", &index)) return 0;
  if (index < 1 || index > polyline()->points.count) return 0;  // nothing outside the points
  const Vec2& p = polyline()->points[index - 1];
  double* out = LMP_iPushV2(L);
  out[0] = p.x;
  out[1] = p.y;
  return 1;
}

int LMP_Polyline::distanceToPoint(lua_State* L) {
  double* v = nullptr;
  if (!polyline() || !LMP_getArgs(L, "W", &v)) return 0;
  return LMP_returnNumber(L, polyline()->distanceToPoint(Vec2(v[0], v[1])));
}

int LMP_Polyline::clear(lua_State*) {
  if (polyline()) polyline()->clearPoints();
  return 0;
}

const LMP_MethodReg<LMP_Polyline> LMP_Polyline::methods[] = {
    {"setColor", &LMP_Polyline::setColor},
    {"getColor", &LMP_Polyline::getColor},
    {"setTexture", &LMP_Polyline::setTexture},
    {"getMaterial", &LMP_Polyline::getMaterial},
    {"getFillColor", &LMP_Polyline::getFillColor},
    {"setFillColor", &LMP_Polyline::setFillColor},
    {"getThickness", &LMP_Polyline::getThickness},
    {"setThickness", &LMP_Polyline::setThickness},
    {"getClosed", &LMP_Polyline::getClosed},
    {"setClosed", &LMP_Polyline::setClosed},
    {"addPoints", &LMP_Polyline::addPoints},
    {"setPoints", &LMP_Polyline::setPoints},
    {"getPointsCount", &LMP_Polyline::getPointsCount},
    {"getPoint", &LMP_Polyline::getPoint},
    {"distanceToPoint", &LMP_Polyline::distanceToPoint},
    {"clear", &LMP_Polyline::clear},
    {nullptr, nullptr},
};

// ---- newLocator

LMP_Proxy* LMP_Locator::construct(lua_State* L) {
  if (lua_gettop(L) > 2) LMP_reportError(L, "Too much arguments for %s", luaName);
  MDL_Object* model =
      LMP_constructModel<LMP_Locator>(L, [] { return static_cast<MDL_Object*>(new (std::nothrow) MDL_Locator()); });
  return new (std::nothrow) LMP_Locator(model);
}

const LMP_MethodReg<LMP_Locator> LMP_Locator::methods[] = {
    {nullptr, nullptr},
};
