// The argument parser and the usage-error report, driven from Lua through a
// test function parse(spec, ...) that returns what the parser gave back.
#include <gtest/gtest.h>

#include <string>

#include "script/lmp_args.h"
#include "script_harness.h"

using scripttest::Player;

namespace {

// parse(spec, ...): the count LMP_getArgs returned, then one value per
// letter (nil for "|"), each the out-variable after the call.
int parse(lua_State* L) {
  std::string spec = luaL_checkstring(L, 1);
  lua_remove(L, 1);
  struct Slot {
    bool b = false;
    double* p = nullptr;
    int i = -99;
    double n = -99;
    const char* s = nullptr;
    void* r = reinterpret_cast<void*>(1);
  } slots[12];
  void* out[12] = {};
  int k = 0;
  for (char c : spec) {
    if (c == '|') continue;
    Slot& s = slots[k];
    switch (c) {
      case 'B':
        out[k] = &s.b;
        break;
      case 'C':
      case 'M':
      case 'V':
      case 'W':
        out[k] = &s.p;
        break;
      case 'F':
      case 'I':
        out[k] = &s.i;
        break;
      case 'N':
        out[k] = &s.n;
        break;
      case 'S':
        out[k] = &s.s;
        break;
      case 'R':
        out[k] = &s.r;
        break;
      default:
        out[k] = &s.i;
        break;
    }
    ++k;
  }
  int got = LMP_getArgs(L, spec.c_str(), out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], out[8], out[9],
                        out[10], out[11]);
  lua_settop(L, 0);
  lua_pushinteger(L, got);
  k = 0;
  for (char c : spec) {
    if (c == '|') continue;
    Slot& s = slots[k++];
    switch (c) {
      case 'B':
        lua_pushboolean(L, s.b);
        break;
      case 'C':
      case 'M':
      case 'V':
      case 'W':
        if (s.p)
          lua_pushnumber(L, s.p[0]);
        else
          lua_pushnil(L);
        break;
      case 'F':
      case 'I':
        lua_pushinteger(L, s.i);
        break;
      case 'N':
        lua_pushnumber(L, s.n);
        break;
      case 'S':
        if (s.s)
          lua_pushstring(L, s.s);
        else
          lua_pushnil(L);
        break;
      case 'R':
        lua_pushboolean(L, s.r == nullptr);
        break;
      default:
        lua_pushinteger(L, s.i);
        break;
    }
  }
  return lua_gettop(L);
}

struct ParseCase {
  const char* call;    // Lua expression; its results are joined with ","
  const char* result;  // expected joined results, or null when it raises
  const char* report;  // expected report (after the position prefix), or null
  const char* raised;  // part of the raised error, or null
};

const ParseCase kCases[] = {
    // Matches, one per letter.
    {"parse('B', false)", "1,false", nullptr, nullptr},
    {"parse('C', color(0.5, 0, 0, 1))", "1,0.5", nullptr, nullptr},
    {"parse('F', nil)", "1,0", nullptr, nullptr},
    {"parse('I', 2.5)", "1,2", nullptr, nullptr},
    {"parse('I', 3.5)", "1,4", nullptr, nullptr},
    {"parse('I', -2.5)", "1,-2", nullptr, nullptr},
    {"parse('I', '7')", "1,7", nullptr, nullptr},
    {"parse('M', m33())", "1,1", nullptr, nullptr},
    {"parse('N', '1.25')", "1,1.25", nullptr, nullptr},
    {"parse('R', nil)", "1,true", nullptr, nullptr},
    {"parse('S', 12)", "1,12", nullptr, nullptr},
    {"parse('V', v3(3, 0, 0))", "1,3", nullptr, nullptr},
    {"parse('W', v2(4, 0))", "1,4", nullptr, nullptr},
    // Optional letters keep their defaults.
    {"parse('V|I', v3())", "1,0,-99", nullptr, nullptr},
    {"parse('V|I', v3(), 2.5)", "2,0,2", nullptr, nullptr},
    {"parse('|I')", "0,-99", nullptr, nullptr},
    {"parse('')", "0", nullptr, nullptr},
    {"parse('IF', 1, nil)", "2,1,0", nullptr, nullptr},
    // Reported mismatches: the content stops, no Lua error.
    {"parse('B', 0)", "0,false", "Invalid type (number) for argument #1, <B> type argument(s) expected", nullptr},
    {"parse('I', 'x')", "0,-99", "Invalid type (string) for argument #1, <I> type argument(s) expected", nullptr},
    {"parse('F', 1)", "0,-99", "Invalid type (number) for argument #1, <F> type argument(s) expected", nullptr},
    {"parse('S', {})", "0,nil", "Invalid type (table) for argument #1, <S> type argument(s) expected", nullptr},
    {"parse('NN', 1, true)", "0,1,-99", "Invalid type (boolean) for argument #2, <NN> type argument(s) expected",
     nullptr},
    {"parse('N|NN', 1, 'x', 2)", "0,1,-99,-99", "Too much arguments, <N|NN> argument(s) expected", nullptr},
    {"parse('V')", "0,nil", "Not enough arguments, <V> argument(s) expected", nullptr},
    {"parse('II', 1)", "0,1,-99", "Not enough arguments, <II> argument(s) expected", nullptr},
    {"parse('', 1)", "0", "Too much arguments, <> argument(s) expected", nullptr},
    // Raised: wrong value types and a wrong rigid body, in the optional part too.
    {"parse('V', v2())", nullptr, nullptr, "bad argument #1 to 'parse' (v3 expected, got userdata)"},
    {"parse('C', 1)", nullptr, nullptr, "bad argument #1 to 'parse' (color expected, got number)"},
    {"parse('N|M', 1, v3())", nullptr, nullptr, "bad argument #2 to 'parse' (m33 expected, got userdata)"},
    {"parse('I|W', 1, nil)", nullptr, nullptr, "bad argument #2 to 'parse' (v2 expected, got nil)"},
    {"parse('R', 5)", nullptr, nullptr, "bad argument #1 to 'parse' (newRigidBody)"},
    {"parse('R', newScene())", nullptr, nullptr, "bad argument #1 to 'parse' (newRigidBody)"},
};

