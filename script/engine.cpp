#include "script/engine.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <lua.hpp>

#include "controller/ctrl_generic.h"
#include "controller/event.h"
#include "controller/perf_counter.h"
#include "core/assert.h"
#include "core/debug_log.h"
#include "model/callbacks.h"
#include "script/lmp_proxy.h"
#include "script/lua_files.h"
#include "script/scene_api.h"

// What the Lua state carries for us: it is the allocator's user-data, so it
// is reachable from every thread of the state without a table lookup, and each
// state has its own.
struct StateLink {
  CTRL_Generic* controller;
  LMP_Engine* engine;
};

namespace {

void* allocate(void* ud, void* ptr, size_t osize, size_t nsize) {
  (void)ud;
  (void)osize;
  if (nsize == 0) {
    free(ptr);
    return nullptr;
  }
  return realloc(ptr, nsize);
}

StateLink* linkOf(lua_State* L) {
  void* ud = nullptr;
  lua_getallocf(L, &ud);
  return static_cast<StateLink*>(ud);
}

void pushScriptValue(lua_State* L, const ScriptValue& v) {
  switch (v.type) {
    case ScriptValue::NIL:
      lua_pushnil(L);
      break;
    case ScriptValue::BOOLEAN:
      lua_pushboolean(L, v.value.boolean);
      break;
    case ScriptValue::INTEGER:
      lua_pushnumber(L, v.value.integer);
      break;
    case ScriptValue::NUMBER:
      lua_pushnumber(L, v.value.number);
      break;
    case ScriptValue::STRING:
      lua_pushstring(L, v.value.text);
      break;
    default:
      break;  // an unknown tag pushes nothing
  }
}

void popScriptValue(lua_State* L, ScriptValue* out) {
  switch (lua_type(L, -1)) {
    case LUA_TBOOLEAN:
      out->setBoolean(lua_toboolean(L, -1) != 0);
      break;
    case LUA_TNUMBER:
      out->setNumber(lua_tonumber(L, -1));
      break;
    case LUA_TSTRING: {
      int isNumber = 0;
      double d = lua_tonumberx(L, -1, &isNumber);
      if (isNumber)
        out->setNumber(d);
      else
        out->setString(lua_tostring(L, -1));
      break;
    }
    case LUA_TNIL:
    case LUA_TNONE:
      out->setNil();
      break;
    default:
      break;  // tables, functions, userdata and threads leave out as it was
  }
  lua_pop(L, 1);
}

// Whatever the engine pushes that allocates runs inside a protected call:
// an allocation may run a collection step, and a script's __gc metamethod
// may raise an error there, which outside protection would abort the player.
// A script may also give the globals table metamethods that raise errors.
// Outside these bodies the engine pushes only numbers, booleans, light
// userdata and C functions without upvalues, none of which allocate.

const char* nameArg(lua_State* L, int i) { return static_cast<const char*>(lua_touserdata(L, i)); }

// (name) -> the global's value
int getGlobalBody(lua_State* L) {
  lua_getglobal(L, nameArg(L, 1));
  return 1;
}

// (name, value) -> nothing
int setGlobalBody(lua_State* L) {
  const char* name = nameArg(L, 1);
  const ScriptValue* value = static_cast<const ScriptValue*>(lua_touserdata(L, 2));
  lua_settop(L, 0);
  pushScriptValue(L, *value);
  if (lua_gettop(L) == 0) lua_pushnil(L);  // a value of unknown type sets nil
  lua_setglobal(L, name);
  return 0;
}

// (vector) -> every argument the vector holds, in order
int pushArgumentsBody(lua_State* L) {
  const ScriptValueVector* args = static_cast<const ScriptValueVector*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  luaL_checkstack(L, args->count, "too many arguments");
  for (int32_t i = 0; i < args->count; ++i)
    if (args->data[i]) pushScriptValue(L, *args->data[i]);  // an unknown type pushes nothing
  return lua_gettop(L);
}

// (event) -> the callback's second and third arguments
int pushEventArgumentsBody(lua_State* L) {
  const Event& event = *static_cast<const Event*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  switch (event.type) {
    case EVENT_KEY_DOWN:
    case EVENT_KEY_UP:
      lua_pushnumber(L, event.code);
      lua_pushnumber(L, 0);
      break;
    case EVENT_ZOOM:
      lua_pushnumber(L, event.amount);
      LMP_pushV2(L, event.point[0], event.point[1]);
      break;
    case EVENT_DEVICE:
      lua_pushnumber(L, event.code);
      if (event.data && event.length > 0)
        lua_pushlstring(L, reinterpret_cast<const char*>(event.data), static_cast<size_t>(event.length));
      else
        lua_pushliteral(L, "");
      break;
    default:
      lua_pushnumber(L, 0);
      lua_pushnumber(L, 0);
      break;
  }
  return 2;
}

// (table, context) -> nothing
int registerNativesBody(lua_State* L) {
  const NativeTable* table = static_cast<const NativeTable*>(lua_touserdata(L, 1));
  void* context = lua_touserdata(L, 2);
  lua_newtable(L);
  for (const NativeTableEntry* e = table->entries; e && e->name; ++e) {
    lua_pushlightuserdata(L, context);
    lua_pushlightuserdata(L, reinterpret_cast<void*>(e->function));
    lua_pushcclosure(L, LMP_Engine::callNative, 2);
    lua_setfield(L, -2, e->name);
  }
  lua_setglobal(L, table->name);
  return 0;
}

bool stopped(const CTRL_Generic* c) { return !c || c->load.stopped; }

}  // namespace

