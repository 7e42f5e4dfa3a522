#include "script/lmp_font.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_records.h"
#include "script/lmp_text.h"

const char* const LMP_Font::luaName = "newFont";

int LMP_pushFont(lua_State* L, FontRecord* font) { return LMP_pushLinked<LMP_Font>(L, font); }

FontRecord* LMP_checkFont(lua_State* L, int idx) {
  LMP_Font* proxy = LMP_Binder<LMP_Font>::check(L, idx);
  if (!proxy->font()) LMP_argError(L, idx, LMP_Font::luaName);
  return proxy->font();
}

LMP_Font::~LMP_Font() { LMP_forgetLink(font(), this); }

LMP_Proxy* LMP_Font::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  const bool named = ctrl && LMP_getArgs(L, "S", &name);
  std::unique_ptr<LMP_Font> proxy(new LMP_Font());
  if (!named) return proxy.release();
  LMP_FileBytes file;
  file.owned = ctrl->readFile(name, &file.data, &file.size, false);
  if (!file.data || file.size < 1) {
    LMP_reportError(L, "File %s not found", name);
    return proxy.release();
  }
  FontRecord* font = new FontRecord(name, file.data, file.size, file.owned);
  file.owned = false;  // the record's now
  LMP_appendNew(ctrl->resources.fonts, font);
  LMP_link(proxy.get(), font);
  return proxy.release();
}

int LMP_Font::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");
  // Texts showing it take the default font; the record is retired, not
  // freed, for whatever else may still point at it.
  LMP_textsFallBackToDefaultFont(ctrl, font());
  LMP_retire(ctrl, ctrl->resources.fonts, this);
  return 0;
}

const LMP_MethodReg<LMP_Font> LMP_Font::methods[] = {
    {"delete", &LMP_Font::del},
    {nullptr, nullptr},
};
