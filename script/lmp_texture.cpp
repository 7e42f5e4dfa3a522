#include "script/lmp_texture.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_records.h"

const char* const LMP_Texture::luaName = "newTexture";

int LMP_pushTexture(lua_State* L, ImageSource* source) { return LMP_pushLinked<LMP_Texture>(L, source); }

ImageSource* LMP_checkTexture(lua_State* L, int idx) {
  LMP_Texture* proxy = LMP_Binder<LMP_Texture>::check(L, idx);
  if (!proxy->source()) LMP_argError(L, idx, LMP_Texture::luaName);
  return proxy->source();
}

ImageSource* LMP_lastTextureArg(lua_State* L, bool nilAllowed) {
  int last = lua_gettop(L);
  if (last == 0 || lua_isnil(L, last)) {
    if (nilAllowed) return nullptr;
    if (last == 0) {
      lua_pushnil(L);
      last = 1;
    }
  }
  return LMP_checkTexture(L, last);
}

LMP_Texture::~LMP_Texture() { LMP_forgetLink(source(), this); }

LMP_Proxy* LMP_Texture::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  int filter = 0;
  const bool named = ctrl && LMP_getArgs(L, "S|I", &name, &filter);
  std::unique_ptr<LMP_Texture> proxy(new LMP_Texture());
  if (!named) return proxy.release();
  LMP_FileBytes file;
  file.owned = ctrl->readFile(name, &file.data, &file.size, false);
  if (!file.data) {
    LMP_reportError(L, "File %s not found", name);
    return proxy.release();
  }
  ImageSource* source = new ImageSource(name, file.data, file.size, file.owned);
  file.owned = false;  // the record's now
  LMP_appendNew(ctrl->resources.imageSources, source);
  LMP_link(proxy.get(), source);
  source->filter = filter;
  return proxy.release();
}

int LMP_Texture::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");  // extra arguments are reported; the deletion goes on
  // The renderer drops its texture at the next frame and then retires the
  // record; the script is done with it now.
  if (ImageSource* s = source()) {
    s->releasePending = true;
    if (s->proxy.get() == this) s->proxy.release();
  }
  model = nullptr;
  return 0;
}

int LMP_Texture::getBinaryAlpha(lua_State* L) {
  if (!source()) return 0;
  lua_pushboolean(L, source()->binaryAlpha);
  return 1;
}

int LMP_Texture::setBinaryAlpha(lua_State* L) {
  bool on = false;
  if (source() && LMP_getArgs(L, "B", &on)) source()->binaryAlpha = on;
  return 0;
}

int LMP_Texture::getFilter(lua_State* L) {
  if (!source()) return 0;
  lua_pushinteger(L, source()->filter);
  return 1;
}

int LMP_Texture::setFilter(lua_State* L) {
  int filter = 0;
  if (source() && LMP_getArgs(L, "I", &filter)) source()->filter = filter;  // no range test, as scripts expect
  return 0;
}

const LMP_MethodReg<LMP_Texture> LMP_Texture::methods[] = {
    {"delete", &LMP_Texture::del},
    {"getBinaryAlpha", &LMP_Texture::getBinaryAlpha},
    {"setBinaryAlpha", &LMP_Texture::setBinaryAlpha},
    {"getFilter", &LMP_Texture::getFilter},
    {"setFilter", &LMP_Texture::setFilter},
    {nullptr, nullptr},
};
