// The script globals: constants, key tests, callbacks and the controller's
// values as scripts read and write them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "controller/ctrl_generic.h"
#include "controller/event.h"
#include "controller/perf_counter.h"
#include "script/lua_case.h"
#include "script_harness.h"
#include "support/test_package.h"
#include "view/view_generic.h"

using scripttest::Player;

namespace {

// Runs one frame of the player `seconds` after the last one.
void runFrame(CTRL_Generic& c, double seconds) {
  double now = 0;
  ASSERT_TRUE(CTRL_readCounter(&now));
  c.clock.lastCounterTime = now - seconds / CTRL_secondsPerCount();
  c.clock.timerRunning = true;
  c.frame(nullptr, nullptr);
}

void key(CTRL_Generic& c, int type, int code) {
  Event e;
  e.type = type;
  e.code = code;
  c.dispatchEvent(e);
}

const LuaCase kConstantCases[] = {
    {"key codes", R"(
      assert(KEY_LBUTTON == 1 and KEY_BACK == 8 and KEY_RETURN == 13 and KEY_ESCAPE == 27 and KEY_SPACE == 32)
      assert(KEY_EXECUTELM == 43 and KEY_0 == 48 and KEY_9 == 57 and KEY_A == 65 and KEY_Z == 90)
      assert(KEY_NUMPAD0 == 96 and KEY_F1 == 112 and KEY_F24 == 135 and KEY_LSHIFT == 160 and KEY_OEM_CLEAR == 254)
      assert(KEY_HANJA == 25 and KEY_KANJI == 25 and KEY_OEM_NEC_EQUAL == 146 and KEY_OEM_FJ_JISHO == 146)
      assert(KEY_EXECUTE == nil))",
     nullptr},
    {"families", R"(
      assert(CB_UPDATE == 1 and CB_PRE_COLLISION == 9 and CB_ASPECT_RATIO_CHANGED == 11 and CB_MAX == 11)
      assert(ENV_WINDOWS == 1 and ENV_WEB == 6 and EVENT_KEY_DOWN == 1 and EVENT_CLOSE == 8)
      assert(REF_SELF == 1 and REF_GLOBAL == 3 and SCOPE_RECURSE == 2 and AXIS_Z == 3)
      assert(STATE_VISIBLE == 4 and STATE_ALL == 31 and INTERPOL_ENDSIN == 3 and FILTER_MIPMAP == 3)
      assert(DISPLAY_MODE_SPRITE == 1 and NAVIGATION_GLASSBALL == 3 and JOINT_POINT_ON_PLANE == 4)
      assert(SHADOW_ZPASS == SHADOW_2D and SHADOW_ZFAIL == SHADOW_3D and SHADOW_3D == 1))",
     nullptr},
    {"object codes", R"(
      assert(OBJECT_NONE == 0 and OBJECT_TEXT == 8 and OBJECT_IMAGE == 10 and OBJECT_LOCATOR == 14)
      for k, v in pairs(_G) do assert(not (k:match('^OBJECT_') and v == 9), k) end)",
     nullptr},
    {"finite infinities", R"(
      assert(INFINITE_PLUS == 1.7976931348623157e308 and INFINITE_PLUS < math.huge)
      assert(INFINITE_MINUS == -INFINITE_PLUS))",
     nullptr},
    {"every constant is a number, 257 of them besides the object codes", R"(
      local n = 0
      for k, v in pairs(_G) do
        if type(k) == 'string' and k:match('^[A-Z][A-Z0-9]*_[A-Z0-9_]+$') and not k:match('^OBJECT_')
           and not k:match('^INFINITE_') and not k:match('^LUA_') and k ~= '_VERSION' then
          assert(type(v) == 'number', k); n = n + 1
        end
      end
      assert(n == 257, n))",
     nullptr},
};

TEST(Globals, Constants) {
  Player p({});
  for (const LuaCase& c : kConstantCases) expectCase(p.L, c);
}

