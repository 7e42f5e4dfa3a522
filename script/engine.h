// The Lua 5.2 script engine: owns the one Lua state, runs the content's
// "init.lua" and startup, delivers the frame, aspect and event callbacks and
// makes every protected call into script code.
#pragma once

#include <cstdint>

#include "controller/script_engine.h"

struct lua_State;
class CTRL_Generic;

class LMP_Engine : public CTRL_ScriptEngine {
 public:
  LMP_Engine();
  ~LMP_Engine() override;
  LMP_Engine(const LMP_Engine&) = delete;
  LMP_Engine& operator=(const LMP_Engine&) = delete;

  bool onEvent(const Event& event) override;
  void onUpdate(double dt) override;
  void onAspectRatioChanged(double aspect) override;
  bool start() override;
  void registerNatives(const NativeTable* table, void* context) override;
  void setGlobal(const char* name, const ScriptValue& value) override;
  bool getGlobal(const char* name, ScriptValue* out) override;
  bool callFunction(const char* name, const ScriptValueVector& args, ScriptValue* result) override;
  void collectGarbage() override;
  void setController(CTRL_Generic* controller) override;

  // Protected call of the function lying under its nargs arguments on top of
  // the stack. Refused (function and arguments removed) without a controller
  // or once it has failed; a script error goes to the controller's fail.
  // On success the nresults results stay on the stack.
  bool call(int nargs, int nresults);

  void pushValue(const ScriptValue& value);
  // Pops the top value into out: boolean, number (also a numeric string),
  // string, nil; a table, function, userdata or thread leaves out unchanged.
  bool popValue(ScriptValue* out);

  // The body of every closure made by registerNatives.
  static int callNative(lua_State* L);
  // Sets the global `name` to value as a Lua number.
  static void setGlobalInteger(lua_State* L, const char* name, int32_t value);

  // Registry reference held in callback slot id (CB_UPDATE 1 ... 11), 0 when
  // none or id is out of range.
  int32_t callbackRef(int id) const;
  // Stores ref in slot id, releasing the reference the slot held; false
  // (nothing stored) when id is out of range.
  bool setCallbackRef(int id, int32_t ref);

  // Runs body(a, b) protected (both as light userdata); an error goes to
  // the controller's fail.
  bool protectedCall(int (*body)(lua_State*), const void* a, const void* b, int nresults);

  int32_t callbacks[11];
  lua_State* L;
  CTRL_Generic* controller;

 private:
  struct StateLink* link_;
  void reportTopError();
  bool pushGlobal(const char* name);
  void callNumberCallback(int id, double value);
};

// The controller kept with a Lua state (any thread of it); null until the
// engine's setController. Every script-side reader goes through here.
CTRL_Generic* LMP_getController(lua_State* L);
// The engine that owns the state.
LMP_Engine* LMP_getEngine(lua_State* L);
