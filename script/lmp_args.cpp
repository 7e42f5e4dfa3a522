#include "script/lmp_args.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_binder.h"

namespace {

int roundToInt(double d) {
  if (std::isnan(d)) return 0;
  d = std::nearbyint(d);  // default rounding: nearest, ties to even
  if (d >= 2147483647.0) return 2147483647;
  if (d <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(d);
}

const char* valueTypeName(char letter) {
  switch (letter) {
    case 'C':
      return "color";
    case 'M':
      return "m33";
    case 'V':
      return "v3";
    case 'W':
      return "v2";
  }
  return nullptr;
}

[[noreturn]] void typeError(lua_State* L, int arg, const char* expected) {
  const char* msg = lua_pushfstring(L, "%s expected, got %s", expected, luaL_typename(L, arg));
  LMP_argError(L, arg, msg);
  std::abort();  // not reached
}

// The F references taken so far by one parse: when a later letter fails
// they are handed back, since the caller never sees them.
struct TakenRefs {
  lua_State* L;
  int* outs[8];
  int count = 0;
  void note(int* out) {
    if (count < 8) outs[count++] = out;
  }
  void release() {
    for (int i = 0; i < count; ++i) {
      luaL_unref(L, LUA_REGISTRYINDEX, *outs[i]);
      *outs[i] = 0;
    }
    count = 0;
  }
};

}  // namespace

int LMP_toInt(lua_State* L, int idx) {
  int isnum = 0;
  double d = lua_tonumberx(L, idx, &isnum);
  return isnum ? roundToInt(d) : 0;
}

double LMP_toNumber(lua_State* L, int idx) {
  int isnum = 0;
  double d = lua_tonumberx(L, idx, &isnum);
  return isnum ? d : 0.0;
}

int LMP_getArgs(lua_State* L, const char* spec, ...) {
  va_list ap;
  va_start(ap, spec);
  int n = lua_gettop(L);
  int arg = 1;
  bool optional = false;
  const char* p = spec;
  TakenRefs taken{L, {}};
  for (; *p; ++p) {
    char letter = *p;
    if (letter == '|') {
      optional = true;
      continue;
    }
    if (arg > n) break;
    int t = lua_type(L, arg);
    bool matched = false;
    switch (letter) {
      case 'B': {
        bool* out = va_arg(ap, bool*);
        if (t == LUA_TBOOLEAN) {
          *out = lua_toboolean(L, arg) != 0;
          matched = true;
        }
        break;
      }
      case 'C':
      case 'M':
      case 'V':
      case 'W': {
        double** out = va_arg(ap, double**);
        const char* name = valueTypeName(letter);
        void* ud = luaL_testudata(L, arg, name);
        if (!ud) {
          va_end(ap);
          taken.release();
          typeError(L, arg, name);
        }
        *out = static_cast<double*>(ud);
        matched = true;
        break;
      }
      case 'F': {
        int* out = va_arg(ap, int*);
        if (t == LUA_TNIL) {
          *out = 0;
          matched = true;
        } else if (t == LUA_TFUNCTION) {
          lua_pushvalue(L, arg);
          *out = luaL_ref(L, LUA_REGISTRYINDEX);
          taken.note(out);
          matched = true;
        }
        break;
      }
      case 'I': {
        int* out = va_arg(ap, int*);
        int isnum = 0;
        double d = lua_tonumberx(L, arg, &isnum);
        if (isnum) {
          *out = roundToInt(d);
          matched = true;
        }
        break;
      }
      case 'N': {
        double* out = va_arg(ap, double*);
        int isnum = 0;
        double d = lua_tonumberx(L, arg, &isnum);
        if (isnum) {
          *out = d;
          matched = true;
        }
        break;
      }
      case 'R': {
        void** out = va_arg(ap, void**);
        if (t == LUA_TNIL) {
          *out = nullptr;
          matched = true;
          break;
        }
        LMP_UserData* ud = lmp_binder::test(L, arg, "newRigidBody");
        if (!ud || !ud->proxy) {
          va_end(ap);
          taken.release();
          LMP_argError(L, arg, "newRigidBody");
        }
        *out = ud->proxy->model;
        matched = true;
        break;
      }
      case 'S': {
        const char** out = va_arg(ap, const char**);
        if (t == LUA_TSTRING || t == LUA_TNUMBER) {
          *out = lua_tostring(L, arg);
          matched = true;
        }
        break;
      }
      default:
        (void)va_arg(ap, void*);  // an unknown letter accepts nothing
        break;
    }
    if (matched) {
      ++arg;
    } else if (!optional) {
      va_end(ap);
      taken.release();
      LMP_reportError(L, "Invalid type (%s) for argument #%d, <%s> type argument(s) expected", luaL_typename(L, arg),
                      arg, spec);
      return 0;
    }
  }
  va_end(ap);
  if (arg > n) {
    if (optional || *p == '|' || *p == '\0') return arg - 1;
    taken.release();
    LMP_reportError(L, "Not enough arguments, <%s> argument(s) expected", spec);
    return 0;
  }
  taken.release();
  LMP_reportError(L, "Too much arguments, <%s> argument(s) expected", spec);
  return 0;
}

void LMP_reportError(lua_State* L, const char* format, ...) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return;
  char prefix[1024] = "";
  lua_Debug ar;
  if (lua_getstack(L, 1, &ar) && lua_getinfo(L, "Sl", &ar) && ar.currentline > 0)
    std::snprintf(prefix, sizeof prefix, "%s:%d: ", ar.short_src, ar.currentline);
  char message[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(message, sizeof message, format, ap);
  va_end(ap);
  ctrl->fail("%s%s", prefix, message);
}
