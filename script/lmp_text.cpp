#include "script/lmp_text.h"

#include "controller/ctrl_generic.h"
#include "model/font_record.h"
#include "model/scene.h"
#include "script/engine.h"
#include "script/lmp_fields.h"
#include "script/lmp_font.h"
#include "script/lmp_overlay.h"

const char* const LMP_Text::luaName = "newText";

LMP_Proxy* LMP_Text::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return new LMP_Text(nullptr);
  if (lua_gettop(L) != 1) {
    LMP_reportError(L, "Too many arguments creating a newText");
    return new LMP_Text(nullptr);
  }
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new LMP_Text(nullptr);
  MDL_Object* model =
      LMP_placeNewObject(scene, parent, false, nullptr, [] { return static_cast<MDL_Object*>(new MDL_Text()); });
  if (model) static_cast<MDL_Text*>(model)->font = ctrl->defaultFont.get();
  return new LMP_Text(model);
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

int LMP_Text::getFont(lua_State* L) { return text() ? LMP_pushFont(L, text()->font) : 0; }

int LMP_Text::setFont(lua_State* L) {
  if (!text()) return 0;
  if (lua_gettop(L) == 0) lua_pushnil(L);
  text()->font = LMP_checkFont(L, lua_gettop(L));
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
  return LMP_pushCenter(L, t, c);
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
