// The m33 value type: three axis columns X, Y, Z as the model's Matrix3.
#include "model/constants.h"
#include "model/vec3.h"
#include "script/lmp_values_impl.h"

namespace lmp_values {
namespace {

Matrix3 toMatrix(const double* p) { return LMP_toMatrix3(p); }

void identity(double* p) {
  for (int e = 0; e < 9; ++e) p[e] = (e % 4 == 0) ? 1.0 : 0.0;
}

int m33Add(lua_State* L) {
  double* m = checkOwn(L, 1, kM33);
  double* p = checkOwn(L, 2, kM33);
  double* r = pushOwn(L, kM33);
  for (int e = 0; e < 9; ++e) r[e] = m[e] + p[e];
  return 1;
}

// The result is pushed first; two matrices give q p, each column of which is
// q times the same column of p. A vector operand is refused.
int m33Mul(lua_State* L) {
  double* r = pushOwn(L, kM33);
  if (isNumber(L, 1) || isNumber(L, 2)) {
    bool left = isNumber(L, 1);
    double s = lua_tonumber(L, left ? 1 : 2);
    double* m = checkOwn(L, left ? 2 : 1, kM33);
    for (int e = 0; e < 9; ++e) r[e] = m[e] * s;
    return 1;
  }
  Matrix3 p = toMatrix(checkOwn(L, 1, kM33));
  Matrix3 q = toMatrix(checkOwn(L, 2, kM33));
  Matrix3 out;
  Matrix3::mul(out, q, p);
  LMP_fromMatrix3(r, out);
  return 1;
}

// Elements compared exactly, as the other value types do.
int m33Eq(lua_State* L) {
  double* m = checkOwn(L, 1, kM33);
  double* p = checkOwn(L, 2, kM33);
  bool same = true;
  for (int e = 0; e < 9; ++e) same = same && m[e] == p[e];
  lua_pushboolean(L, same);
  return 1;
}

int m33ToString(lua_State* L) {
  double* m = checkOwn(L, 1, kM33);
  lua_pushfstring(L, "m33(v3(%f,%f,%f),v3(%f,%f,%f),v3(%f,%f,%f))", m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7],
                  m[8]);
  return 1;
}

// set(m, column, component, value), both counted from 0; outside the matrix
// nothing changes.
int m33Set(lua_State* L) {
  double* m = checkOwn(L, 1, kM33);
  int column = LMP_toInt(L, 2);
  int component = LMP_toInt(L, 3);
  double value = LMP_toNumber(L, 4);
  if (column >= 0 && column <= 2 && component >= 0 && component <= 2) m[3 * column + component] = value;
  return 0;
}

int m33SetColumn(lua_State* L) {
  double* v = check(L, 3, kV3);
  double* m = checkOwn(L, 1, kM33);
  int i = LMP_toInt(L, 2);
  if (i < 1 || i > 3) return 0;
  for (int k = 0; k < 3; ++k) m[3 * (i - 1) + k] = v[k];
  return 0;
}

int m33GetColumn(lua_State* L) {
  double* m = checkOwn(L, 1, kM33);
  int i = LMP_toInt(L, 2);
  if (i < 1 || i > 3) return 0;
  double* r = push(L, kV3);
  for (int k = 0; k < 3; ++k) r[k] = m[3 * (i - 1) + k];
  return 1;
}

// Keeps the Y axis unless exactly one axis id follows the matrix.
int m33Orthonormalize(lua_State* L) {
  int id = 2;
  if (lua_gettop(L) == 2) {
    id = LMP_toInt(L, 2);
    if (id < 1 || id > 3) {
      LMP_reportError(L, "Invalid axis ID");
      return 0;
    }
  }
  double* p = checkOwn(L, 1, kM33);
  Matrix3 m = toMatrix(p);
  bool ok = Matrix3::orthonormalize(m, id - 1);
  LMP_fromMatrix3(p, m);
  lua_pushboolean(L, ok);
  return 1;
}

int m33Reset(lua_State* L) {
  identity(checkOwn(L, 1, kM33));
  return 0;
}

// rotate(m, axis, degrees): the angle is read first, then the axis, then m.
int m33Rotate(lua_State* L) {
  double angle = LMP_toNumber(L, 3) * kDegToRad;
  Vec3 axis = LMP_toVec3(check(L, 2, kV3));
  double* p = checkOwn(L, 1, kM33);
  Matrix3 m = toMatrix(p);
  Matrix3::rotate(m, axis, angle);
  LMP_fromMatrix3(p, m);
  return 0;
}

int m33RotateAxis(lua_State* L) {
  double* p = checkOwn(L, 1, kM33);
  int id = LMP_toInt(L, 2);
  if (id < 1 || id > 3) {
    LMP_reportError(L, "Invalid axis ID");
    return 0;
  }
  Matrix3 m = toMatrix(p);
  Matrix3::rotateAxis(m, id - 1, LMP_toNumber(L, 3) * kDegToRad);
  LMP_fromMatrix3(p, m);
  return 0;
}

int m33SetScale(lua_State* L) {
  Vec3 s = LMP_toVec3(check(L, 2, kV3));
  double* p = checkOwn(L, 1, kM33);
  Matrix3 m = toMatrix(p);
  Matrix3::setScale(m, s);
  LMP_fromMatrix3(p, m);
  return 0;
}

int m33GetScale(lua_State* L) {
  Matrix3 m = toMatrix(checkOwn(L, 1, kM33));
  double* r = push(L, kV3);
  for (int k = 0; k < 3; ++k) r[k] = length3(m.axis[k]);
  return 1;
}

int m33Scale(lua_State* L) {
  double* s = check(L, 2, kV3);
  double* m = checkOwn(L, 1, kM33);
  for (int e = 0; e < 9; ++e) m[e] *= s[e / 3];
  return 0;
}

// m33(), m33(m) or m33(x, y, z); the new matrix is pushed before the
// arguments are looked at.
int m33New(lua_State* L) {
  int n = lua_gettop(L);
  double* r = pushOwn(L, kM33);
  if (n == 0) {
    identity(r);
  } else if (n == 1) {
    double* m = checkOwn(L, 1, kM33);
    for (int e = 0; e < 9; ++e) r[e] = m[e];
  } else if (n == 3) {
    for (int c = 0; c < 3; ++c) {
      double* v = check(L, c + 1, kV3);
      for (int k = 0; k < 3; ++k) r[3 * c + k] = v[k];
    }
  } else {
    LMP_reportError(L, "Bad arguments count for m33 creation");
    return 0;
  }
  return 1;
}

const luaL_Reg m33Funcs[] = {
    {"__add", m33Add},
    {"__mul", m33Mul},
    {"__eq", m33Eq},
    {"__tostring", m33ToString},
    {"set", m33Set},
    {"setColumn", m33SetColumn},
    {"getColumn", m33GetColumn},
    {"orthonormalize", m33Orthonormalize},
    {"reset", m33Reset},
    {"rotate", m33Rotate},
    {"rotateAxis", m33RotateAxis},
    {"setScale", m33SetScale},
    {"getScale", m33GetScale},
    {"scale", m33Scale},
    {nullptr, nullptr},
};

}  // namespace

void registerM33(lua_State* L) { registerType(L, kM33, m33Funcs, m33New); }

}  // namespace lmp_values
