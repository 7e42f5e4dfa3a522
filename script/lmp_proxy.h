#pragma once
// The script-side twin of a scene object or resource. Model objects hold it
// through LMP_ProxyRef (model/callbacks.h); this library installs the hooks
// that make those links count and fire.

#include <cstdarg>
#include <cstdint>

#include "model/callbacks.h"

class LMP_Proxy {
public:
  LMP_Proxy() = default;
  LMP_Proxy(const LMP_Proxy&) = delete;
  LMP_Proxy& operator=(const LMP_Proxy&) = delete;
  virtual ~LMP_Proxy() = default;
  // Delivers callback `id`; the variable arguments are those model/callbacks.h
  // lists for that id. Answers whether the event was taken.
  virtual bool onEvent(CTRL_ScriptEngine* engine, int id, va_list args);

  // Registry reference of callback `id` (1 to CB_MAX), 0 for none or a bad id.
  int callback(int id) const { return id >= 1 && id <= CB_MAX ? callbacks[id - 1] : 0; }

  void* model = nullptr;  // null once the object is gone or never made
  int32_t refCount = 0;   // one for the model's link, one per live userdata
  int32_t callbacks[CB_MAX] = {};

  // One count less; deletes the proxy at zero.
  static void unref(LMP_Proxy* proxy);
};

// Makes model links count their proxies and fire their callbacks. Called when
// the classes are registered; calling it again is harmless.
void LMP_installProxyHooks();
