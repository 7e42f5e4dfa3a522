// Runs real Lua content against the engine: a controller with an engine and
// an in-memory package of the given members (plus an accepted config.xml).
#pragma once

#include <lua5.2/lua.hpp>

#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "controller/ctrl_generic.h"
#include "platform/testing.h"
#include "script/engine.h"
#include "support/test_package.h"

namespace scripttest {

struct Player {
  std::unique_ptr<testpkg::RecordingController> controller;
  LMP_Engine* engine = nullptr;  // owned by the controller
  lua_State* L = nullptr;

  using Member = std::pair<const std::string, std::string>;
  Player(std::initializer_list<Member> members);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Runs Lua text in the engine's state (not through the package); returns
  // the error text, or "" on success. Results are left on the stack.
  std::string run(const std::string& chunk, int nresults = 0);
  // The global's value as tostring() shows it.
  std::string global(const char* name);
  // Stores the global function `name` in callback slot id.
  void setCallback(int id, const char* name);
};

}  // namespace scripttest
