#pragma once
// The script-side twin of a scene object or resource. Model objects hold it
// through LMP_ProxyRef (model/callbacks.h); this library installs the hooks
// that make those links count and fire.

#include <cstdarg>
#include <cstdint>

#include "model/callbacks.h"

struct lua_State;

class LMP_Proxy {
 public:
  LMP_Proxy() = default;
  LMP_Proxy(const LMP_Proxy&) = delete;
  LMP_Proxy& operator=(const LMP_Proxy&) = delete;
  virtual ~LMP_Proxy() { releaseRefs(); }
  // Delivers callback `id`; the variable arguments are those model/callbacks.h
  // lists for that id. Answers whether the event was taken.
  virtual bool onEvent(CTRL_ScriptEngine* engine, int id, va_list args);
  // Whether onEvent(id) may run script code (the listens hook of
  // model/callbacks.h); a class that answers false must answer onEvent(id)
  // with (id == CB_PRE_COLLISION) and do nothing else.
  virtual bool listens(int) const { return true; }

  // Registry reference of callback `id` (1 to CB_MAX), 0 for none or a bad id.
  int callback(int id) const { return id >= 1 && id <= CB_MAX ? callbacks[id - 1] : 0; }

  void* model = nullptr;  // null once the object is gone or never made
  int32_t refCount = 0;   // one for the model's link, one per live userdata
  int32_t callbacks[CB_MAX] = {};
  int32_t userDataRef = 0;        // setUserData's value, 0 for none
  lua_State* refState = nullptr;  // the main state holding those references

  // Gives the user data and callback references back to their state (if it
  // is still open): nothing can reach them once the object or the proxy goes.
  void releaseRefs();
  // Notes that the proxy keeps references in L's registry.
  void holdRefsIn(lua_State* L);

  // One count less; deletes the proxy at zero.
  static void unref(LMP_Proxy* proxy);
};

// Engines report their states' lifetime, so proxies that outlive a state
// never touch it.
void LMP_stateOpened(lua_State* L);
void LMP_stateClosing(lua_State* L);

// Makes model links count their proxies and fire their callbacks. Called when
// the classes are registered; calling it again is harmless.
void LMP_installProxyHooks();
