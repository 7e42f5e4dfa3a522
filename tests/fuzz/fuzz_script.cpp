// Scripts as hostile as bytes can make them: the input picks scene API calls
// and their arguments (nil, NaN, infinities, huge numbers, strings, tables,
// value types, live and deleted objects), run in the real engine without a
// window, with frames stepped in between.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <lua.hpp>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "support/test_package.h"

namespace {

const char* const kValues[] = {
    "nil",
    "0/0",
    "math.huge",
    "-math.huge",
    "1e308",
    "-1",
    "0",
    "1",
    "2^53",
    "2^31",
    "-2^31",
    "0.5",
    "''",
    "'x'",
    "string.rep('a', 300)",
    "{}",
    "{1, 2, 3}",
    "true",
    "v3(1, 2, 3)",
    "v3(0/0, 1, 2)",
    "m33()",
    "s",
    "o[1]",
    "o[2]",
    "o[3]",
    "o[4]",
    "dead",
    "newScene()",
    "AXIS_X",
    "CB_MECHA",
    "CB_PRE_COLLISION",
    "SHAPE_BOX",
    "SHAPE_SPHERE",
    "function() o[1]:delete() return true end",
};
constexpr size_t kValueCount = sizeof kValues / sizeof *kValues;

// Each %s takes the next value.
const char* const kCalls[] = {
    "o[#o + 1] = newObject(%s)",
    "o[#o + 1] = newRigidBody(%s)",
    "o[#o + 1] = newCollisionVolume(%s, %s)",
    "o[#o + 1] = newObject(%s, %s)",
    "o[#o + 1] = newLamp(%s)",
    "o[#o + 1] = newCamera(%s)",
    "%s:delete()",
    "%s:setPosition(%s)",
    "%s:setPosition(%s, %s, %s)",
    "%s:getPosition()",
    "%s:rotateAxis(%s, %s)",
    "%s:setUserData(%s)",
    "%s:getUserData()",
    "%s:setCallback(%s, %s)",
    "%s:getChild(%s)",
    "%s:getChildrenCount()",
    "%s:getParent()",
    "%s:setParent(%s)",
    "%s:setMass(%s)",
    "%s:setVelocity(%s)",
    "%s:setElasticity(%s)",
    "%s:setFriction(%s)",
    "%s:setShape(%s)",
    "%s:setSize(%s)",
    "%s:setIntegrationStep(%s)",
    "%s:setGravity(%s)",
    "%s:setBounds(%s, %s, %s, %s, %s, %s)",
    "%s:clear()",
    "%s:setActive(%s)",
    "dead = %s",
    "setCallback(%s, %s)",
    "step",
};
constexpr size_t kCallCount = sizeof kCalls / sizeof *kCalls;

const std::vector<uint8_t>& packageBytes() {
  static const std::vector<uint8_t> bytes = testpkg::makePackage({{"config.xml", testpkg::kConfigXml}});
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  LMP_Engine* engine = new LMP_Engine;
  lua_State* L = engine->L;
  testpkg::RecordingController controller{std::unique_ptr<CTRL_ScriptEngine>(engine)};
  if (!L || !controller.openPackage(testpkg::toBuffer(packageBytes()))) return 0;
  luaL_dostring(L,
                "s = newScene() o = {newObject(s), newRigidBody(s)} o[3] = newCollisionVolume(o[2]) "
                "dead = newObject(s) dead:delete()");
  size_t at = 0;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size && !controller.load.stopped) {
    const char* call = kCalls[next() % kCallCount];
    if (std::string(call) == "step") {
      controller.clock.timerRunning = true;
      controller.clock.lastCounterTime = 0;
      controller.update();
      continue;
    }
    std::string chunk = "pcall(function() ";
    for (const char* p = call; *p; ++p) {
      if (p[0] == '%' && p[1] == 's') {
        chunk += kValues[next() % kValueCount];
        ++p;
      } else {
        chunk += *p;
      }
    }
    chunk += " end)";
    if (luaL_dostring(L, chunk.c_str()) != LUA_OK) lua_pop(L, 1);
  }
  return 0;
}
