// The v2, v3, m33 and color value types on a bare Lua state.
#include <lua.hpp>

#include "script/lmp_values.h"
#include "script/lua_case.h"

namespace {

class ValueTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    L = luaL_newstate();
    luaL_openlibs(L);
    LMP_registerValueTypes(L);
    bool ok = false;
    std::string msg = runLua(L, R"(
      function near(a, b) return math.abs(a - b) < 1e-12 end
      function vnear(v, x, y, z) return near(v:x(), x) and near(v:y(), y) and near(v:z(), z) end
    )",
                             &ok);
    ASSERT_TRUE(ok) << msg;
  }
  void TearDown() override { lua_close(L); }
  lua_State* L = nullptr;
};

const LuaCase kVectorCases[] = {
    {"v3 default is zero", "assert(tostring(v3()) == 'v3(0,0,0)')", nullptr},
    {"v3 from numeric strings", "local v = v3('2', '3', '4'); assert(v:x() == 2 and v:y() == 3 and v:z() == 4)",
     nullptr},
    {"v3 copy is independent", "local p = v3(1,2,3); local q = v3(p); q:setX(9); assert(p:x() == 1 and q:x() == 9)",
     nullptr},
    {"v3 missing y raises for argument 2", "v3(1)", "bad argument #2 to 'v3' (number expected, got no value)"},
    {"v3 of a table raises", "v3({})", "v3 expected, got table"},
    {"text forms use %.14g", R"(
      assert(tostring(v3(1, 0.5, -2)) == 'v3(1,0.5,-2)')
      assert(tostring(v2(0.25, 3)) == 'v2(0.25,3)')
      assert(tostring(v3(1/3, 0, 0)) == 'v3(0.33333333333333,0,0)'))",
     nullptr},
    {"add sub unm", R"(
      local a, b = v3(1,2,3), v3(10,20,30)
      assert(a + b == v3(11,22,33)); assert(b - a == v3(9,18,27)); assert(-a == v3(-1,-2,-3))
      assert(v2(1,2) + v2(3,4) == v2(4,6)))",
     nullptr},
    {"scalar products on both sides", R"(
      local a = v3(1,2,3)
      assert(2 * a == a * 2 and a * 2 == v3(2,4,6)); assert('2' * a == v3(2,4,6))
      assert(v2(1,2) * 3 == v2(3,6)))",
     nullptr},
    {"v3 times v3 is the cross product", "assert(v3(1,0,0) * v3(0,1,0) == v3(0,0,1))", nullptr},
    {"v2 times v2 is a number", "local n = v2(1,0) * v2(0,1); assert(type(n) == 'number' and n == 1)", nullptr},
    {"division by zero gives IEEE results", R"(
      local v = v3(1, 0, -1) / 0
      assert(v:x() == math.huge and v:y() ~= v:y() and v:z() == -math.huge))",
     nullptr},
    {"division by a non-number yields nil", "assert(v3(1,2,3) / 'abc' == nil)", nullptr},
    {"equality", R"(
      assert(v3(1,2,3) == v3(1,2,3)); assert(v3(1,2,3) ~= v3(1,2,4))
      assert(v3(0,0,0) ~= v2(0,0)); local n = v3(0/0, 0, 0); assert(n ~= v3(n)))",
     nullptr},
    {"wrong operand names argument 2 first", "local x = v3() + v2()",
     "bad argument #2 to '__add' (v3 expected, got userdata)"},
    {"set is lenient", R"(
      local v = v3(1,2,3); v:set(); assert(v == v3())
      v:set(1, 'x', '5'); assert(v == v3(1, 0, 5)); v:setX('abc'); assert(v:x() == 0))",
     nullptr},
    {"setters, getters and xy", R"(
      local v = v3(); v:setY(7); v:setZ(8); assert(v:y() == 7 and v:z() == 8)
      local w = v3(1,2,3):xy(); assert(getmetatable(w) == getmetatable(v2()) and w == v2(1,2)))",
     nullptr},
    {"dot norm gap", R"(
      assert(v3(1,2,3):dot(v3(4,5,6)) == 32); assert(v3(3,0,4):norm() == 5)
      assert(v3(1,1,1):gap(v3(4,5,1)) == 5); assert(v2(3,4):norm() == 5))",
     nullptr},
    {"normalize", R"(
      local z = v3(); assert(z:normalize() == false and z == v3())
      local v = v3(3,0,4); assert(v:normalize() == true and vnear(v, 0.6, 0, 0.8)))",
     nullptr},
    {"reset", "local v = v2(1,2); v:reset(); assert(v == v2())", nullptr},
    {"rotate in degrees about any axis", R"(
      local v = v3(1,0,0); v:rotate(v3(0,0,5), 90); assert(vnear(v, 0, 1, 0))
      local w = v3(1,2,3); w:rotate(v3(), 90); assert(w == v3(1,2,3)))",
     nullptr},
    {"spherical conversions", R"(
      local v = v3(2, 90, 0); v:sphericalToCartesian(); assert(vnear(v, 2, 0, 0))
      local c = v3(0, 0, 2); c:cartesianToSpherical(); assert(c == v3(2, 0, 0))
      local r = v3(0, 1, 0); r:cartesianToSpherical(); assert(vnear(r, 1, math.pi/2, math.pi/2))
      local z = v3(); z:cartesianToSpherical(); assert(z:x() == 0 and z:y() ~= z:y() and z:z() == 0))",
     nullptr},
    {"fields are methods, assignment raises", "local v = v3(); assert(type(v.x) == 'function'); v.x = 1",
     "attempt to index"},
    {"bad self", "v3().x(v2())", "bad argument #1 to 'x' (v3 expected, got userdata)"},
    {"v2 has no z", "assert(v2().z == nil and v2().rotate == nil)", nullptr},
};

