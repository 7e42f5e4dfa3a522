#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "controller/event.h"
#include "script/lua_files.h"
#include "script_harness.h"

using scripttest::Player;

namespace {

const char kLoadingText[] = "Error loading the file.\nPlease check with your content provider.";
const char kRunningText[] = "Error running the file.\nPlease check with your content provider.";

const int kUpdate = 1, kEvent = 2, kAspect = 11;

TEST(EngineStart, RunsInitAndStartupThenLogsTheLoadTime) {
  vsplat::DebugCapture log;
  Player p(
      {{"init.lua", "order = 'init'\nio.write('init says hi')\nfunction startup() order = order .. ',startup' end\n"}});
  ASSERT_NE(p.controller->package, nullptr);
  ASSERT_TRUE(p.engine->start());
  EXPECT_EQ(p.global("order"), "init,startup");
  EXPECT_EQ(p.controller->load.state, 3);
  EXPECT_FALSE(p.controller->load.stopped);
  EXPECT_TRUE(p.controller->failures.empty());
  EXPECT_EQ(log.text().find("init says hi\n(null) loaded in "), 0u) << log.text();
}

TEST(EngineStart, SyntaxErrorFailsWhileLoadingAndNeverCallsStartup) {
  vsplat::DebugCapture log;
  Player p({{"init.lua", "function startup() called = true end\nx = = 1\n"}});
  EXPECT_FALSE(p.engine->start());
  EXPECT_EQ(p.controller->load.state, 2);
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("init.lua:2:"), std::string::npos) << p.controller->failures[0];
  EXPECT_STREQ(p.controller->load.failureText.c_str(), kLoadingText);
  EXPECT_EQ(p.global("called"), "nil");
  // The reason reaches the log, once, and no load time is logged.
  std::string text = log.text();
  EXPECT_NE(text.find("init.lua:2:"), std::string::npos);
  EXPECT_EQ(text.find("init.lua:2:"), text.rfind("init.lua:2:"));
  EXPECT_EQ(text.find("loaded in"), std::string::npos);
}

TEST(EngineStart, FailuresOfTheScriptsStopTheStart) {
  struct Case {
    const char* init;
    const char* reason;  // part of the failure message
  } cases[] = {
      {"x = 1\n", "attempt to call a nil value"},                      // no startup
      {"function startup() error('boom') end\n", "init.lua:1: boom"},  // error in startup
      {"error('early')\n", "init.lua:1: early"},                       // error in the chunk
      {"function startup() error({}) end\n", "error object is a table value"},
      // A strict globals table whose lookup of startup raises: reported, no crash.
      {"setmetatable(_G, {__index = function(_, k) error('undefined ' .. k) end})\n", "undefined startup"},
  };
  for (const Case& c : cases) {
    Player p({{"init.lua", c.init}});
    EXPECT_FALSE(p.engine->start()) << c.init;
    EXPECT_EQ(p.controller->load.state, 2) << c.init;
    ASSERT_EQ(p.controller->failures.size(), 1u) << c.init;
    EXPECT_NE(p.controller->failures[0].find(c.reason), std::string::npos) << p.controller->failures[0];
    EXPECT_STREQ(p.controller->load.failureText.c_str(), kLoadingText);
  }
}

// Without a global function startup the log says so before Lua's own
// "attempt to call" report.
TEST(EngineStart, AMissingStartupIsNamedInTheLog) {
  for (const char* init : {"x = 1\n", "startup = 3\n"}) {
    SCOPED_TRACE(init);
    vsplat::DebugCapture log;
    Player p({{"init.lua", init}});
    EXPECT_FALSE(p.engine->start());
    const std::string text = log.text();
    const size_t named = text.find("init.lua defines no global function startup");
    EXPECT_NE(named, std::string::npos) << text;
    EXPECT_LT(named, text.find("attempt to call")) << text;
  }
  vsplat::DebugCapture log;
  Player p({{"init.lua", "function startup() end\n"}});
  EXPECT_TRUE(p.engine->start());
  EXPECT_EQ(log.text().find("defines no global"), std::string::npos);
}

