// Double-precision geometry shared by the whole player: 3-vectors, 3x3
// matrices stored as three axis columns, and the rigid placement every scene
// object holds twice (world and local).
#pragma once

#include <cmath>
#include <cstdint>

// A 2-D point (overlay coordinates, texture coordinates).
struct Vec2 {
  double x = 0.0, y = 0.0;
  constexpr Vec2() = default;
  constexpr Vec2(double x_, double y_) : x(x_), y(y_) {}
};

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;

  constexpr Vec3() = default;
  constexpr Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  Vec3& operator+=(const Vec3& b) {
    x += b.x;
    y += b.y;
    z += b.z;
    return *this;
  }
  Vec3& operator-=(const Vec3& b) {
    x -= b.x;
    y -= b.y;
    z -= b.z;
    return *this;
  }
  Vec3& operator*=(double s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, const Vec3& a) { return {a.x * s, a.y * s, a.z * s}; }
inline bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Vec3& a, const Vec3& b) { return !(a == b); }

inline double dot3(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double lengthSquared3(const Vec3& v) { return dot3(v, v); }
inline Vec3 mulComponents3(const Vec3& a, const Vec3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline bool isZero3(const Vec3& v) { return v.x == 0.0 && v.y == 0.0 && v.z == 0.0; }

// Scales v to unit length. A length that is zero or NaN leaves v alone and
// answers false.
// Inline: the physics passes call these in their innermost loops.
inline bool normalize3(Vec3& v) {
  double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(len > 0.0)) return false;  // zero or NaN
  double inv = 1.0 / len;
  v.x *= inv;
  v.y *= inv;
  v.z *= inv;
  return true;
}
inline double length3(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
inline void cross3(Vec3& out, const Vec3& a, const Vec3& b) {
  double x = a.y * b.z - b.y * a.z;
  double y = a.z * b.x - b.z * a.x;
  double z = a.x * b.y - a.y * b.x;
  out.x = x;
  out.y = y;
  out.z = z;
}
inline Vec3 cross3(const Vec3& a, const Vec3& b) {
  Vec3 r;
  cross3(r, a, b);
  return r;
}
// a += b * s
inline void addScaled3(Vec3& a, const Vec3& b, double s) {
  a.x += b.x * s;
  a.y += b.y * s;
  a.z += b.z * s;
}
// Rotates v about the line through the origin along axis (any non-zero
// length) by the angle of cosine c and sine s. A zero axis changes nothing.
void rotateAboutAxis3(Vec3& v, const Vec3& axis, double c, double s);
// Index 0, 1 or 2 sets x, y or z; any other index is ignored.
void setVectorComponent(Vec3& v, int index, double value);
// Spherical interpolation of two vectors that need not be unit: lengths
// interpolate along with the direction.
void slerp3(Vec3& out, const Vec3& a, const Vec3& b, double t);

// Three axis vectors one after another; the axes are the columns, so
// m * v = v.x X + v.y Y + v.z Z. Axes may carry scale.
struct Matrix3 {
  Vec3 axis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  Vec3& X() { return axis[0]; }
  Vec3& Y() { return axis[1]; }
  Vec3& Z() { return axis[2]; }
  const Vec3& X() const { return axis[0]; }
  const Vec3& Y() const { return axis[1]; }
  const Vec3& Z() const { return axis[2]; }
  // Element e of the nine stored doubles (axis e / 3, component e % 3).
  double& at(int e) { return axis[e / 3][e % 3]; }
  double at(int e) const { return axis[e / 3][e % 3]; }

  static void setIdentity(Matrix3& m);
  // v := m v in place; returns v.
  static Vec3& mulVec(const Matrix3& m, Vec3& v);
  // out := a b; out may alias a or b.
  static void mul(Matrix3& out, const Matrix3& a, const Matrix3& b);
  // Adjugate over determinant; an exactly singular matrix gives the identity.
  static void invert(Matrix3& out, const Matrix3& m);
  static void invertInPlace(Matrix3& m);
  // Rz(c) Ry(b) Rx(a): about X by a first, then Y by b, then Z by c.
  static void fromAngles(Matrix3& out, double a, double b, double c);
  // Each non-zero axis becomes unit length times the matching component.
  static void setScale(Matrix3& m, const Vec3& scale);
  // Rotates all three axes about a world axis.
  static void rotate(Matrix3& m, const Vec3& axisDir, double angle);
  // Rotates the two other axes about m's own axis number index (0-2).
  static void rotateAxis(Matrix3& m, int index, double angle);
  // Gram-Schmidt holding axis keep in direction; false when a length is
  // not positive or keep is not 0-2 (m may then be partly rewritten).
  static bool orthonormalize(Matrix3& m, int keep);
  // m := (I + [w]x) m, then orthonormalize about keep.
  static void integrateRotation(Matrix3& m, const Vec3& w, int keep);
};

inline Vec3 operator*(const Matrix3& m, const Vec3& v) { return m.axis[0] * v.x + m.axis[1] * v.y + m.axis[2] * v.z; }

// Position and basis with a lazily refreshed inverse basis. Whoever writes
// the basis directly must set inverseStale; the operations here do.
struct RigidTransform {
  Vec3 position;
  Matrix3 basis;
  // Cache: refreshed on demand even through a const transform.
  mutable Matrix3 inverseBasis;
  mutable uint8_t inverseStale = 1;

  // The inverse basis, recomputed first when stale.
  const Matrix3& inverse() const;

  // child := this o child (world = parent world o local).
  void compose(RigidTransform& child) const;
  // t := this^-1 o t (local = parent world^-1 o world).
  void makeRelative(RigidTransform& t) const;
  void toWorldPoint(const Vec3& p, Vec3& out) const;
  Vec3 toWorldPoint(const Vec3& p) const {
    Vec3 r;
    toWorldPoint(p, r);
    return r;
  }
  void toLocalPointInPlace(Vec3& p) const;
  void toLocalPoint(const Vec3& p, Vec3& out) const;
  Vec3 toLocalPoint(const Vec3& p) const {
    Vec3 r;
    toLocalPoint(p, r);
    return r;
  }
  void toLocalDirection(const Vec3& d, Vec3& out) const;
  // Rotates the basis axes about axisDir; the position stays.
  void rotateAboutAxis(const Vec3& axisDir, double c, double s);
  void setIdentity();
};

// Inline: the physics step calls these for every body several times.
inline void Matrix3::mul(Matrix3& out, const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) r.axis[i] = a * b.axis[i];
  out = r;
}

inline void Matrix3::invert(Matrix3& out, const Matrix3& m) {
  const Vec3& X = m.axis[0];
  const Vec3& Y = m.axis[1];
  const Vec3& Z = m.axis[2];
  double det = X.x * (Y.y * Z.z - Z.y * Y.z) + X.y * (Y.z * Z.x - Y.x * Z.z) + X.z * (Z.y * Y.x - Y.y * Z.x);
  if (det == 0.0) {
    setIdentity(out);
    return;
  }
  // The rows of the inverse are Y x Z, Z x X and X x Y over det.
  Vec3 r0 = cross3(Y, Z), r1 = cross3(Z, X), r2 = cross3(X, Y);
  Matrix3 r;
  for (int j = 0; j < 3; ++j) r.axis[j] = Vec3(r0[j] / det, r1[j] / det, r2[j] / det);
  out = r;
}

inline bool Matrix3::orthonormalize(Matrix3& m, int keep) {
  if (keep < 0 || keep > 2) return false;
  // The kept axis, then the two others in cyclic order (X Y Z, Y Z X, Z X Y).
  Vec3& a = m.axis[keep];
  Vec3& b = m.axis[(keep + 1) % 3];
  Vec3& c = m.axis[(keep + 2) % 3];
  if (!normalize3(a)) return false;
  cross3(c, a, b);
  if (!normalize3(c)) return false;
  cross3(b, c, a);
  return normalize3(b);
}

namespace vec3_detail {
// integrateRotation's steps on the axes held in locals, with the kept axis
// known when compiled: the same numbers as through the matrix, but not
// stored and read back between steps.
template <int Keep>
inline void integrateRotationKeeping(Matrix3& m, const Vec3& w) {
  Vec3 a = m.axis[Keep], b = m.axis[(Keep + 1) % 3], c = m.axis[(Keep + 2) % 3];
  a += cross3(w, a);
  b += cross3(w, b);
  c += cross3(w, c);
  if (normalize3(a)) {
    cross3(c, a, b);
    if (normalize3(c)) {
      cross3(b, c, a);
      normalize3(b);
    }
  }
  m.axis[Keep] = a;
  m.axis[(Keep + 1) % 3] = b;
  m.axis[(Keep + 2) % 3] = c;
}
}  // namespace vec3_detail

inline void Matrix3::integrateRotation(Matrix3& m, const Vec3& w, int keep) {
  switch (keep) {
    case 0:
      return vec3_detail::integrateRotationKeeping<0>(m, w);
    case 1:
      return vec3_detail::integrateRotationKeeping<1>(m, w);
    case 2:
      return vec3_detail::integrateRotationKeeping<2>(m, w);
    default:
      for (int i = 0; i < 3; ++i) m.axis[i] += cross3(w, m.axis[i]);
  }
}

inline const Matrix3& RigidTransform::inverse() const {
  if (inverseStale) {
    Matrix3::invert(inverseBasis, basis);
    inverseStale = 0;
  }
  return inverseBasis;
}

inline void RigidTransform::compose(RigidTransform& child) const {
  Matrix3::mul(child.basis, basis, child.basis);
  child.position = basis * child.position + position;
  child.inverseStale = 1;
}