TEST_F(ValueTypes, Vectors) {
  for (const LuaCase& c : kVectorCases) expectCase(L, c);
}

const LuaCase kMatrixCases[] = {
    {"identity and text form", "assert(tostring(m33()) == 'm33(v3(1,0,0),v3(0,1,0),v3(0,0,1))')", nullptr},
    {"columns, scale and set", R"(
      local m = m33(v3(1,0,0), v3(0,2,0), v3(0,0,3))
      assert(m:getScale() == v3(1,2,3)); assert(m:getColumn(2) == v3(0,2,0))
      m:set(1, 1, 5); assert(m:getColumn(2) == v3(0,5,0)))",
     nullptr},
    {"out-of-range access does nothing", R"(
      local m = m33(); m:set(3, 0, 9); m:set(0, 3, 9); m:set(-1, 0, 9); assert(m == m33())
      assert(m:getColumn(0) == nil and m:getColumn(4) == nil)
      m:setColumn(4, v3(9,9,9)); assert(m == m33()))",
     nullptr},
    {"copy is independent", "local a = m33(); local b = m33(a); b:set(0,0,7); assert(a:getColumn(1) == v3(1,0,0))",
     nullptr},
    {"m33 from a v2 column raises", "m33(v3(), v2(), v3())", "bad argument #2 to 'm33' (v3 expected, got userdata)"},
    {"product: columns are q times the columns of p", R"(
      local p = m33(v3(1,2,0), v3(0,1,0), v3(0,0,1))
      local q = m33(v3(0,1,0), v3(-1,0,0), v3(0,0,1))
      local r = p * q
      for i = 1, 3 do
        local c = p:getColumn(i)
        local expect = q:getColumn(1) * c:x() + q:getColumn(2) * c:y() + q:getColumn(3) * c:z()
        assert(r:getColumn(i) == expect)
      end
      local m = m33(v3(1,2,3), v3(4,5,6), v3(7,8,9))
      assert(2 * m == m * 2 and (m * 2):getColumn(3) == v3(14,16,18)))",
     nullptr},
    {"matrix times vector raises", "local x = m33() * v3()", "m33 expected, got userdata"},
    {"sum", "assert((m33() + m33()):getScale() == v3(2,2,2))", nullptr},
    {"orthonormalize keeps the chosen axis", R"(
      local m = m33(v3(1,1,0), v3(0,2,0), v3(0,0,3))
      assert(m:orthonormalize() == true); assert(vnear(m:getColumn(2), 0, 1, 0)); assert(vnear(m:getColumn(1), 1, 0, 0))
      local k = m33(v3(2,0,0), v3(1,1,0), v3(0,1,1)); assert(k:orthonormalize(AXIS_Z or 3))
      local z = k:getColumn(3); assert(vnear(z, 0, math.sqrt(0.5), math.sqrt(0.5)))
      local zero = m33(v3(1,0,0), v3(), v3(0,0,1)); assert(zero:orthonormalize() == false))",
     nullptr},
    {"rotateAxis and rotate in degrees", R"(
      local m = m33(); m:rotateAxis(3, 90)
      assert(vnear(m:getColumn(1), 0, 1, 0) and vnear(m:getColumn(2), -1, 0, 0))
      local r = m33(); r:rotate(v3(0,0,1), 90); assert(vnear(r:getColumn(1), 0, 1, 0)))",
     nullptr},
    {"setScale and scale", R"(
      local m = m33(v3(2,0,0), v3(0,3,0), v3(0,0,0)); m:setScale(v3(5,6,7))
      assert(m:getScale() == v3(5,6,0))
      local s = m33(); s:scale(v3(1,2,3)); assert(s:getColumn(2) == v3(0,2,0)); s:reset(); assert(s == m33()))",
     nullptr},
    {"elements compared", "assert(m33() == m33() and m33() ~= m33() * 2)", nullptr},
};