TEST(EngineStart, MissingInitFailsAndNoPackageRefusesQuietly) {
  Player p({{"other.lua", "x = 1\n"}});
  EXPECT_FALSE(p.engine->start());
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("cannot open init.lua"), std::string::npos);

  Player none({{"init.lua", "function startup() end\n"}});
  none.controller->package.reset();
  EXPECT_FALSE(none.engine->start());
  EXPECT_EQ(none.controller->load.state, 1);
  EXPECT_FALSE(none.controller->load.stopped);
}

int stopContent(void* context, ScriptValueVector*, ScriptValue*) {
  static_cast<CTRL_Generic*>(context)->fail("usage error reported by native code");
  return 0;
}

TEST(EngineStart, ContentStoppedWithoutALuaErrorStillFailsTheStart) {
  vsplat::DebugCapture log;
  Player p({{"init.lua", "function startup() native.stop() after = true end\n"}});
  const NativeTableEntry entries[] = {{"stop", stopContent}, {nullptr, nullptr}};
  const NativeTable table = {"native", entries};
  p.engine->registerNatives(&table, p.controller.get());
  EXPECT_FALSE(p.engine->start());
  EXPECT_EQ(p.global("after"), "true");  // the Lua call itself went on
  EXPECT_EQ(p.controller->load.state, 2);
  EXPECT_STREQ(p.controller->load.failureText.c_str(), kLoadingText);
  EXPECT_EQ(log.text().find("loaded in"), std::string::npos);
}

TEST(EngineStart, SceneApiUsageErrorDuringStartupFailsTheStart) {
  vsplat::DebugCapture log;
  Player p({{"init.lua", "function startup() setAspectRatio('not a number') after = true end\n"}});
  EXPECT_FALSE(p.engine->start());
  EXPECT_TRUE(p.controller->load.stopped);
  EXPECT_EQ(p.global("after"), "true");
  EXPECT_EQ(p.controller->load.state, 2);
  EXPECT_EQ(log.text().find("loaded in"), std::string::npos);
}

struct Running : Player {
  explicit Running(const char* init) : Player({{"init.lua", init}}) { EXPECT_TRUE(engine->start()); }
};

TEST(EngineCallbacks, UpdateAndAspectReceiveTheirNumber) {
  Running p(
      "function startup() end\n"
      "function update(dt) last = 'update ' .. dt end\n"
      "function aspect(a) last = 'aspect ' .. a end\n");
  p.engine->onUpdate(0.25);  // no callback yet: nothing happens
  EXPECT_EQ(p.global("last"), "nil");
  p.setCallback(kUpdate, "update");
  p.setCallback(kAspect, "aspect");
  p.engine->onUpdate(0.25);
  EXPECT_EQ(p.global("last"), "update 0.25");
  p.engine->onAspectRatioChanged(0.5);
  EXPECT_EQ(p.global("last"), "aspect 0.5");
  EXPECT_EQ(lua_gettop(p.L), 0);
}

TEST(EngineCallbacks, ErrorAfterTheStartFailsAsRunningAndLaterCallsAreRefused) {
  vsplat::DebugCapture log;
  Running p(
      "function startup() end\n"
      "count = 0\n"
      "function update(dt) count = count + 1 error('bad frame') end\n");
  p.setCallback(kUpdate, "update");
  p.engine->onUpdate(0.1);
  p.engine->onUpdate(0.1);
  EXPECT_EQ(p.global("count"), "1");
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_STREQ(p.controller->load.failureText.c_str(), kRunningText);
  EXPECT_NE(log.text().find("init.lua:3: bad frame"), std::string::npos);
  EXPECT_EQ(lua_gettop(p.L), 0);
}

TEST(EngineCallbacks, SecondFailChangesNothing) {
  Running p("function startup() end\n");
  p.controller->fail("first %d", 1);
  p.controller->load.state = 1;
  p.controller->fail("second");
  EXPECT_STREQ(p.controller->load.failureText.c_str(), kRunningText);
  EXPECT_TRUE(p.controller->load.stopped);
}