TEST(ArgumentParser, EachLetterMatchesReportsOrRaises) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.call);
    Player p({});
    lua_register(p.L, "parse", parse);
    std::string chunk = std::string("local r = table.pack(") + c.call +
                        ")\nlocal t = {}\nfor i = 1, r.n do t[i] = tostring(r[i]) end\n"
                        "result = table.concat(t, ',')";
    std::string error = p.run(chunk);
    if (c.raised) {
      EXPECT_NE(error.find(c.raised), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(p.global("result"), c.result);
    if (c.report) {
      ASSERT_EQ(p.controller->failures.size(), 1u);
      // The position prefix names the chunk and line 1.
      const std::string& failure = p.controller->failures[0];
      size_t at = failure.find("\"]:1: ");
      ASSERT_NE(at, std::string::npos) << failure;
      EXPECT_EQ(failure.substr(at + 6), c.report);
      EXPECT_TRUE(p.controller->load.stopped);
    } else {
      EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];
    }
  }
}

TEST(ArgumentParser, FunctionReferencesAreRegistryReferences) {
  Player p({});
  lua_register(p.L, "parse", parse);
  ASSERT_EQ(p.run("local n, ref = parse('F', function() return 42 end); r = ref"), "");
  lua_getglobal(p.L, "r");
  int ref = static_cast<int>(lua_tointeger(p.L, -1));
  lua_pop(p.L, 1);
  ASSERT_GT(ref, 0);
  lua_rawgeti(p.L, LUA_REGISTRYINDEX, ref);
  lua_call(p.L, 0, 1);
  EXPECT_EQ(lua_tointeger(p.L, -1), 42);
}

TEST(ErrorReport, PrefixesTheScriptPositionWhenThereIsOne) {
  Player p({{"init.lua", "function startup()\n\n  local m = m33(v3(), v3())\nend\n"}});
  p.engine->start();
  ASSERT_FALSE(p.controller->failures.empty());
  EXPECT_EQ(p.controller->failures[0], "init.lua:3: Bad arguments count for m33 creation");

  // Called from native code with no Lua function below it: no prefix.
  Player q({});
  lua_pushcfunction(q.L, [](lua_State* L) {
    LMP_reportError(L, "plain %d", 7);
    return 0;
  });
  ASSERT_EQ(lua_pcall(q.L, 0, 0, 0), LUA_OK);
  ASSERT_EQ(q.controller->failures.size(), 1u);
  EXPECT_EQ(q.controller->failures[0], "plain 7");
}

TEST(ErrorReport, LongMessagesAreCutNotOverrun) {
  Player p({});
  std::string longText(5000, 'x');
  lua_pushcfunction(p.L, [](lua_State* L) {
    LMP_reportError(L, "%s", lua_tostring(L, 1));
    return 0;
  });
  lua_pushstring(p.L, longText.c_str());
  ASSERT_EQ(lua_pcall(p.L, 1, 0, 0), LUA_OK);
  ASSERT_EQ(p.controller->failures.size(), 1u);
  EXPECT_EQ(p.controller->failures[0], std::string(1023, 'x'));
}

}  // namespace

namespace {

// Usage errors of the value types are reported, not raised, and change nothing.
TEST(ValueTypeReports, StopTheContentAndChangeNothing) {
  const scripttest::UsageCase cases[] = {
      {"local m = m33(v3(), v3())", "Bad arguments count for m33 creation"},
      {"local m = m33(); assert(m:orthonormalize(0) == nil and m == m33())", "Invalid axis ID"},
      {"local m = m33(); m:rotateAxis(4, 90); assert(m == m33())", "Invalid axis ID"},
      {"assert(color() * color() == nil)", "Bad parameters for v4 multiplication"},
      {"local c = color(); c:setRGB(); assert(c == color())", "Not enough arguments, <V> argument(s) expected"},
      {"local c = color(); c:setRGB(v3(1, 1, 1), v3()); assert(c == color())",
       "Too much arguments, <V> argument(s) expected"},
  };
  scripttest::expectUsageReports(cases);
}

}  // namespace

// A reference the F letter took is given back when a later letter
// fails, reported or raised: nothing else would ever free it.
TEST(ArgumentParser, FunctionReferencesOfAFailedParseAreReleased) {
  Player p({});
  lua_register(p.L, "parse", parse);
  ASSERT_EQ(p.run(R"(
    local function entries() local n = 0 for _ in pairs(debug.getregistry()) do n = n + 1 end return n end
    local f = function() end
    local function failures()
      local got, ref = parse('F', f, 'extra')
      assert(got == 0 and ref == 0, 'reported: ' .. tostring(got) .. ' ' .. tostring(ref))
      parse('FI', f, 'not a number')
      assert(pcall(parse, 'FV', f, 1) == false)
      assert(pcall(parse, 'FR', f, 1) == false)
    end
    failures()  -- the first report may make lasting entries of its own
    local before = entries()
    for i = 1, 50 do failures() end
    grown = entries() - before
  )"),
            "");
  EXPECT_EQ(p.global("grown"), "0");
}
