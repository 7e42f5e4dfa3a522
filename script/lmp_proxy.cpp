#include "script/lmp_proxy.h"

#include "controller/ctrl_generic.h"
#include "script/engine.h"

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
  LMP_Proxy::unref(proxy);
}

// A pre-collision callback that cannot be delivered keeps its contact.
bool fire(LMP_Proxy* proxy, CTRL_ScriptEngine* engine, int id, va_list args) {
  LMP_Engine* lmp = static_cast<LMP_Engine*>(engine);
  if (!lmp->controller || lmp->controller->stopped) return id == CB_PRE_COLLISION;
  return proxy->onEvent(engine, id, args);
}

const LMP_ProxyHooks hooks = {retain, release, fire};

}  // namespace

void LMP_installProxyHooks() { LMP_setProxyHooks(&hooks); }
