#pragma once
// The class-binding template: one instantiation per bound class gives its
// global (a callable methods table), registry metatable, constructor,
// __tostring, __gc, method closures, and the push/check/test of its userdata.
//
// A bound class T provides:
//   static const char* const luaName;          global, registry key, error name
//   static const LMP_MethodReg<T> methods[];   ends with a {nullptr, nullptr} row
//   static LMP_Proxy* construct(lua_State*);   builds the proxy (and its model)
//                                               from the constructor arguments
// and, when its constructor reads a fixed number of arguments without the
// argument parser (which reports surplus itself):
//   static constexpr int kConstructorArgs;      more are reported, naming
//   static const char* constructorName();       this constructor global
// Object classes also get the LMP_Object rows first (see lmp_object.h).
//
// Memory exhaustion in a constructor is Lua's own memory error, wherever it
// happens: a constructor lets std::bad_alloc out (plain new,
// LMP_requireMemory, LMP_appendNew) rather than answering nil or a proxy
// without a model.

#include <lua.hpp>

#include <memory>
#include <new>
#include <type_traits>

#include "script/lmp_proxy.h"

// The Lua value of a bound object: one proxy pointer, null after __gc.
struct LMP_UserData {
  LMP_Proxy* proxy;
};

template <class T>
struct LMP_MethodReg {
  const char* name;
  int (T::*method)(lua_State* L);
};

// How many arguments T's constructor reads when it counts them itself;
// negative: it leaves surplus to the argument parser, or takes any number.
template <class T, class = void>
struct LMP_ConstructorArgs {
  static constexpr int most = -1;
};
template <class T>
struct LMP_ConstructorArgs<T, std::void_t<decltype(T::kConstructorArgs)>> {
  static constexpr int most = T::kConstructorArgs;
};

// For constructors: a model call that answers false or null for want of
// memory becomes the refused allocation the binding raises.
inline void LMP_requireMemory(bool ok) {
  if (!ok) throw std::bad_alloc();
}

// For constructors: appends a record just made to the list that is to own
// it and answers it; a refused entry frees it and throws std::bad_alloc.
template <class List, class Record>
Record* LMP_appendNew(List& list, Record* record) {
  std::unique_ptr<Record> held(record);
  LMP_requireMemory(list.append(held.get()));
  return held.release();
}

// Rows a class takes from a base before its own; none unless specialised.
template <class T, class = void>
struct LMP_InheritedRows {
  static void add(lua_State*, int) {}
};

namespace lmp_binder {
int gc(lua_State* L);
// Pushes the weak userdata cache of the class metatable at `mt`, creating it.
void userdataCache(lua_State* L, int mt);
// Pushes the one userdata of `proxy` with the metatable registered as `name`
// (nil for a null proxy); returns its stack index.
int push(lua_State* L, LMP_Proxy* proxy, const char* name);
// The userdata at `idx` when its metatable is the one registered as `name`.
LMP_UserData* test(lua_State* L, int idx, const char* name);
void registerClass(lua_State* L, const char* name, lua_CFunction construct, lua_CFunction toString);
// Adds one method closure to the methods table at `methods`; `fn` and `size`
// give the member-function pointer copied into the closure's upvalue.
void addMethod(lua_State* L, int methods, const char* name, lua_CFunction thunk, const void* fn, size_t size);
[[noreturn]] void badSelf(lua_State* L, const char* name);
// Raises "not enough memory", as Lua does when its own allocation fails.
[[noreturn]] void outOfMemory(lua_State* L);
}  // namespace lmp_binder

// Raises Lua's argument error for explicit argument `arg` of the running bound
// function, counted as the script wrote it (self excluded in method syntax).
int LMP_argError(lua_State* L, int arg, const char* message);
// "Too much arguments for %s" with the constructor's name, when the
// constructor was given more than `most` arguments; the construction goes on.
void LMP_reportSurplusArgs(lua_State* L, int most, const char* constructorName);

template <class T>
class LMP_Binder {
 public:
  using Method = int (T::*)(lua_State*);

  static void registerClass(lua_State* L) {
    lmp_binder::registerClass(L, T::luaName, &construct, &toString);
    // Stack: methods table, metatable.
    int methods = lua_gettop(L) - 1;
    LMP_InheritedRows<T>::add(L, methods);
    addRows(L, methods, T::methods);
    lua_pop(L, 2);
  }

  template <class Base>
  static void addRows(lua_State* L, int methods, const LMP_MethodReg<Base>* rows) {
    for (; rows->name; ++rows) {
      Method m = rows->method;  // a base member is a member of T too
      lmp_binder::addMethod(L, methods, rows->name, &thunk, &m, sizeof m);
    }
  }

  // No C++ exception may cross Lua's C frames: a refused allocation becomes
  // Lua's own memory error, raised once the handler has unwound, as it is
  // when Lua's heap runs out while the proxy is pushed.
  static int construct(lua_State* L) {
    if (lua_gettop(L) > 0) lua_remove(L, 1);
    LMP_Proxy* proxy = nullptr;
    bool exhausted = false;
    try {
      if constexpr (LMP_ConstructorArgs<T>::most >= 0)
        LMP_reportSurplusArgs(L, LMP_ConstructorArgs<T>::most, T::constructorName());
      proxy = T::construct(L);
    } catch (const std::bad_alloc&) {
      exhausted = true;
    }
    if (exhausted) lmp_binder::outOfMemory(L);
    push(L, proxy);
    return 1;
  }

  static int toString(lua_State* L) {
    LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, 1));
    lua_pushfstring(L, "%s (%p)", T::luaName, ud ? static_cast<void*>(ud->proxy) : nullptr);
    return 1;
  }

  // Upvalues: 1 the member pointer, 2 the class metatable, 3 the method marker.
  static int thunk(lua_State* L) {
    LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, 1));
    if (!ud || !lua_getmetatable(L, 1)) lmp_binder::badSelf(L, T::luaName);
    bool own = lua_rawequal(L, -1, lua_upvalueindex(2));
    lua_pop(L, 1);
    if (!own || !ud->proxy) lmp_binder::badSelf(L, T::luaName);
    lua_remove(L, 1);
    Method m = *static_cast<Method*>(lua_touserdata(L, lua_upvalueindex(1)));
    int results = 0;
    bool exhausted = false;
    try {
      results = (static_cast<T*>(ud->proxy)->*m)(L);
    } catch (const std::bad_alloc&) {
      exhausted = true;
    }
    if (exhausted) lmp_binder::outOfMemory(L);
    return results;
  }

  static int push(lua_State* L, LMP_Proxy* proxy) { return lmp_binder::push(L, proxy, T::luaName); }

  static T* check(lua_State* L, int idx) {
    LMP_UserData* ud = lmp_binder::test(L, idx, T::luaName);
    if (!ud || !ud->proxy) LMP_argError(L, idx, T::luaName);
    return static_cast<T*>(ud->proxy);
  }

  // The userdata's pointer slot, or null when the value is not of class T.
  static LMP_Proxy** test(lua_State* L, int idx) {
    LMP_UserData* ud = lmp_binder::test(L, idx, T::luaName);
    return ud ? &ud->proxy : nullptr;
  }
};
