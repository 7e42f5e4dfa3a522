// Bound methods against bare Lua C functions doing the same work, called from
// a Lua loop in the same run. Scenes:
//   get_type       obj:getType()       vs a bare function reading the proxy:
//                  nothing allocated, so this is the call's own overhead
//   get_position   obj:getPosition()   vs a bare function reading the proxy
//   v3_add         a + b on two v3     vs a bare function adding two payloads
// Each reports ns per call; the summary prints the bound / bare ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "controller/ctrl_generic.h"
#include "model/object.h"
#include "script/engine.h"
#include "script/lmp_binder.h"
#include "script/lmp_values.h"

namespace {

constexpr int kCallsPerRun = 100000;

// The same work as getPosition without the binding's checks: take the
// proxy's object, push a new v3 of its world position.
int bareGetPosition(lua_State* L) {
  LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, 1));
  MDL_Object* o = static_cast<MDL_Object*>(ud->proxy->model);
  LMP_pushV3(L, o->getWorld().position);
  return 1;
}

// getType without the binding's checks: the proxy's object's type code.
int bareGetType(lua_State* L) {
  LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, 1));
  lua_pushnumber(L, static_cast<MDL_Object*>(ud->proxy->model)->type);
  return 1;
}

int bareAdd(lua_State* L) {
  const double* a = static_cast<const double*>(lua_touserdata(L, 1));
  const double* b = static_cast<const double*>(lua_touserdata(L, 2));
  double* r = LMP_iPushV3(L);
  for (int i = 0; i < 3; ++i) r[i] = a[i] + b[i];
  return 1;
}

struct World {
  World() : engine(new LMP_Engine), controller(std::unique_ptr<CTRL_ScriptEngine>(engine)) {
    L = engine->L;
    lua_register(L, "bareGetPosition", bareGetPosition);
    lua_register(L, "bareAdd", bareAdd);
    lua_register(L, "bareGetType", bareGetType);
    luaL_dostring(L, "s = newScene(); o = newObject(s); o:setPosition(v3(1, 2, 3)); a = v3(1, 2, 3); b = v3(4, 5, 6)");
  }
  // Loads a loop of kCallsPerRun calls of `call` as a function.
  int load(const std::string& call) {
    std::string code = "local o, a, b = o, a, b\nreturn function()\n  for i = 1, " + std::to_string(kCallsPerRun) +
                       " do local r = " + call + " end\nend";
    luaL_dostring(L, code.c_str());
    return luaL_ref(L, LUA_REGISTRYINDEX);
  }
  void run(int loop) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, loop);
    lua_call(L, 0, 0);
  }
  LMP_Engine* engine;  // owned by the controller
  CTRL_Generic controller;
  lua_State* L = nullptr;
};

World& world() {
  static World w;
  return w;
}

void runLoop(benchmark::State& state, const char* call) {
  World& w = world();
  int loop = w.load(call);
  for (auto _ : state) w.run(loop);
  state.SetItemsProcessed(state.iterations() * kCallsPerRun);
  luaL_unref(w.L, LUA_REGISTRYINDEX, loop);
}

void BM_get_type_bound(benchmark::State& s) { runLoop(s, "o:getType()"); }
void BM_get_type_bare(benchmark::State& s) { runLoop(s, "bareGetType(o)"); }
void BM_get_position_bound(benchmark::State& s) { runLoop(s, "o:getPosition()"); }
void BM_get_position_bare(benchmark::State& s) { runLoop(s, "bareGetPosition(o)"); }
void BM_v3_add_bound(benchmark::State& s) { runLoop(s, "a + b"); }
void BM_v3_add_bare(benchmark::State& s) { runLoop(s, "bareAdd(a, b)"); }

BENCHMARK(BM_get_type_bound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_get_type_bare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_get_position_bound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_get_position_bare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_v3_add_bound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_v3_add_bare)->Unit(benchmark::kMillisecond);

// Keeps each run's time per call so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      perCall[r.benchmark_name()] = r.GetAdjustedRealTime() * 1e6 / kCallsPerRun;  // ms per run -> ns per call
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perCall;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* scene : {"get_type", "get_position", "v3_add"}) {
    std::string bound = std::string("BM_") + scene + "_bound", bare = std::string("BM_") + scene + "_bare";
    if (!reporter.perCall.count(bound) || !reporter.perCall.count(bare)) continue;
    std::printf("%-13s bound %6.1f ns/call  bare %6.1f ns/call  ratio %.2f\n", scene, reporter.perCall[bound],
                reporter.perCall[bare], reporter.perCall[bound] / reporter.perCall[bare]);
  }
  benchmark::Shutdown();
  return 0;
}
