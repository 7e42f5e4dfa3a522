// Memory exhaustion reached from a script: C++ allocations are refused after
// a limit, and every bound constructor and method fails as Lua does when it
// runs out ("not enough memory") instead of throwing through Lua's C frames.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "constructor_cases.h"
#include "model/scene.h"
#include "script_harness.h"

namespace {

// Allocations still allowed; negative: no limit.
std::atomic<long> allowed{-1};

void* allocate(std::size_t size) {
  for (long left = allowed.load(); left >= 0; left = allowed.load()) {
    if (left == 0) throw std::bad_alloc();
    if (allowed.compare_exchange_weak(left, left - 1)) break;
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

// refuseAfter(n): the next n C++ allocations succeed, then every one fails;
// refuseAfter(-1) lifts the limit.
int refuseAfter(lua_State* L) {
  allowed = static_cast<long>(luaL_checkinteger(L, 1));
  return 0;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ScriptOutOfMemory, ConstructorsAndMethodsFailAsLuaDoes) {
  const char* calls[] = {
      "newScene()",
      "newObject(s)",
      "newRigidBody(s)",
      "newCollisionVolume(s)",
      "newCollisionVolume(b)",
      "newObject(s, o)",
      "newRigidBody(s, b)",
      "newLamp(s)",
      "newCamera(s)",
      "o:setPosition(v3(1, 2, 3))",
      "newObject(o):delete()",
  };
  scripttest::Player p({});
  lua_register(p.L, "refuseAfter", refuseAfter);
  ASSERT_EQ(p.run("s = newScene() o = newObject(s) newObject(o) b = newRigidBody(s) newCollisionVolume(b)"), "");
  for (const char* call : calls) {
    // These constructors cannot do without an allocation (every constructor
    // is held to the same below).
    const std::string c = call;
    if (c.compare(0, 8, "newScene") == 0 || c.compare(0, 9, "newObject") == 0 ||
        c.compare(0, 12, "newRigidBody") == 0 || c.compare(0, 18, "newCollisionVolume") == 0) {
      ASSERT_EQ(p.run(std::string("refuseAfter(0) local ok, e = pcall(function() return ") + call +
                      " end) "
                      "refuseAfter(-1) assert(not ok and e == 'not enough memory', tostring(e))"),
                "")
          << call;
    }
    // Every allocation in turn is the one refused, until the call needs no more.
    for (int limit = 0; limit < 40; ++limit) {
      SCOPED_TRACE(std::string(call) + " after " + std::to_string(limit));
      ASSERT_EQ(p.run("refuseAfter(" + std::to_string(limit) +
                      ") "
                      "local ok, e = pcall(function() return " +
                      call +
                      " end) "
                      "refuseAfter(-1) "
                      "assert(ok or e == 'not enough memory', tostring(e))"),
                "");
    }
  }
  allowed = -1;
}

// Each allocation a constructor makes refused in turn: the call raises Lua's
// memory error until it needs no more, and then answers its proxy with its
// model. Never nil, a proxy left without its model, or a report.
void expectRaisedUntilAnswered(const scripttest::ConstructorCase& c) {
  scripttest::ConstructorPlayer k;
  ASSERT_EQ(k.setup, "");
  lua_register(k.p.L, "refuseAfter", refuseAfter);
  bool answered = false;
  for (int limit = 0; limit < 200 && !answered; ++limit) {
    // Past the allocations before a controller's loader, nothing is refused.
    const bool unrefused = c.refusals >= 0 && limit == c.refusals;
    SCOPED_TRACE(std::string(c.call) + (unrefused ? " unrefused" : " after " + std::to_string(limit)));
    ASSERT_EQ(k.p.run("r = nil refuseAfter(" + std::to_string(unrefused ? -1 : limit) +
                      ") local ok, e = pcall(function() r = " + c.call +
                      " end) refuseAfter(-1) "
                      "assert(ok or e == 'not enough memory', tostring(e)) "
                      "assert(ok == (r ~= nil)) "
                      "answered = ok"),
              "");
    lua_getglobal(k.p.L, "answered");
    answered = lua_toboolean(k.p.L, -1) != 0;
    lua_pop(k.p.L, 1);
    // Every constructor allocates at least its proxy.
    const bool mustRaise = limit == 0 || (c.refusals >= 0 && limit < c.refusals);
    EXPECT_FALSE(mustRaise && answered);
    EXPECT_FALSE(unrefused && !answered);
  }
  SCOPED_TRACE(c.call);
  ASSERT_TRUE(answered);
  ASSERT_EQ(k.p.run(std::string("assert(isA(r, '") + c.luaName + "'))"), "");
  EXPECT_EQ(k.p.model("r") != nullptr, c.makesModel);
  const std::string refused = "Unsupported usage of a Lua constructor LMP_Bone";
  for (const std::string& f : k.p.controller->failures)
    EXPECT_TRUE(std::string(c.luaName) == "newBone" && f.find(refused) != std::string::npos) << f;
}

TEST(ScriptOutOfMemory, EveryConstructorRaisesUntilItHasWhatItNeeds) {
  for (const scripttest::ConstructorCase& c : scripttest::kConstructorCases) expectRaisedUntilAnswered(c);
  allowed = -1;
}

}  // namespace

// A spring whose record cannot be had is never listed: the scene's steps
// after the refusal meet only whole springs.
TEST(ScriptOutOfMemory, ARefusedSpringLeavesNothingBehindForTheSteps) {
  scripttest::Player p({});
  lua_register(p.L, "refuseAfter", refuseAfter);
  ASSERT_EQ(p.run("s = newScene() a = newRigidBody(s) b = newRigidBody(s)"), "");
  for (int limit = 0; limit < 6; ++limit) {
    SCOPED_TRACE(limit);
    ASSERT_EQ(p.run("refuseAfter(" + std::to_string(limit) +
                    ") pcall(function() return newSpring(a, v3(), b, v3()) end) refuseAfter(-1)"),
              "");
  }
  allowed = -1;
  Scene* scene = p.model<Scene>("s");
  ASSERT_TRUE(scene);
  for (Spring* spring : scene->springs) EXPECT_NE(spring, nullptr);
  for (int i = 0; i < 3; ++i) scene->step(nullptr, 0.01);
}
