// The model's side of the script link. Scene objects and records hold one
// counted pointer to their script proxy (LMP_ProxyRef) and fire script
// callbacks through it (LMP_fireCallback). What a proxy is, how it counts and
// how a callback reaches Lua belongs to the script library, which installs
// its functions here at start-up (LMP_setProxyHooks). Until it does, links
// stay empty and every callback answers false, so the model runs without Lua.
#pragma once

#include <cstdarg>

class LMP_Proxy;
class CTRL_ScriptEngine;

// Callback slots of proxies and of the engine.
enum CallbackId {
  CB_UPDATE = 1,
  CB_EVENT = 2,
  CB_MOUSE_DOWN = 3,
  CB_MOUSE_UP = 4,
  CB_MOUSE_CLICK = 5,
  CB_MOVED = 6,
  CB_MECHA = 7,
  CB_POST_INTEGRATION = 8,
  CB_PRE_COLLISION = 9,
  CB_POST_COLLISION = 10,
  CB_ASPECT_RATIO_CHANGED = 11,
  CB_MAX = 11,
};

// Arguments each caller passes after the id (read back with va_arg in the
// same order):
//   CB_MECHA, CB_POST_INTEGRATION: const double* dt
//   CB_PRE_COLLISION:  const Vec3* point, const Vec3* normal, const double* depth,
//                      MDL_Object* bodyA, MDL_Object* volumeA,
//                      MDL_Object* bodyB, MDL_Object* volumeB   (any may be null)
//   CB_POST_COLLISION: as CB_PRE_COLLISION with const double* impulse for depth
//   CB_MOUSE_DOWN, CB_MOUSE_UP, CB_MOUSE_CLICK: MDL_Object* hit, const Vec3* point
//   CB_MOVED: nothing
//   CB_EVENT (viewports): const Event* event

// Functions the script library provides. Every member may be null.
struct LMP_ProxyHooks {
  // One more count on the proxy.
  void (*retain)(LMP_Proxy* proxy);
  // One count less; the proxy forgets its model, and is deleted at zero.
  void (*release)(LMP_Proxy* proxy);
  // Delivers callback id with its arguments to the proxy (its onEvent),
  // only while the engine and its controller exist and the controller has
  // not failed.
  bool (*fire)(LMP_Proxy* proxy, CTRL_ScriptEngine* engine, int id, va_list args);
  // Whether a script value still holds the proxy (beyond the model's link).
  bool (*held)(const LMP_Proxy* proxy);
  // Whether firing callback id at the proxy may run script code. When it
  // cannot, firing does nothing and answers as a proxy without that
  // callback does: true for CB_PRE_COLLISION (the contact stays), false
  // for any other. Null: any proxy may.
  bool (*listens)(const LMP_Proxy* proxy, int id);
};

// Installs the hooks (the table must outlive every model object); null
// uninstalls them.
void LMP_setProxyHooks(const LMP_ProxyHooks* hooks);
const LMP_ProxyHooks* LMP_proxyHooks();

// The one proxy pointer of a linked object or record; it holds one count of
// its proxy. Destroying the link releases the proxy.
struct LMP_ProxyRef {
  LMP_Proxy* proxy = nullptr;

  LMP_ProxyRef() = default;
  ~LMP_ProxyRef() { release(); }
  // A copied object starts without a proxy: copies never share the link.
  LMP_ProxyRef(const LMP_ProxyRef&) = delete;
  LMP_ProxyRef& operator=(const LMP_ProxyRef&) = delete;

  // Links p (or nothing), releasing the proxy held before. Assigning the
  // proxy already held leaves its count unchanged.
  void assign(LMP_Proxy* p);
  // Releases the held proxy, if any, and clears the link.
  void release();
  LMP_Proxy* get() const { return proxy; }
  // A linked proxy some script value still holds; without the script
  // library's word on it, any linked proxy counts as held.
  bool held() const;
  explicit operator bool() const { return proxy != nullptr; }
};

// Fires callback id on the linked proxy. False when the link is empty, the
// engine is null, no script library is installed, or the script says so.
bool LMP_fireCallback(const LMP_ProxyRef& link, CTRL_ScriptEngine* engine, int id, ...);
// Whether LMP_fireCallback(link, engine, id, ...) may run script code; when
// not, it would answer (id == CB_PRE_COLLISION) and do nothing else. Cheap
// enough to ask before every contact.
bool LMP_mayFire(const LMP_ProxyRef& link, CTRL_ScriptEngine* engine, int id);
