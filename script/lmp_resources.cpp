#include "script/lmp_resources.h"

#include <cstdlib>

#include "controller/ctrl_generic.h"
#include "model/scene.h"
#include "model/sound.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_overlays.h"

const char* const LMP_Texture::luaName = "newTexture";
const char* const LMP_Sample::luaName = "newSample";
const char* const LMP_Font::luaName = "newFont";

namespace {

// A live record's link holds a count, so it cannot point at a proxy being
// destroyed; forget it all the same rather than leave it dangling.
template <class Record>
void forgetLink(Record* record, LMP_Proxy* proxy) {
  if (record && record->proxy.get() == proxy) record->proxy.proxy = nullptr;
}

template <class Record>
void link(LMP_Proxy* proxy, Record* record) {
  proxy->model = record;
  record->proxy.assign(proxy);
}

// Detaches the proxy from its record; the record leaves the list it is on
// (if any) for the retired list, where it stays valid for whatever still
// points at it. True when it left the list.
template <class Record>
bool retire(CTRL_Generic* ctrl, PtrArray<Record>& list, LMP_Proxy* proxy) {
  Record* record = static_cast<Record*>(proxy->model);
  proxy->model = nullptr;
  if (!record) return false;
  if (record->proxy.get() == proxy) record->proxy.release();
  if (!list.removeFirst(record)) return false;
  ctrl->resources.retired.add(record);
  return true;
}

template <class Proxy, class Record>
int pushLinked(lua_State* L, Record* record) {
  if (!record) return 0;
  LMP_Proxy* proxy = record->proxy.get();
  if (!proxy) {
    proxy = new Proxy();
    link(proxy, record);
  }
  LMP_Binder<Proxy>::push(L, proxy);
  return 1;
}

}  // namespace

int LMP_pushTexture(lua_State* L, ImageSource* source) { return pushLinked<LMP_Texture>(L, source); }
int LMP_pushSample(lua_State* L, SoundRecord* sample) { return pushLinked<LMP_Sample>(L, sample); }

// ---- newTexture

LMP_Texture::~LMP_Texture() { forgetLink(source(), this); }

LMP_Proxy* LMP_Texture::construct(lua_State* L) {
  LMP_Texture* proxy = new LMP_Texture();
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  int filter = 0;
  if (!ctrl || !LMP_getArgs(L, "S|I", &name, &filter)) return proxy;
  uint8_t* data = nullptr;
  int32_t size = 0;
  const bool owned = ctrl->readFile(name, &data, &size, false);
  if (!data) {
    LMP_reportError(L, "File %s not found", name);
    return proxy;
  }
  ImageSource* source = new (std::nothrow) ImageSource(name, data, size, owned);
  if (!source || !ctrl->resources.imageSources.append(source)) {
    if (source)
      delete source;
    else if (owned)
      std::free(data);
    return proxy;
  }
  link(proxy, source);
  source->filter = filter;
  return proxy;
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

// ---- newSample

LMP_Sample::~LMP_Sample() { forgetLink(sample(), this); }

LMP_Proxy* LMP_Sample::construct(lua_State* L) {
  LMP_Sample* proxy = new LMP_Sample();
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  if (!ctrl || !LMP_getArgs(L, "S", &name)) return proxy;
  SoundRecord* sample = ctrl->loadSound(name);
  if (!sample) {
    LMP_reportError(L, "File %s not found", name);
    return proxy;
  }
  link(proxy, sample);
  return proxy;
}

int LMP_Sample::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");
  SoundRecord* record = sample();
  if (retire(ctrl, ctrl->resources.soundRecords, this)) {
    // Sounds playing it go silent; the record stays valid for any other
    // holder until the controller goes.
    for (Scene* scene : ctrl->resources.scenes) {
      if (!scene) continue;
      for (MDL_Object* o : scene->sounds) {
        MDL_Sound* sound = static_cast<MDL_Sound*>(o);
        if (sound && sound->sample == record) sound->sample = nullptr;
      }
    }
  }
  return 0;
}

const LMP_MethodReg<LMP_Sample> LMP_Sample::methods[] = {
    {"delete", &LMP_Sample::del},
    {nullptr, nullptr},
};

// ---- newFont

LMP_Font::~LMP_Font() { forgetLink(font(), this); }

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
  link(proxy, font);
  return proxy;
}

int LMP_Font::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");
  // Texts showing it take the default font; the record is retired, not
  // freed, for whatever else may still point at it.
  LMP_textsFallBackToDefaultFont(ctrl, font());
  retire(ctrl, ctrl->resources.fonts, this);
  return 0;
}

const LMP_MethodReg<LMP_Font> LMP_Font::methods[] = {
    {"delete", &LMP_Font::del},
    {nullptr, nullptr},
};