TEST(EngineEvents, ArgumentsByEventType) {
  Running p(
      "function startup() end\n"
      "function onEvent(t, a, b) seen = t .. ',' .. tostring(a) .. ',' .. type(b) .. ',' .. tostring(b)"
      " return true end\n");
  EXPECT_FALSE(p.engine->onEvent(Event{}));  // no callback: not handled, no failure
  p.setCallback(kEvent, "onEvent");

  Event key;
  key.type = EVENT_KEY_DOWN;
  key.code = 65;
  EXPECT_TRUE(p.engine->onEvent(key));
  EXPECT_EQ(p.global("seen"), "1,65,number,0");

  Event close;
  close.type = EVENT_CLOSE;
  close.code = 99;  // not passed for this type
  EXPECT_TRUE(p.engine->onEvent(close));
  EXPECT_EQ(p.global("seen"), "8,0,number,0");

  const uint8_t report[] = {'a', 0, 'b'};
  Event device;
  device.type = EVENT_DEVICE;
  device.code = 7;
  device.data = report;
  device.length = 3;
  EXPECT_TRUE(p.engine->onEvent(device));
  EXPECT_EQ(p.global("seen"), std::string("7,7,string,a\0b", 14));

  Event zoom;
  zoom.type = EVENT_ZOOM;
  zoom.amount = -2;
  zoom.point[0] = 0.25;
  zoom.point[1] = 0.5;
  EXPECT_TRUE(p.engine->onEvent(zoom));
  EXPECT_EQ(p.global("seen").substr(0, 14), "6,-2,userdata,");
  // The point comes from the event's own point field.
  ASSERT_EQ(p.run("function onZoom(t, a, b) seen = b:x() .. ' ' .. b:y() return true end"), "");
  p.setCallback(kEvent, "onZoom");
  EXPECT_TRUE(p.engine->onEvent(zoom));
  EXPECT_EQ(p.global("seen"), "0.25 0.5");
  EXPECT_TRUE(p.controller->failures.empty());
  EXPECT_EQ(lua_gettop(p.L), 0);
}

TEST(EngineEvents, ResultMustBeOneBoolean) {
  struct Case {
    const char* body;
    bool handled;
    bool fails;
  } cases[] = {
      {"return true", true, false},    {"return false", false, false},
      {"return true, 5", true, false}, {"", false, true},
      {"return 1", false, true},       {"return nil, true", false, true},
      {"return 'true'", false, true},
  };
  for (const Case& c : cases) {
    Running p((std::string("function startup() end\nfunction onEvent() ") + c.body + " end\n").c_str());
    p.setCallback(kEvent, "onEvent");
    Event e;
    e.type = EVENT_KEY_UP;
    EXPECT_EQ(p.engine->onEvent(e), c.handled) << c.body;
    EXPECT_EQ(p.controller->load.stopped, c.fails) << c.body;
    if (c.fails) {
      ASSERT_EQ(p.controller->failures.size(), 1u);
      EXPECT_EQ(p.controller->failures[0], "Event function must return 1 boolean value.");
    }
    EXPECT_EQ(lua_gettop(p.L), 0) << c.body;
  }
}

TEST(EngineValues, PopValueConversions) {
  Player p({});
  ASSERT_EQ(p.run("n = '12' s = '12a' h = '0x10' b = true d = 3.5 t = {} f = print"), "");
  struct Case {
    const char* name;
    int32_t type;
    double number;
    const char* text;
  } cases[] = {
      {"n", ScriptValue::NUMBER, 12.0, nullptr}, {"h", ScriptValue::NUMBER, 16.0, nullptr},
      {"s", ScriptValue::STRING, 0, "12a"},      {"d", ScriptValue::NUMBER, 3.5, nullptr},
      {"missing", ScriptValue::NIL, 0, nullptr},
  };
  for (const Case& c : cases) {
    ScriptValue v;
    v.setBoolean(true);
    ASSERT_TRUE(p.engine->getGlobal(c.name, &v));
    EXPECT_EQ(v.type, c.type) << c.name;
    if (c.type == ScriptValue::NUMBER) {
      EXPECT_EQ(v.value.number, c.number) << c.name;
    }
    if (c.text) {
      EXPECT_STREQ(v.value.text, c.text);
    }
    v.release();
  }
  ScriptValue b;
  ASSERT_TRUE(p.engine->getGlobal("b", &b));
  EXPECT_EQ(b.type, ScriptValue::BOOLEAN);
  EXPECT_TRUE(b.value.boolean);
  // Tables and functions leave the previous contents, and are still popped.
  for (const char* name : {"t", "f"}) {
    ScriptValue v;
    v.setString("before");
    ASSERT_TRUE(p.engine->getGlobal(name, &v));
    EXPECT_STREQ(v.value.text, "before");
    v.release();
  }
  EXPECT_EQ(lua_gettop(p.L), 0);
  ScriptValue untouched;
  EXPECT_FALSE(p.engine->popValue(&untouched));  // an empty stack stays intact
  EXPECT_EQ(lua_gettop(p.L), 0);
}

