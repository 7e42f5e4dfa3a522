// Runs real Lua content against the engine: a controller with an engine and
// an in-memory package of the given members (plus an accepted config.xml).
#pragma once

#include <lua.hpp>

#include <cstddef>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "controller/ctrl_generic.h"
#include "platform/testing.h"
#include "script/engine.h"
#include "script/lmp_binder.h"
#include "script/lua_case.h"
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
  // The proxy of the bound object the global holds, or null.
  LMP_Proxy* proxy(const char* name);
  // The model behind that proxy, or null (no proxy, or the model is gone).
  template <class T = void>
  T* model(const char* name) {
    LMP_Proxy* p = proxy(name);
    return p ? static_cast<T*>(p->model) : nullptr;
  }
};

// near(a, b) and vnear(v, x, y, z) for comparing computed numbers, and a
// scene in the global s.
extern const char kSceneAndNear[];

// Runs each case in a fresh player, after the setup chunk, and expects the
// content to report no failure.
void expectCasesInFreshPlayers(const LuaCase* cases, size_t count, const char* setup = "");
template <size_t N>
void expectCasesInFreshPlayers(const LuaCase (&cases)[N], const char* setup = "") {
  expectCasesInFreshPlayers(cases, N, setup);
}

// A wrong usage: the code runs on (nothing raised) and the content reports
// `reports` failures, the first reading `report` after the chunk's place.
struct UsageCase {
  const char* code;
  const char* report;
  size_t reports = 1;
};

// Runs each case in a fresh player, after the setup chunk.
void expectUsageReports(const UsageCase* cases, size_t count, const char* setup = "");
template <size_t N>
void expectUsageReports(const UsageCase (&cases)[N], const char* setup = "") {
  expectUsageReports(cases, N, setup);
}

}  // namespace scripttest