TEST_F(ValueTypes, Matrices) {
  for (const LuaCase& c : kMatrixCases) expectCase(L, c);
}

const LuaCase kColorCases[] = {
    {"default is opaque black", "assert(tostring(color()) == 'color(0,0,0,1)')", nullptr},
    {"all four components required", "color(1, 0, 0)", "bad argument #4 to 'color' (number expected, got no value)"},
    {"reset is transparent black, set lenient alpha", R"(
      local c = color(1,1,1,1); c:reset(); assert(c == color(0,0,0,0))
      c:set(0.5, 0.25, 1); assert(c:r() == 0.5 and c:g() == 0.25 and c:b() == 1 and c:a() == 0))",
     nullptr},
    {"scaling and negation touch alpha", R"(
      assert(color(1,1,1,1) * 0.5 == color(0.5,0.5,0.5,0.5)); assert(0.5 * color(1,1,1,1) == color(0.5,0.5,0.5,0.5))
      assert(-color(1,2,3,4) == color(-1,-2,-3,-4))
      assert(color(1,2,3,4) + color(1,1,1,1) == color(2,3,4,5)); assert(color(1,2,3,4) - color(1,1,1,1) == color(0,1,2,3)))",
     nullptr},
    {"rgb is a v3 and setRGB keeps alpha", R"(
      local c = color(0.1, 0.2, 0.3, 0.4); assert(c:rgb() == v3(0.1, 0.2, 0.3))
      c:setRGB(v3(1, 2, 3)); assert(c == color(1, 2, 3, 0.4)))",
     nullptr},
    {"setRGB with numbers raises for its first argument", "local c = color(); c:setRGB(1, 2, 3)",
     "bad argument #1 to 'setRGB' (v3 expected, got number)"},
    {"dot norm gap normalize", R"(
      assert(color(1,2,3,4):dot(color(1,1,1,1)) == 10); assert(color(1,1,1,1):norm() == 2)
      assert(color(0,0,0,0):gap(color(1,1,1,1)) == 2)
      local c = color(0,0,0,2); assert(c:normalize() and c == color(0,0,0,1))
      local z = color(0,0,0,0); assert(z:normalize() == false))",
     nullptr},
    {"text form", "assert(tostring(color(1, 0.5, 0, 1)) == 'color(1,0.5,0,1)')", nullptr},
};

TEST_F(ValueTypes, Colors) {
  for (const LuaCase& c : kColorCases) expectCase(L, c);
}

}  // namespace
