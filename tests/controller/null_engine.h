// A script engine that does nothing and answers no to everything: a test's
// fake overrides only what it watches.
#pragma once

#include "controller/script_engine.h"

namespace ctrltest {

class NullEngine : public CTRL_ScriptEngine {
 public:
  bool onEvent(const Event&) override { return false; }
  void onUpdate(double) override {}
  void onAspectRatioChanged(double) override {}
  bool start() override { return false; }
  void registerNatives(const NativeTable*, void*) override {}
  void setGlobal(const char*, const ScriptValue&) override {}
  bool getGlobal(const char*, ScriptValue*) override { return false; }
  bool callFunction(const char*, const ScriptValueVector&, ScriptValue*) override { return false; }
  void collectGarbage() override {}
  void setController(CTRL_Generic*) override {}
};

}  // namespace ctrltest
