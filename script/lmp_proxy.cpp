#include "script/lmp_proxy.h"

#include <lua.hpp>

#include "controller/ctrl_generic.h"
#include "core/assert.h"
#include "script/engine.h"

namespace {

// The open states; a handful at most (one per engine).
constexpr int kMaxStates = 64;
lua_State* openStates[kMaxStates] = {};

bool isOpen(lua_State* L) {
  for (lua_State* s : openStates)
    if (s == L) return true;
  return false;
}

}  // namespace

void LMP_stateOpened(lua_State* L) {
  for (lua_State*& s : openStates)
    if (!s) {
      s = L;
      return;
    }
  VS_ASSERT(!"more open Lua states than kMaxStates");
}

void LMP_stateClosing(lua_State* L) {
  for (lua_State*& s : openStates)
    if (s == L) s = nullptr;
}

void LMP_Proxy::holdRefsIn(lua_State* L) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_MAINTHREAD);
  refState = lua_tothread(L, -1);
  lua_pop(L, 1);
}

void LMP_Proxy::releaseRefs() {
  lua_State* L = refState && isOpen(refState) ? refState : nullptr;
  if (L && userDataRef) luaL_unref(L, LUA_REGISTRYINDEX, userDataRef);
  userDataRef = 0;
  for (int32_t& ref : callbacks) {
    if (L && ref > 0) luaL_unref(L, LUA_REGISTRYINDEX, ref);
    ref = 0;
  }
}

void LMP_Proxy::unref(LMP_Proxy* proxy) {
  if (--proxy->refCount <= 0) delete proxy;
}

bool LMP_Proxy::onEvent(CTRL_ScriptEngine*, int, va_list) { return false; }

namespace {

void retain(LMP_Proxy* proxy) { ++proxy->refCount; }

// The link is gone: the proxy forgets its model, so a script still holding
// it sees a dead object instead of freed memory.
void release(LMP_Proxy* proxy) {
  proxy->model = nullptr;
  proxy->releaseRefs();
  LMP_Proxy::unref(proxy);
}

struct Delivery {
  LMP_Proxy* proxy;
  CTRL_ScriptEngine* engine;
  int id;
  va_list* args;
  bool answer;
};

int deliverBody(lua_State* L) {
  Delivery* d = static_cast<Delivery*>(lua_touserdata(L, 1));
  d->answer = d->proxy->onEvent(d->engine, d->id, *d->args);
  return 0;
}

// A pre-collision callback that cannot be delivered keeps its contact. The
// handlers push their arguments before calling the script, and any push may
// run a content finalizer that raises: they run protected, so such an error
// stops the content (and vetoes the contact, like a failing callback).
bool fire(LMP_Proxy* proxy, CTRL_ScriptEngine* engine, int id, va_list args) {
  LMP_Engine* lmp = static_cast<LMP_Engine*>(engine);
  if (!lmp->controller || lmp->controller->load.stopped) return id == CB_PRE_COLLISION;
  va_list copy;
  va_copy(copy, args);
  Delivery d{proxy, engine, id, &copy, false};
  bool delivered = lmp->protectedCall(deliverBody, &d, nullptr, 0);
  va_end(copy);
  return delivered && d.answer;
}

// The model's link is one count; every other is a live userdata.
bool held(const LMP_Proxy* proxy) { return proxy->refCount > 1; }

bool listens(const LMP_Proxy* proxy, int id) { return proxy->listens(id); }

const LMP_ProxyHooks hooks = {retain, release, fire, held, listens};

}  // namespace

void LMP_installProxyHooks() { LMP_setProxyHooks(&hooks); }