// Through real frames: the update callback runs once per frame with dt, and
// a key that goes down is "just pressed" in exactly one frame.
TEST(Globals, KeyTestsCompareThisFrameWithTheLast) {
  Player p({{"init.lua", R"(
    log = {}
    function startup()
      setCallback(CB_UPDATE, function(dt)
        log[#log + 1] = string.format('%.2f:%s%s%s', dt, tostring(isKeyPressed(KEY_A)),
          tostring(isKeyJustPressed(KEY_A)), tostring(isKeyJustReleased(KEY_A)))
      end)
    end
  )"}});
  testpkg::RecordingController& c = *p.controller;
  c.frame(nullptr, nullptr);  // starts the scripts
  ASSERT_EQ(c.load.state, 3);
  runFrame(c, 0.05);
  key(c, EVENT_KEY_DOWN, 'A');
  runFrame(c, 0.05);
  runFrame(c, 0.05);
  runFrame(c, 0.05);
  key(c, EVENT_KEY_UP, 'A');
  runFrame(c, 0.05);
  runFrame(c, 0.05);
  ASSERT_EQ(p.run("result = table.concat(log, ' ')"), "");
  EXPECT_EQ(p.global("result"),
            "0.05:falsefalsefalse 0.05:truetruefalse 0.05:truefalsefalse 0.05:truefalsefalse "
            "0.05:falsefalsetrue 0.05:falsefalsefalse");
  // Codes outside the arrays are never down.
  ASSERT_EQ(
      p.run("assert(isKeyPressed(-1) == false and isKeyPressed(256) == false and isKeyJustReleased(1e9) == false)"),
      "");
  EXPECT_TRUE(c.failures.empty());
}

TEST(Globals, SetCallbackSwitchesTheEngineSlots) {
  Player p({});
  ASSERT_EQ(p.run("n = 0\nsetCallback(CB_UPDATE, function(dt) n = n + dt end)"), "");
  p.engine->onUpdate(0.5);
  p.engine->onUpdate(0.25);
  EXPECT_EQ(p.global("n"), "0.75");
  ASSERT_EQ(p.run("setCallback(CB_UPDATE, nil); setCallback(99, function() end); setCallback(0, print)"), "");
  p.engine->onUpdate(1);
  EXPECT_EQ(p.global("n"), "0.75");
  EXPECT_EQ(p.engine->callbackRef(CB_UPDATE), 0);
  EXPECT_TRUE(p.controller->failures.empty());
}

// Replaced references go back to the registry exactly once: two values kept
// afterwards must not end up sharing one reference.
TEST(Globals, ReplacedCallbacksFreeTheirReferenceOnce) {
  Player p({});
  ASSERT_EQ(p.run(R"(
    local s = newScene()
    for i = 1, 3 do
      setCallback(CB_UPDATE, function() end)
      s:setCallback(CB_MECHA, function() end)
    end
    setCallback(CB_UPDATE, function() hit = true end)
    objects = {}
    for i = 1, 20 do objects[i] = newObject(s); objects[i]:setUserData(i) end
    for i = 1, 20 do assert(objects[i]:getUserData() == i, i) end
  )"),
            "");
  p.engine->onUpdate(0.1);
  EXPECT_EQ(p.global("hit"), "true");
}

TEST(Globals, ControllerValues) {
  Player p({});
  testpkg::RecordingController& c = *p.controller;
  c.clientWidth = 800;
  c.clientHeight = 600;
  c.mouse.viewportMouse[0] = 1;
  c.mouse.viewportMouse[1] = 2;
  c.mouse.viewportMouse[2] = 3;
  ASSERT_EQ(p.run(R"(
    assert(getResolution() == v2(800, 600) and getViewAspectRatio() == 0.75)
    assert(getAspectRatio() == 0.75); setAspectRatio(0.5); assert(getAspectRatio() == 0.5)
    assert(getAcceleration() == v3(0, 0, -1) and getHiDPI() == false and getPlatform() == ENV_WINDOWS)
    assert(getViewportMouse() == v3(1, 2, 3) and getSceneMouse() == v3())
    assert(select('#', getHooveredObject()) == 0 and select('#', getPickedObject()) == 0)
    assert(getLanguage() == '')
    setBackgroundColor(color(0.1, 0.2, 0.3, 0.4)); setPickPosition(v3(4, 5, 6))
    trace('anything', {}); tracePoint(v3())
    assert(registerDevice(1, 2, 0) == 0 and sendToDevice(1, 'ab') == 0)
    resetTextureCache(); resetGlyphTextureCache(); setDefaultTextureFilter(FILTER_LINEAR); resetRenderingOpti()
  )"),
            "");
  EXPECT_EQ(c.contentAspect, 0.5);
  EXPECT_EQ(c.backgroundColor[3], 0.4);
  EXPECT_EQ(c.mouse.pickPosition.z, 6);
  // With a current viewport the scene mouse is the viewport mouse carried
  // through its camera: a quarter-turn view from 1 to 101 at the origin.
  c.mouse.viewportMouse[0] = 0;
  c.mouse.viewportMouse[1] = 0;
  c.mouse.viewportMouse[2] = 0.5;
  ASSERT_EQ(p.run(R"(
    local v = newViewport(0, 0, 1, 0.75); assert(getSceneMouse() == v3())
    local cam = newCamera(newScene()); cam:setFOV(90); cam:setFarZ(101); v:setCamera(cam)
    local m = getSceneMouse()
    assert(math.abs(m:x() + 51) < 1e-9 and math.abs(m:y() - 38.25) < 1e-9 and m:z() == -51)
  )"),
            "");
  EXPECT_TRUE(c.failures.empty());
  EXPECT_NE(p.run("tracePoint(1)").find("v3 expected, got number"), std::string::npos);
}

// The renderer globals reach the controller's renderer.
class CountingView : public VIEW_Generic {
 public:
  void setDefaultTextureFilter(int32_t filter) override { log += "filter" + std::to_string(filter) + " "; }
  void resetTextureCache() override { log += "textures "; }
  void resetGlyphTextureCache() override { log += "glyphs "; }
  void releaseBuffers() override { log += "buffers "; }
  std::string log;
};

TEST(Globals, RendererFunctions) {
  Player p({});
  auto* view = new CountingView;
  p.controller->setRenderer(std::unique_ptr<VIEW_Generic>(view));
  ASSERT_EQ(p.run("resetTextureCache(); resetGlyphTextureCache(); setDefaultTextureFilter(FILTER_MIPMAP)\n"
                  "resetRenderingOpti(); setDefaultTextureFilter('x')"),
            "");
  EXPECT_EQ(view->log, "textures glyphs filter3 buffers ");
  ASSERT_EQ(p.controller->failures.size(), 1u);  // the refused filter
}

// A controller that keeps what reaches its device and URL operations.
class DeviceController : public testpkg::RecordingController {
 public:
  using RecordingController::RecordingController;
  int32_t sendToDevice(int32_t device, const uint8_t* bytes, int32_t length) override {
    sent.assign(reinterpret_cast<const char*>(bytes), length);
    lastDevice = device;
    return length;
  }
  void openURL(const char* text) override { url = text; }
  std::string sent, url;
  int32_t lastDevice = 0;
};

TEST(Globals, DeviceBytesKeepEmbeddedZeros) {
  LMP_Engine* engine = new LMP_Engine;
  DeviceController c{std::unique_ptr<CTRL_ScriptEngine>(engine)};
  ASSERT_EQ(luaL_dostring(engine->L, "n = sendToDevice(7, '\\0x'); openURL('http://example.org/')"), LUA_OK);
  EXPECT_EQ(c.sent, std::string("\0x", 2));
  EXPECT_EQ(c.lastDevice, 7);
  EXPECT_EQ(c.url, "http://example.org/");
  lua_getglobal(engine->L, "n");
  EXPECT_EQ(lua_tonumber(engine->L, -1), 2);
}

}  // namespace
