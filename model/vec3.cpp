#include "model/vec3.h"

#include <cmath>

// Rodrigues' formula without normalising the axis first.
void rotateAboutAxis3(Vec3& v, const Vec3& axis, double c, double s) {
  double L = dot3(axis, axis);
  if (L == 0.0) return;
  double ap = dot3(axis, v);
  double root = std::sqrt(L);
  Vec3 axp = cross3(axis, v);
  Vec3 r;
  r.x = ((L * v.x - ap * axis.x) * c + ap * axis.x + root * axp.x * s) / L;
  r.y = ((L * v.y - ap * axis.y) * c + ap * axis.y + root * axp.y * s) / L;
  r.z = ((L * v.z - ap * axis.z) * c + ap * axis.z + root * axp.z * s) / L;
  v = r;
}

void setVectorComponent(Vec3& v, int index, double value) {
  switch (index) {
    case 0:
      v.x = value;
      break;
    case 1:
      v.y = value;
      break;
    case 2:
      v.z = value;
      break;
    default:
      break;
  }
}

void slerp3(Vec3& out, const Vec3& a, const Vec3& b, double t) {
  double lengths = length3(a) * length3(b);
  if (!(lengths > 0.0)) {
    // No direction to follow from a zero vector: interpolate linearly
    // instead of producing NaN.
    out = a + (b - a) * t;
    return;
  }
  double c = dot3(a, b) / lengths;
  if (c >= 1.0) {
    out = b;
    return;
  }
  if (c <= -1.0) {
    out = -b;
    return;
  }
  double s = std::sqrt(1.0 - c * c);
  double theta = std::atan2(s, c);
  double wa = std::sin((1.0 - t) * theta);
  double wb = std::sin(t * theta);
  out.x = (a.x * wa + b.x * wb) / s;
  out.y = (a.y * wa + b.y * wb) / s;
  out.z = (a.z * wa + b.z * wb) / s;
}

// ---------------------------------------------------------------- Matrix3

void Matrix3::setIdentity(Matrix3& m) {
  m.axis[0] = {1, 0, 0};
  m.axis[1] = {0, 1, 0};
  m.axis[2] = {0, 0, 1};
}

Vec3& Matrix3::mulVec(const Matrix3& m, Vec3& v) {
  v = m * v;
  return v;
}

void Matrix3::invertInPlace(Matrix3& m) {
  Matrix3 tmp;
  invert(tmp, m);
  m = tmp;
}

void Matrix3::fromAngles(Matrix3& out, double a, double b, double c) {
  double ca = std::cos(a), sa = std::sin(a);
  double cb = std::cos(b), sb = std::sin(b);
  double cc = std::cos(c), sc = std::sin(c);
  out.axis[0] = {cb * cc, cb * sc, -sb};
  out.axis[1] = {sa * sb * cc - ca * sc, sa * sb * sc + ca * cc, sa * cb};
  out.axis[2] = {ca * sb * cc + sa * sc, ca * sb * sc - sa * cc, ca * cb};
}

void Matrix3::setScale(Matrix3& m, const Vec3& scale) {
  for (int i = 0; i < 3; ++i) {
    double len = length3(m.axis[i]);
    if (len > 0.0) m.axis[i] *= scale[i] / len;
  }
}

void Matrix3::rotate(Matrix3& m, const Vec3& axisDir, double angle) {
  if (dot3(axisDir, axisDir) == 0.0) return;
  double c = std::cos(angle), s = std::sin(angle);
  for (int i = 0; i < 3; ++i) rotateAboutAxis3(m.axis[i], axisDir, c, s);
}

void Matrix3::rotateAxis(Matrix3& m, int index, double angle) {
  if (index < 0 || index > 2) return;
  double c = std::cos(angle), s = std::sin(angle);
  Vec3 about = m.axis[index];
  for (int i = 0; i < 3; ++i)
    if (i != index) rotateAboutAxis3(m.axis[i], about, c, s);
}

// --------------------------------------------------------- RigidTransform

void RigidTransform::makeRelative(RigidTransform& t) const {
  const Matrix3& inv = inverse();
  t.position = inv * (t.position - position);
  Matrix3::mul(t.basis, inv, t.basis);
  t.inverseStale = 1;
}

void RigidTransform::toWorldPoint(const Vec3& p, Vec3& out) const { out = basis * p + position; }

void RigidTransform::toLocalPointInPlace(Vec3& p) const { p = inverse() * (p - position); }

void RigidTransform::toLocalPoint(const Vec3& p, Vec3& out) const { out = inverse() * (p - position); }

void RigidTransform::toLocalDirection(const Vec3& d, Vec3& out) const { out = inverse() * d; }

void RigidTransform::rotateAboutAxis(const Vec3& axisDir, double c, double s) {
  for (int i = 0; i < 3; ++i) rotateAboutAxis3(basis.axis[i], axisDir, c, s);
  inverseStale = 1;
}

void RigidTransform::setIdentity() {
  position = Vec3();
  Matrix3::setIdentity(basis);
  inverseStale = 1;
}