TEST(EngineValues, SetGlobalPushesEachType) {
  Player p({});
  ScriptValue v;
  v.setInteger(7);
  p.engine->setGlobal("i", v);
  v.setNumber(2.5);
  p.engine->setGlobal("d", v);
  v.setString("text");
  p.engine->setGlobal("s", v);
  v.setBoolean(false);
  p.engine->setGlobal("b", v);
  v.release();
  ASSERT_EQ(p.run("r = type(i) .. i .. type(d) .. d .. s .. tostring(b)"), "");
  EXPECT_EQ(p.global("r"), "number7number2.5textfalse");
  ScriptValue bad;
  bad.type = 9;  // an unknown tag sets the global to nil
  p.engine->setGlobal("i", bad);
  EXPECT_EQ(p.global("i"), "nil");
  EXPECT_EQ(lua_gettop(p.L), 0);
}

struct NativeLog {
  std::string seen;
};

int describe(void* context, ScriptValueVector* args, ScriptValue* result) {
  NativeLog* log = static_cast<NativeLog*>(context);
  log->seen.clear();
  for (int32_t i = 0; i < args->count; ++i) {
    const ScriptValue* v = args->data[i];
    log->seen += std::to_string(v->type);
    if (v->type == ScriptValue::STRING) log->seen += v->value.text;
    log->seen += ";";
  }
  result->setString(("n=" + std::to_string(args->count)).c_str());
  return 0;
}

int nothing(void*, ScriptValueVector*, ScriptValue*) { return 0; }

TEST(EngineNatives, TablesOfNativeFunctions) {
  Player p({});
  NativeLog log;
  const NativeTableEntry entries[] = {{"describe", describe}, {"nothing", nothing}, {nullptr, nullptr}};
  const NativeTable table = {"ext", entries};
  p.engine->registerNatives(&table, &log);
  ASSERT_EQ(p.run("r = ext.describe(1, 'x', true, nil, {}, '5') z = ext.nothing()"), "");
  EXPECT_EQ(log.seen, "3;4x;1;0;0;3;");  // element 0 is the first argument
  EXPECT_EQ(p.global("r"), "n=6");
  EXPECT_EQ(p.run("assert(ext.nothing() == nil and select('#', ext.nothing()) == 1)"), "");

  const NativeTableEntry none[] = {{nullptr, nullptr}};
  const NativeTable empty = {"ext2", none};
  p.engine->registerNatives(&empty, nullptr);
  EXPECT_EQ(p.run("assert(next(ext2) == nil)"), "");
}

TEST(EngineNatives, CallFunction) {
  Running p(
      "function startup() end\n"
      "function join(a, b, c) return a .. '|' .. b .. '|' .. tostring(c) end\n"
      "function broken() error('inside') end\n");
  ScriptValueVector args;
  for (int i = 0; i < 3; ++i) args.append(new ScriptValue);
  args.data[0]->setString("a");
  args.data[1]->setInteger(2);
  args.data[2]->setBoolean(true);
  ScriptValue result;
  ASSERT_TRUE(p.engine->callFunction("join", args, &result));
  ASSERT_EQ(result.type, ScriptValue::STRING);
  EXPECT_STREQ(result.value.text, "a|2|true");
  result.release();

  ScriptValueVector none;
  EXPECT_FALSE(p.engine->callFunction("broken", none, &result));
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("inside"), std::string::npos);
  // Refused for good once the content has failed.
  EXPECT_FALSE(p.engine->callFunction("join", args, &result));
  EXPECT_EQ(result.type, ScriptValue::NIL);
  EXPECT_EQ(lua_gettop(p.L), 0);
}

