#include "model/callbacks.h"

namespace {
const LMP_ProxyHooks* g_hooks = nullptr;
}

void LMP_setProxyHooks(const LMP_ProxyHooks* hooks) { g_hooks = hooks; }

const LMP_ProxyHooks* LMP_proxyHooks() { return g_hooks; }

void LMP_ProxyRef::assign(LMP_Proxy* p) {
  if (p == proxy) return;
  release();
  proxy = p;
  if (p && g_hooks && g_hooks->retain) g_hooks->retain(p);
}

void LMP_ProxyRef::release() {
  LMP_Proxy* p = proxy;
  if (!p) return;
  proxy = nullptr;  // cleared first: the release may run code that looks at us
  if (g_hooks && g_hooks->release) g_hooks->release(p);
}

bool LMP_ProxyRef::held() const {
  if (!proxy) return false;
  return !g_hooks || !g_hooks->held || g_hooks->held(proxy);
}

bool LMP_mayFire(const LMP_ProxyRef& link, CTRL_ScriptEngine* engine, int id) {
  if (!link.proxy || !engine || !g_hooks || !g_hooks->fire) return false;
  return !g_hooks->listens || g_hooks->listens(link.proxy, id);
}

bool LMP_fireCallback(const LMP_ProxyRef& link, CTRL_ScriptEngine* engine, int id, ...) {
  if (!link.proxy || !engine || !g_hooks || !g_hooks->fire) return false;
  if (g_hooks->listens && !g_hooks->listens(link.proxy, id)) return id == CB_PRE_COLLISION;
  va_list args;
  va_start(args, id);
  bool answer = g_hooks->fire(link.proxy, engine, id, args);
  va_end(args);
  return answer;
}
