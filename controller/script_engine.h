// The script engine as the controller sees it. LMP_Engine (script/engine.h)
// is the one implementation.
#pragma once

#include "controller/script_value.h"

class CTRL_Generic;
struct Event;

// A native function offered to scripts: called with the opaque context given
// to registerNatives, the arguments (element 0 is the first) and a result that
// starts as nil and must be left as one of the five value types.
typedef int (*NativeFunction)(void* context, ScriptValueVector* args, ScriptValue* result);

struct NativeTableEntry {
  const char* name;  // null ends the table
  NativeFunction function;
};

struct NativeTable {
  const char* name;  // the global table to create
  const NativeTableEntry* entries;
};

class CTRL_ScriptEngine {
 public:
  virtual ~CTRL_ScriptEngine() {}
  // The script's own CB_EVENT callback; true when it handled the event.
  virtual bool onEvent(const Event& event) = 0;
  virtual void onUpdate(double dt) = 0;
  // aspect is height divided by width.
  virtual void onAspectRatioChanged(double aspect) = 0;
  // Runs "init.lua" and the global startup.
  virtual bool start() = 0;
  virtual void registerNatives(const NativeTable* table, void* context) = 0;
  virtual void setGlobal(const char* name, const ScriptValue& value) = 0;
  virtual bool getGlobal(const char* name, ScriptValue* out) = 0;
  virtual bool callFunction(const char* name, const ScriptValueVector& args, ScriptValue* result) = 0;
  virtual void collectGarbage() = 0;
  virtual void setController(CTRL_Generic* controller) = 0;
};