TEST(EngineNatives, CallFunctionWithoutAControllerIsRefused) {
  LMP_Engine engine;
  ASSERT_NE(engine.L, nullptr);
  ASSERT_EQ(luaL_dostring(engine.L, "function f() called = true return 1 end"), LUA_OK);
  ScriptValueVector none;
  ScriptValue result;
  EXPECT_FALSE(engine.callFunction("f", none, &result));
  lua_getglobal(engine.L, "f");
  lua_pushnumber(engine.L, 1);
  EXPECT_FALSE(engine.call(1, 0));
  EXPECT_EQ(lua_gettop(engine.L), 0);  // function and argument removed
  lua_getglobal(engine.L, "called");
  EXPECT_TRUE(lua_isnil(engine.L, -1));
}

TEST(EngineState, ControllerLinkIsPerStateAndEmptyUntilAttached) {
  LMP_Engine* first = new LMP_Engine;
  LMP_Engine* second = new LMP_Engine;
  EXPECT_EQ(LMP_getController(first->L), nullptr);
  CTRL_Generic a{std::unique_ptr<CTRL_ScriptEngine>(first)};
  CTRL_Generic b{std::unique_ptr<CTRL_ScriptEngine>(second)};
  EXPECT_EQ(LMP_getController(first->L), &a);
  EXPECT_EQ(LMP_getController(second->L), &b);
  EXPECT_EQ(LMP_getEngine(second->L), second);
  // Every thread of a state reaches the same controller.
  lua_State* thread = lua_newthread(first->L);
  EXPECT_EQ(LMP_getController(thread), &a);
  lua_pop(first->L, 1);
}

TEST(EngineState, LibrariesAndCollectorSettings) {
  Player p({});
  ASSERT_EQ(p.run("for _, n in ipairs{'coroutine','table','io','os','string','bit32','math','debug','package'} do"
                  "  assert(type(_G[n]) == 'table', n) end"),
            "");
  // The pause was set to 100 and the step multiplier to 300: setting them
  // again answers the previous values.
  EXPECT_EQ(lua_gc(p.L, LUA_GCSETPAUSE, 100), 100);
  EXPECT_EQ(lua_gc(p.L, LUA_GCSETSTEPMUL, 300), 300);
}

TEST(EngineState, CollectGarbageOnlyWhenTheCollectorIsStopped) {
  Player p({});
  ASSERT_EQ(p.run("collectgarbage('stop') setmetatable({}, {__gc = function() collected = true end})"), "");
  p.engine->collectGarbage();
  EXPECT_EQ(p.global("collected"), "true");

  // While the collector runs, nothing is collected at once. A long pause
  // after a finished cycle keeps the collector from stepping meanwhile.
  ASSERT_EQ(p.run("collectgarbage('restart') collectgarbage('setpause', 1000) collectgarbage()"
                  "collected = nil setmetatable({}, {__gc = function() collected = true end})"),
            "");
  p.engine->collectGarbage();
  lua_getglobal(p.L, "collected");
  EXPECT_TRUE(lua_isnil(p.L, -1));
  lua_pop(p.L, 1);
}

TEST(EngineState, PanicMessageGoesToTheLog) {
  vsplat::DebugCapture log;
  Player p({});
  lua_pushstring(p.L, "lost");
  LMP_panic(p.L);
  lua_pop(p.L, 1);
  EXPECT_NE(log.text().find("PANIC: unprotected error in call to Lua API (lost)"), std::string::npos);
}

}  // namespace