CTRL_Generic* LMP_getController(lua_State* L) {
  StateLink* link = L ? linkOf(L) : nullptr;
  return link ? link->controller : nullptr;
}

LMP_Engine* LMP_getEngine(lua_State* L) {
  StateLink* link = L ? linkOf(L) : nullptr;
  return link ? link->engine : nullptr;
}

LMP_Engine::LMP_Engine() : callbacks(), L(nullptr), controller(nullptr), link_(nullptr) {
  link_ = new (std::nothrow) StateLink{nullptr, this};
  if (!link_) return;
  L = lua_newstate(allocate, link_);
  if (!L) return;
  LMP_stateOpened(L);
  lua_atpanic(L, LMP_panic);
  LMP_openLibraries(L);
  lua_gc(L, LUA_GCSETPAUSE, 100);
  lua_gc(L, LUA_GCSETSTEPMUL, 300);
  LMP_registerConstants(L);
  LMP_registerGlobalFunctions(L);
  LMP_registerObjectTypes(L);
  LMP_registerClasses(L);
  LMP_registerValueTypes(L);
}

LMP_Engine::~LMP_Engine() {
  // Pending __gc metamethods may still ask for the controller: the link goes last.
  if (L) {
    LMP_stateClosing(L);  // lua_close frees every reference anyway
    lua_close(L);
  }
  delete link_;
}

void LMP_Engine::setController(CTRL_Generic* c) {
  controller = c;
  if (link_) link_->controller = c;
}

int32_t LMP_Engine::callbackRef(int id) const { return id >= 1 && id <= CB_MAX ? callbacks[id - 1] : 0; }

bool LMP_Engine::setCallbackRef(int id, int32_t ref) {
  if (id < 1 || id > CB_MAX) return false;
  // The slot's previous function is no longer reachable from here.
  int32_t previous = callbacks[id - 1];
  if (L && previous > 0 && previous != ref) luaL_unref(L, LUA_REGISTRYINDEX, previous);
  callbacks[id - 1] = ref;
  return true;
}

void LMP_Engine::reportTopError() {
  const char* message = lua_tostring(L, -1);
  if (controller) {
    if (message)
      controller->fail("%s", message);
    else
      controller->fail("(error object is a %s value)", luaL_typename(L, -1));
  }
  lua_pop(L, 1);
}

bool LMP_Engine::protectedCall(lua_CFunction body, const void* a, const void* b, int nresults) {
  lua_pushcfunction(L, body);
  lua_pushlightuserdata(L, const_cast<void*>(a));
  lua_pushlightuserdata(L, const_cast<void*>(b));
  if (lua_pcall(L, 2, nresults, 0) == LUA_OK) return true;
  reportTopError();
  return false;
}

bool LMP_Engine::pushGlobal(const char* name) { return protectedCall(getGlobalBody, name, nullptr, 1); }

bool LMP_Engine::call(int nargs, int nresults) {
  if (!L) return false;
  if (stopped(controller)) {
    lua_pop(L, nargs + 1);
    return false;
  }
  if (lua_pcall(L, nargs, nresults, 0) == LUA_OK) return true;
  reportTopError();
  return false;
}

bool LMP_Engine::start() {
  if (!L || !controller || !controller->package) return false;
  double t0 = 0;
  CTRL_readCounter(&t0);
  controller->beginLoading();
  if (LMP_loadfilex(L, "init.lua", nullptr) != LUA_OK) {
    reportTopError();
    return false;
  }
  if (!call(0, 0)) return false;
  if (!pushGlobal("startup")) return false;
  // The call below fails all the same; the log says what is missing first.
  if (!lua_isfunction(L, -1))
    debugPrintf("init.lua defines no global function startup (it is %s).", luaL_typename(L, -1));
  if (!call(0, 0)) return false;
  // A usage error reported by the scene API stops the content without making
  // the Lua call fail: the start has failed all the same.
  if (controller->load.stopped) return false;
  controller->finishLoading();
  double t1 = t0;
  CTRL_readCounter(&t1);
  debugPrintf("%s loaded in %fs.", controller->packageName.empty() ? "(null)" : controller->packageName.c_str(),
              (t1 - t0) * CTRL_secondsPerCount());
  return true;
}

