// A stand-in for the script library's proxies: counts references and records
// the callbacks fired at it. The model never looks inside a proxy, so an
// opaque pointer to this record serves.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/callbacks.h"
#include "model/vec3.h"

struct FakeProxy {
  int count = 0;
  int releases = 0;
  // Answer given to CB_PRE_COLLISION.
  bool preCollisionAnswer = true;
  // Run inside CB_PRE_COLLISION, as a script's callback would.
  std::function<void()> duringPreCollision;
  // Callback ids (bit id) the proxy has nothing for, as the listens hook says.
  uint32_t unheard = 0;
  struct Call {
    int id;
    double value;  // dt, depth or impulse
  };
  std::vector<Call> calls;

  LMP_Proxy& base() { return *reinterpret_cast<LMP_Proxy*>(this); }
  static FakeProxy* of(LMP_Proxy* p) { return reinterpret_cast<FakeProxy*>(p); }
  static const FakeProxy* of(const LMP_Proxy* p) { return reinterpret_cast<const FakeProxy*>(p); }
};

// Shared by every test that wants one ordered log of what happened.
inline std::vector<int>& fakeEventLog() {
  static std::vector<int> log;
  return log;
}

// Installs the fake hooks for the lifetime of the object.
class FakeProxyHooks {
 public:
  FakeProxyHooks() {
    hooks_.retain = [](LMP_Proxy* p) { FakeProxy::of(p)->count++; };
    hooks_.release = [](LMP_Proxy* p) {
      FakeProxy::of(p)->count--;
      FakeProxy::of(p)->releases++;
    };
    hooks_.fire = [](LMP_Proxy* p, CTRL_ScriptEngine*, int id, va_list args) {
      FakeProxy* f = FakeProxy::of(p);
      double value = 0.0;
      if (id == CB_MECHA || id == CB_POST_INTEGRATION) {
        value = *va_arg(args, const double*);
      } else if (id == CB_PRE_COLLISION || id == CB_POST_COLLISION) {
        va_arg(args, const Vec3*);
        va_arg(args, const Vec3*);
        value = *va_arg(args, const double*);
      }
      f->calls.push_back({id, value});
      fakeEventLog().push_back(id);
      if (id == CB_PRE_COLLISION && f->duringPreCollision) f->duringPreCollision();
      return id == CB_PRE_COLLISION ? f->preCollisionAnswer : true;
    };
    hooks_.listens = [](const LMP_Proxy* p, int id) { return !(FakeProxy::of(p)->unheard >> id & 1u); };
    LMP_setProxyHooks(&hooks_);
  }
  ~FakeProxyHooks() { LMP_setProxyHooks(nullptr); }

 private:
  LMP_ProxyHooks hooks_{};
};

// Any non-null engine pointer will do: the fake hooks never look at it.
inline CTRL_ScriptEngine* fakeEngine() {
  static int dummy;
  return reinterpret_cast<CTRL_ScriptEngine*>(&dummy);
}