namespace {

TEST(EngineCallbacks, ReplacingACallbackThroughTheScriptReleasesTheOldReferenceOnce) {
  Player p({});
  // Each replaced function's reference is freed exactly once: a slot freed
  // twice would hand two later references the same registry entry.
  ASSERT_EQ(p.run("function a() end function b() end function c() end "
                  "setCallback(CB_UPDATE, a) setCallback(CB_UPDATE, b) setCallback(CB_UPDATE, c)"),
            "");
  lua_getglobal(p.L, "a");
  int r1 = luaL_ref(p.L, LUA_REGISTRYINDEX);
  lua_getglobal(p.L, "b");
  int r2 = luaL_ref(p.L, LUA_REGISTRYINDEX);
  EXPECT_NE(r1, r2);
  lua_rawgeti(p.L, LUA_REGISTRYINDEX, p.engine->callbackRef(kUpdate));
  lua_getglobal(p.L, "c");
  EXPECT_TRUE(lua_rawequal(p.L, -1, -2));
  lua_pop(p.L, 2);
  EXPECT_FALSE(p.engine->setCallbackRef(0, 5));
  EXPECT_FALSE(p.engine->setCallbackRef(12, 5));
  EXPECT_EQ(p.engine->callbackRef(12), 0);
}

}  // namespace

namespace {

TEST(EngineState, ClosingWithProxiesStillHeldByScripts) {
  auto p = std::make_unique<Player>(std::initializer_list<Player::Member>{
      {"init.lua", "function startup() keep = newScene() other = newScene() other = nil end\n"}});
  ASSERT_TRUE(p->engine->start());
  EXPECT_EQ(p->controller->resources.scenes.count, 2);
  p->controller.reset();  // scenes go first, then the state with its pending __gc
}

TEST(EngineState, ClosingScriptsMayStillReadAnOpenMember) {
  vsplat::DebugCapture log;
  // A short member is stored: its bytes are the package's own.
  auto p = std::make_unique<Player>(std::initializer_list<Player::Member>{{"data.txt", "0123456789"}});
  ASSERT_EQ(p->run("local f = io.open('data.txt') f:read(1)"
                   "keep = setmetatable({}, {__gc = function()"
                   "  io.write('at close ', f:read('*a'), ' ', tostring(io.open('data.txt'))) end})"),
            "");
  p->controller.reset();
  // The open member still reads; the package itself is gone.
  EXPECT_NE(log.text().find("at close \n123456789\n \nnil\n"), std::string::npos) << log.text();
}

}  // namespace

namespace {

// A script's __gc that raises can run in any collection step, and the
// engine's own pushes allocate: the error must end in fail, not in a panic.
TEST(EngineState, FailingFinalizersDuringTheEnginesOwnPushesAreReported) {
  Running p(
      "function startup() end\n"
      "function onEvent(t, a, b) return true end\n"
      "function echo(s) return s end\n");
  p.setCallback(kEvent, "onEvent");
  ASSERT_EQ(p.run("collectgarbage('setpause', 0) collectgarbage('setstepmul', 100000)"), "");
  uint8_t report[256] = {};
  Event device;
  device.type = EVENT_DEVICE;
  device.data = report;
  device.length = sizeof report;
  ScriptValueVector args;  // strings: many allocations in a row
  for (int i = 0; i < 10; ++i) {
    args.append(new ScriptValue);
    args.data[i]->setString(std::string(300, 'a' + i).c_str());
  }
  ScriptValue result;
  // Garbage with a failing finalizer, made while the collector is stopped so
  // that the finalizer runs in a later step: one of the engine's own.
  ASSERT_EQ(p.run("collectgarbage('stop') "
                  "for i = 1, 50 do setmetatable({}, {__gc = function() error('finalizer failed') end}) end "
                  "collectgarbage('restart')"),
            "");
  for (int i = 0; i < 200 && !p.controller->load.stopped; ++i) {
    p.engine->callFunction("echo", args, &result);
    result.release();
    p.engine->onEvent(device);
  }
  ASSERT_TRUE(p.controller->load.stopped);
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_NE(p.controller->failures[0].find("finalizer failed"), std::string::npos) << p.controller->failures[0];
}

}  // namespace