void LMP_Engine::callNumberCallback(int id, double value) {
  if (!L) return;
  lua_rawgeti(L, LUA_REGISTRYINDEX, callbackRef(id));
  if (!lua_isfunction(L, -1)) {
    lua_pop(L, 1);
    return;
  }
  lua_pushnumber(L, value);
  call(1, 0);
}

void LMP_Engine::onUpdate(double dt) { callNumberCallback(CB_UPDATE, dt); }

void LMP_Engine::onAspectRatioChanged(double aspect) { callNumberCallback(CB_ASPECT_RATIO_CHANGED, aspect); }

bool LMP_Engine::onEvent(const Event& event) {
  int32_t ref = callbackRef(CB_EVENT);
  if (!L || ref == 0) return false;
  lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
  lua_pushnumber(L, event.type);
  if (!protectedCall(pushEventArgumentsBody, &event, nullptr, 2)) {
    lua_pop(L, 2);
    return false;
  }
  if (!call(3, 1)) return false;
  if (lua_type(L, -1) == LUA_TBOOLEAN) {
    bool handled = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return handled;
  }
  lua_pop(L, 1);
  controller->fail("Event function must return 1 boolean value.");
  return false;
}

void LMP_Engine::pushValue(const ScriptValue& value) {
  if (L) pushScriptValue(L, value);
}

bool LMP_Engine::popValue(ScriptValue* out) {
  VS_ASSERT(out);
  if (!L || lua_gettop(L) == 0) return false;  // nothing to pop
  popScriptValue(L, out);
  return true;
}

void LMP_Engine::setGlobalInteger(lua_State* L, const char* name, int32_t value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}

int LMP_Engine::callNative(lua_State* L) {
  void* context = lua_touserdata(L, lua_upvalueindex(1));
  NativeFunction function = reinterpret_cast<NativeFunction>(lua_touserdata(L, lua_upvalueindex(2)));
  int n = lua_gettop(L);
  ScriptValueVector args;
  bool ok = n <= 0 || args.reserve(n);
  for (int i = 0; ok && i < n; ++i) {
    ScriptValue* v = new (std::nothrow) ScriptValue();
    ok = v && args.append(v);
    if (!ok) delete v;
  }
  if (!ok) {
    args.clear();  // luaL_error does not return: nothing may be left behind
    return luaL_error(L, "not enough memory");
  }
  for (int i = n - 1; i >= 0; --i) popScriptValue(L, args.data[i]);
  ScriptValue result;
  if (function) function(context, &args, &result);
  pushScriptValue(L, result);
  if (lua_gettop(L) == 0) lua_pushnil(L);  // a result of unknown type still answers one value
  args.clear();
  result.release();
  return 1;
}

void LMP_Engine::registerNatives(const NativeTable* table, void* context) {
  VS_ASSERT(table);
  if (!L || !table->name) return;
  protectedCall(registerNativesBody, table, context, 0);
}

void LMP_Engine::setGlobal(const char* name, const ScriptValue& value) {
  VS_ASSERT(name);
  if (!L) return;
  protectedCall(setGlobalBody, name, &value, 0);
}

bool LMP_Engine::getGlobal(const char* name, ScriptValue* out) {
  VS_ASSERT(name && out);
  if (!L) return false;
  if (!pushGlobal(name)) return false;
  popScriptValue(L, out);
  return true;
}

bool LMP_Engine::callFunction(const char* name, const ScriptValueVector& args, ScriptValue* result) {
  // Without a controller there is nobody to report a script error to.
  VS_ASSERT(name);
  if (!L || stopped(controller)) return false;
  if (!pushGlobal(name)) return false;
  int base = lua_gettop(L);
  if (!protectedCall(pushArgumentsBody, &args, nullptr, LUA_MULTRET)) {
    lua_pop(L, 1);
    return false;
  }
  int nargs = lua_gettop(L) - base;  // values of unknown type pushed nothing
  if (!call(nargs, 1)) return false;
  if (result)
    popScriptValue(L, result);
  else
    lua_pop(L, 1);
  return true;
}

void LMP_Engine::collectGarbage() {
  if (L && !lua_gc(L, LUA_GCISRUNNING, 0)) lua_gc(L, LUA_GCCOLLECT, 0);
}
