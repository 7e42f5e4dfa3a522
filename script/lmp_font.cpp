#include "script/lmp_font.h"

#include <cstdlib>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_records.h"
#include "script/lmp_text.h"

const char* const LMP_Font::luaName = "newFont";

LMP_Font::~LMP_Font() { LMP_forgetLink(font(), this); }

LMP_Proxy* LMP_Font::construct(lua_State* L) {
  LMP_Font* proxy = new LMP_Font();
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  if (!ctrl || !LMP_getArgs(L, "S", &name)) return proxy;
  uint8_t* data = nullptr;
  int32_t size = 0;
  const bool owned = ctrl->readFile(name, &data, &size, false);
  if (!data || size < 1) {
    if (owned) std::free(data);
    LMP_reportError(L, "File %s not found", name);
    return proxy;
  }
  FontRecord* font = new (std::nothrow) FontRecord(name, data, size, owned);
  if (!font) {
    if (owned) std::free(data);
    return proxy;
  }
  if (!ctrl->resources.fonts.append(font)) {
    delete font;
    return proxy;
  }
  LMP_link(proxy, font);
  return proxy;
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
