#include "model/vec3.h"

#include <cmath>

#include <gtest/gtest.h>

#include "tests/model/expect_vec3.h"

namespace {

const double kPi = 3.14159265358979323846;

Matrix3 matrixOf(Vec3 x, Vec3 y, Vec3 z) {
  Matrix3 m;
  m.axis[0] = x;
  m.axis[1] = y;
  m.axis[2] = z;
  return m;
}

TEST(Vec3Ops, NormalizeLeavesZeroAndNaNAlone) {
  Vec3 zero;
  EXPECT_FALSE(normalize3(zero));
  expectNear(zero, Vec3());
  Vec3 v(3, 0, 4);
  EXPECT_TRUE(normalize3(v));
  expectNear(v, Vec3(0.6, 0, 0.8));
  Vec3 nan(std::nan(""), 0, 0);
  EXPECT_FALSE(normalize3(nan));
}

TEST(Vec3Ops, CrossIsRightHanded) {
  expectNear(cross3(Vec3(1, 0, 0), Vec3(0, 1, 0)), Vec3(0, 0, 1));
  expectNear(cross3(Vec3(1, 2, 3), Vec3(4, 5, 6)), Vec3(-3, 6, -3));
  Vec3 a(1, 2, 3);
  cross3(a, a, Vec3(4, 5, 6));  // output aliasing an input
  expectNear(a, Vec3(-3, 6, -3));
}

TEST(Vec3Ops, RotateAboutUnnormalisedAxis) {
  // A quarter turn about +Z with an axis of length 5.
  Vec3 v(1, 0, 0);
  rotateAboutAxis3(v, Vec3(0, 0, 5), 0.0, 1.0);
  expectNear(v, Vec3(0, 1, 0));
  // Points on the axis do not move; lengths are kept.
  Vec3 on(2, 2, 2);
  rotateAboutAxis3(on, Vec3(1, 1, 1), std::cos(1.0), std::sin(1.0));
  expectNear(on, Vec3(2, 2, 2));
  Vec3 w(1, 2, 3);
  rotateAboutAxis3(w, Vec3(0.3, -2, 0.7), std::cos(0.4), std::sin(0.4));
  EXPECT_NEAR(length3(w), std::sqrt(14.0), 1e-12);
  Vec3 u(1, 2, 3);
  rotateAboutAxis3(u, Vec3(), 0.0, 1.0);
  expectNear(u, Vec3(1, 2, 3));
}

TEST(Vec3Ops, SetComponentIgnoresBadIndex) {
  Vec3 v(1, 2, 3);
  setVectorComponent(v, 1, 9);
  setVectorComponent(v, 3, 7);
  setVectorComponent(v, -1, 7);
  expectNear(v, Vec3(1, 9, 3));
}

TEST(Vec3Ops, SlerpEndsParallelAndOpposite) {
  Vec3 a(2, 0, 0), b(0, 3, 0), out;
  slerp3(out, a, b, 0.0);
  expectNear(out, a);
  slerp3(out, a, b, 1.0);
  expectNear(out, b);
  slerp3(out, a, b, 0.5);
  EXPECT_NEAR(out.x, out.y * 2.0 / 3.0, 1e-12);  // halfway in angle, weighted lengths
  slerp3(out, a, Vec3(5, 0, 0), 0.3);
  expectNear(out, Vec3(5, 0, 0));
  slerp3(out, a, Vec3(-1, 0, 0), 0.3);
  expectNear(out, Vec3(1, 0, 0));
  // A zero input has no direction; the answer is finite, not NaN.
  slerp3(out, Vec3(), b, 0.5);
  expectNear(out, Vec3(0, 1.5, 0));
}

TEST(Matrix3Ops, MulVecUsesAxesAsColumns) {
  Matrix3 m = matrixOf(Vec3(1, 2, 3), Vec3(4, 5, 6), Vec3(7, 8, 10));
  Vec3 v(1, 1, 2);
  Matrix3::mulVec(m, v);
  expectNear(v, Vec3(1 + 4 + 14, 2 + 5 + 16, 3 + 6 + 20));
}

TEST(Matrix3Ops, InvertGivesIdentityProductAndSingularGivesIdentity) {
  Matrix3 m = matrixOf(Vec3(2, 1, 0), Vec3(0, 3, 1), Vec3(1, 0, 4)), inv, prod;
  Matrix3::invert(inv, m);
  Matrix3::mul(prod, m, inv);
  for (int e = 0; e < 9; ++e) EXPECT_NEAR(prod.at(e), (e % 4 == 0) ? 1.0 : 0.0, 1e-12) << e;
  Matrix3 singular = matrixOf(Vec3(1, 2, 3), Vec3(2, 4, 6), Vec3(0, 0, 1));
  Matrix3::invert(inv, singular);
  for (int e = 0; e < 9; ++e) EXPECT_EQ(inv.at(e), (e % 4 == 0) ? 1.0 : 0.0) << e;
  Matrix3 self = m;
  Matrix3::invertInPlace(self);
  Matrix3::mul(prod, self, m);
  for (int e = 0; e < 9; ++e) EXPECT_NEAR(prod.at(e), (e % 4 == 0) ? 1.0 : 0.0, 1e-12) << e;
}

TEST(Matrix3Ops, FromAnglesOrder) {
  Matrix3 m;
  Matrix3::fromAngles(m, 0, 0, kPi / 2);
  expectNear(m * Vec3(1, 0, 0), Vec3(0, 1, 0));
  // X first, then Z: the Y axis goes to Z by the X turn, and stays there.
  Matrix3::fromAngles(m, kPi / 2, 0, kPi / 2);
  expectNear(m * Vec3(0, 1, 0), Vec3(0, 0, 1));
  expectNear(m * Vec3(0, 0, 1), Vec3(1, 0, 0));
}

TEST(Matrix3Ops, ProductAppliesTheRightFactorFirst) {
  // Two turns that do not commute: (a b) v must be a (b v).
  Matrix3 a, b, ab;
  Matrix3::fromAngles(a, 0, 0, kPi / 2);
  Matrix3::fromAngles(b, kPi / 2, 0, 0);
  a.axis[1] *= 3.0;  // and a scaled axis, so that no product is symmetric
  Matrix3::mul(ab, a, b);
  const Vec3 probes[] = {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(0.3, -2, 5)};
  for (const Vec3& v : probes) expectNear(ab * v, a * (b * v));
  // Composing placements keeps that order: the child's basis acts first.
  RigidTransform parent, child;
  parent.basis = a;
  parent.inverseStale = 1;
  child.basis = b;
  child.inverseStale = 1;
  parent.compose(child);
  for (const Vec3& v : probes) expectNear(child.basis * v, a * (b * v));
}

TEST(Matrix3Ops, FromAnglesIsXThenYThenZAboutWorldAxes) {
  struct Angles {
    double a, b, c;
  };
  const Angles cases[] = {{0.3, -0.7, 1.9}, {-2.0, 0.4, 0.1}, {1.0, 1.2, -0.5}};
  for (const Angles& k : cases) {
    Matrix3 direct, turned;
    Matrix3::fromAngles(direct, k.a, k.b, k.c);
    Matrix3::rotate(turned, Vec3(1, 0, 0), k.a);
    Matrix3::rotate(turned, Vec3(0, 1, 0), k.b);
    Matrix3::rotate(turned, Vec3(0, 0, 1), k.c);
    for (int e = 0; e < 9; ++e) EXPECT_NEAR(direct.at(e), turned.at(e), 1e-12) << k.a << " " << e;
  }
}

TEST(Matrix3Ops, SetScaleKeepsDirectionsAndZeroAxes) {
  Matrix3 m = matrixOf(Vec3(0, 2, 0), Vec3(), Vec3(0, 0, 0.5));
  Matrix3::setScale(m, Vec3(3, 4, 5));
  expectNear(m.X(), Vec3(0, 3, 0));
  expectNear(m.Y(), Vec3());
  expectNear(m.Z(), Vec3(0, 0, 5));
}

TEST(Matrix3Ops, RotateAndRotateAxis) {
  Matrix3 m;
  Matrix3::rotate(m, Vec3(0, 0, 2), kPi / 2);
  expectNear(m.X(), Vec3(0, 1, 0));
  expectNear(m.Y(), Vec3(-1, 0, 0));
  expectNear(m.Z(), Vec3(0, 0, 1));
  // About its own (already turned) X axis; that axis itself stays.
  Matrix3::rotateAxis(m, 0, kPi / 2);
  expectNear(m.X(), Vec3(0, 1, 0));
  expectNear(m.Y(), Vec3(0, 0, 1));
  expectNear(m.Z(), Vec3(1, 0, 0));
  Matrix3 before = m;
  Matrix3::rotateAxis(m, 3, 1.0);
  Matrix3::rotate(m, Vec3(), 1.0);
  for (int e = 0; e < 9; ++e) EXPECT_EQ(m.at(e), before.at(e));
}

TEST(Matrix3Ops, OrthonormalizeHoldsTheKeptAxis) {
  for (int keep = 0; keep < 3; ++keep) {
    Matrix3 m = matrixOf(Vec3(2, 0.1, 0), Vec3(0.2, 3, 0.1), Vec3(0, 0.3, 0.5));
    Vec3 kept = m.axis[keep];
    normalize3(kept);
    ASSERT_TRUE(Matrix3::orthonormalize(m, keep)) << keep;
    expectNear(m.axis[keep], kept);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(length3(m.axis[i]), 1.0, 1e-12);
    EXPECT_NEAR(dot3(m.X(), m.Y()), 0.0, 1e-12);
    expectNear(cross3(m.X(), m.Y()), m.Z());  // right-handed
    // The first derived axis is kept axis x next original axis (X x Y
    // for X, Y x Z for Y, Z x X for Z), so the last one stays in the
    // plane of its original and the kept axis.
    Matrix3 orig = matrixOf(Vec3(2, 0.1, 0), Vec3(0.2, 3, 0.1), Vec3(0, 0.3, 0.5));
    int next = (keep + 1) % 3, derived = (keep + 2) % 3;
    Vec3 expected = cross3(orig.axis[keep], orig.axis[next]);
    normalize3(expected);
    expectNear(m.axis[derived], expected);
  }
  Matrix3 flat = matrixOf(Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(0, 0, 1));
  EXPECT_FALSE(Matrix3::orthonormalize(flat, 0));
  Matrix3 any;
  EXPECT_FALSE(Matrix3::orthonormalize(any, 3));
}

TEST(Matrix3Ops, IntegrateRotationTurnsBySmallAngle) {
  Matrix3 m;
  Matrix3::integrateRotation(m, Vec3(0, 0, 1e-4), 0);
  EXPECT_NEAR(m.X().y, 1e-4, 1e-8);
  EXPECT_NEAR(length3(m.Y()), 1.0, 1e-12);
}

TEST(RigidTransformOps, ComposeThenMakeRelativeRoundTrips) {
  RigidTransform parent;
  Matrix3::fromAngles(parent.basis, 0.3, -0.2, 1.1);
  parent.basis.axis[0] *= 2.0;  // scale carried by an axis
  parent.position = Vec3(1, 2, 3);
  parent.inverseStale = 1;
  RigidTransform child;
  child.position = Vec3(0.5, -1, 2);
  Matrix3::fromAngles(child.basis, 0.1, 0.2, 0.3);
  RigidTransform w = child;
  parent.compose(w);
  EXPECT_TRUE(w.inverseStale);
  expectNear(w.position, parent.toWorldPoint(child.position));
  parent.makeRelative(w);
  expectNear(w.position, child.position);
  for (int e = 0; e < 9; ++e) EXPECT_NEAR(w.basis.at(e), child.basis.at(e), 1e-12);
}

TEST(RigidTransformOps, WritingTheBasisNeverLeavesAStaleInverse) {
  RigidTransform t;
  t.position = Vec3(1, 0, 0);
  expectNear(t.toLocalPoint(Vec3(2, 0, 0)), Vec3(1, 0, 0));  // caches the identity inverse
  t.rotateAboutAxis(Vec3(0, 0, 1), 0.0, 1.0);                // quarter turn
  expectNear(t.toLocalPoint(Vec3(1, 1, 0)), Vec3(1, 0, 0));
  Vec3 d;
  t.toLocalDirection(Vec3(0, 1, 0), d);
  expectNear(d, Vec3(1, 0, 0));

  RigidTransform parent;
  parent.toLocalPoint(Vec3());  // cache
  RigidTransform other;
  Matrix3::setScale(other.basis, Vec3(2, 2, 2));
  other.inverseStale = 1;
  other.compose(parent);  // writes parent's basis
  Vec3 p(4, 0, 0);
  parent.toLocalPointInPlace(p);
  expectNear(p, Vec3(2, 0, 0));
}

}  // namespace
