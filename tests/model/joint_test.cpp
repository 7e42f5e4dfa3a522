#include "model/joint.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "model/physics_world.h"
#include "model/spring.h"

namespace {

// A free body (no volume, so no bounds contact) with a plain unit inertia.
MDL_RigidBody* addFreeBody(Scene& s, const Vec3& at) {
  MDL_RigidBody* b = new MDL_RigidBody;
  b->editWorld().position = at;
  b->setInertia(Vec3(1, 1, 1));
  b->stillDelay = 0;
  s.registerObject(b);
  return b;
}

Joint* addJoint(Scene& s, int kind, MDL_RigidBody* a, MDL_RigidBody* b) {
  Joint* j = new Joint;
  j->init();
  j->kind = kind;
  j->bodyA = a;
  j->bodyB = b;
  s.joints.append(j);
  return j;
}

TEST(Spring, DefaultsAndCoincidentEndsPushOnlyByDampingAlongX) {
  Scene s;
  Spring* sp = s.addSpring();
  ASSERT_NE(sp, nullptr);
  ASSERT_EQ(s.springs.count, 1);
  EXPECT_EQ(sp->stiffness, 1.0);
  EXPECT_EQ(sp->damping, 0.5);
  EXPECT_EQ(sp->restLength, 0.0);
  MDL_RigidBody* a = addFreeBody(s, Vec3(1, 1, 1));
  MDL_RigidBody* b = addFreeBody(s, Vec3(1, 1, 1));
  a->speed = Vec3(0, 0, 2);  // across x: no damping along x from it
  b->speed = Vec3(-1, 0, 0);
  sp->bodyA = a;
  sp->bodyB = b;
  sp->apply(0.1);
  // u = (1, 0, 0), s = -1, j = -0.05: A gets -0.05 along x, B +0.05.
  EXPECT_NEAR(a->speed.x, -0.05, 1e-15);
  EXPECT_NEAR(b->speed.x, -0.95, 1e-15);
  EXPECT_EQ(a->speed.z, 2.0);
  a->speed = b->speed = Vec3();
  sp->apply(0.0);  // a zero step pushes nothing
  EXPECT_EQ(a->speed, Vec3());
}

TEST(Spring, HangsABodyFromAWorldPointAtTheStretchGravityAsks) {
  Scene s;
  MDL_RigidBody* b = addFreeBody(s, Vec3(0, 0, 3));
  Spring* sp = s.addSpring();
  sp->pointA = Vec3(0, 0, 5);  // world point
  sp->bodyB = b;
  sp->stiffness = 100;
  sp->damping = 5;
  sp->restLength = 1;
  stepFor(s, 20.0);
  // Equilibrium: (L - rest) k = m g.
  EXPECT_NEAR(b->getWorld().position.z, 5 - 1 - (double)9.81f / 100, 1e-3);
  EXPECT_NEAR(b->getWorld().position.x, 0, 1e-9);
}

TEST(Joint, InitValuesAndUnknownKindsDoNothing) {
  Joint j;
  j.kind = 3;
  j.axisA = Vec3(0, 1, 0);
  j.init();
  EXPECT_EQ(j.kind, 0);
  EXPECT_EQ(j.bodyA, nullptr);
  EXPECT_EQ(j.axisA, Vec3(1, 0, 0));
  EXPECT_EQ(j.axisB, Vec3(1, 0, 0));

  Scene s, free;
  MDL_RigidBody* a = addFreeBody(s, Vec3(0, 0, 5));
  MDL_RigidBody* twin = addFreeBody(free, Vec3(0, 0, 5));
  addJoint(s, 5, a, nullptr)->pointB = Vec3(3, 3, 3);
  addJoint(s, -1, a, nullptr)->pointB = Vec3(3, 3, 3);
  for (MDL_RigidBody* x : {a, twin}) x->speed = Vec3(1, 0, 0);
  stepFor(s, 0.5);
  stepFor(free, 0.5);
  EXPECT_EQ(a->getWorld().position, twin->getWorld().position);
}

TEST(Joint, PointPointIsAPendulumPivot) {
  Scene s;
  MDL_RigidBody* bob = addFreeBody(s, Vec3(1, 0, 5));
  Joint* j = addJoint(s, JOINT_POINT_POINT, bob, nullptr);
  j->pointA = Vec3(-1, 0, 0);  // the pivot, one metre from the bob
  j->pointB = Vec3(0, 0, 5);
  double lowest = 5, worst = 0;
  for (int i = 0; i < 1000; ++i) {
    s.step(nullptr, s.integrationStep);
    Vec3 pivot = bob->getWorld().toWorldPoint(j->pointA);
    worst = std::max(worst, length3(pivot - j->pointB));
    lowest = std::min(lowest, bob->getWorld().position.z);
  }
  EXPECT_LT(worst, 1e-3);
  EXPECT_LT(lowest, 4.2);  // it swung down
  EXPECT_GT(lowest, 3.9);  // on its one-metre arm
}

TEST(Joint, PointPointHoldsTwoBodiesTogether) {
  Scene s;
  MDL_RigidBody* a = addFreeBody(s, Vec3(0, 0, 5));
  MDL_RigidBody* b = addFreeBody(s, Vec3(1, 0, 5));
  a->inverseMass = 0;  // hung from a fixed body
  a->setInertia(Vec3());
  Joint* j = addJoint(s, JOINT_POINT_POINT, a, b);
  j->pointA = Vec3(0.5, 0, 0);
  j->pointB = Vec3(-0.5, 0, 0);
  stepFor(s, 1.0);
  Vec3 pa = a->getWorld().toWorldPoint(j->pointA), pb = b->getWorld().toWorldPoint(j->pointB);
  EXPECT_LT(length3(pa - pb), 1e-3);
  EXPECT_EQ(a->getWorld().position, Vec3(0, 0, 5));
}

TEST(Joint, AxisAxisKeepsTheAxesParallelAndLeavesSpinAboutThemFree) {
  Scene s;
  s.gravity = Vec3();
  MDL_RigidBody* b = addFreeBody(s, Vec3(0, 0, 5));
  b->angularDamping = 0;
  Joint* j = addJoint(s, JOINT_AXIS_AXIS, nullptr, b);
  j->axisA = Vec3(0, 0, 1);  // world
  j->axisB = Vec3(0, 0, 1);
  b->setAngularSpeed(Vec3(3, -2, 2));
  stepFor(s, 1.0);
  Vec3 axis = b->getWorld().basis * j->axisB;
  EXPECT_LT(length3(cross3(axis, Vec3(0, 0, 1))), 1e-3);
  Vec3 w = b->getAngularSpeed();
  EXPECT_NEAR(w.z, 2.0, 1e-6);
  EXPECT_NEAR(w.x, 0.0, 1e-6);
  EXPECT_NEAR(w.y, 0.0, 1e-6);
}

// Two bodies, B three times as easy to turn as A: the misalignment and the
// relative spin across the axis are shared out 1 : 3, each body turning
// towards the other.
TEST(Joint, AxisAxisSharesTheCorrectionByHowEasilyEachBodyTurns) {
  Scene s;
  MDL_RigidBody* a = addFreeBody(s, Vec3(0, 0, 5));
  MDL_RigidBody* b = addFreeBody(s, Vec3(2, 0, 5));
  b->setInertia(Vec3(1, 1, 1) * (1.0 / 3));
  const double phi = 0.01;
  RigidTransform& wb = b->editWorld();
  Matrix3::rotate(wb.basis, Vec3(0, 0, 1), phi);  // B's x axis, phi away from A's
  wb.inverseStale = 1;
  b->angularDirty = 1;
  b->setAngularSpeed(Vec3(0, 0, 1));
  Joint* j = addJoint(s, JOINT_AXIS_AXIS, a, b);  // both axes (1, 0, 0) in their own frames
  j->solve();

  // theta = (0, 0, sin phi), a quarter of it for A, three quarters (back) for B.
  double t = std::sin(phi);
  const Vec3& ax = a->getWorld().basis.X();
  const Vec3& bx = b->getWorld().basis.X();
  EXPECT_NEAR(std::atan2(ax.y, ax.x), std::atan(t / 4), 1e-12);
  EXPECT_NEAR(std::atan2(bx.y, bx.x), phi - std::atan(3 * t / 4), 1e-12);
  // The relative spin (0, 0, 1) lies across the axis: both end up at 1/4.
  Vec3 wa = a->getAngularSpeed(), wB = b->getAngularSpeed();
  EXPECT_NEAR(wa.z, 0.25, 1e-12);
  EXPECT_NEAR(wB.z, 0.25, 1e-12);
  EXPECT_NEAR(length3(wa - Vec3(0, 0, wa.z)) + length3(wB - Vec3(0, 0, wB.z)), 0, 1e-12);
}

TEST(Joint, PointAxisSlidesAlongTheLineOnly) {
  Scene s;
  MDL_RigidBody* b = addFreeBody(s, Vec3(0, 0, 5));
  Joint* j = addJoint(s, JOINT_POINT_AXIS, b, nullptr);
  j->pointB = Vec3(0, 0, 5);
  j->axisB = Vec3(2, 0, 0);  // any length
  b->speed = Vec3(1, 1, 0.5);
  stepFor(s, 1.0);
  Vec3 p = b->getWorld().position;
  EXPECT_NEAR(p.y, 0, 1e-3);
  EXPECT_NEAR(p.z, 5, 1e-3);
  EXPECT_GT(p.x, 0.8);  // sliding along x stays free (damped a little)
}

TEST(Joint, PointAbovePlaneStopsAtThePlaneWithTheCollisionBounce) {
  Scene s;
  s.bounds[4] = -DBL_MAX;
  MDL_RigidBody* b = addFreeBody(s, Vec3(0, 0, 3));
  b->damping = 0;
  b->elasticity = 0.8;
  Joint* j = addJoint(s, JOINT_POINT_ABOVE_PLANE, b, nullptr);
  j->pointB = Vec3(0, 0, 1);
  j->axisB = Vec3(0, 0, 1);
  Scene freeFall;
  freeFall.bounds[4] = -DBL_MAX;
  MDL_RigidBody* twin = addFreeBody(freeFall, Vec3(0, 0, 3));
  twin->damping = 0;
  double lowest = 3, impact = 0, rebound = 0;
  for (int i = 0; i < 600; ++i) {
    double before = b->speed.z;
    s.step(nullptr, s.integrationStep);
    freeFall.step(nullptr, freeFall.integrationStep);
    if (impact == 0 && before < 0 && b->speed.z > 0) {
      impact = before;
      rebound = b->speed.z;
    }
    if (impact == 0) {
      EXPECT_EQ(b->getWorld().position, twin->getWorld().position) << i;  // free above the plane
    }
    lowest = std::min(lowest, b->getWorld().position.z);
  }
  ASSERT_LT(impact, -5);
  EXPECT_NEAR(rebound / -impact, 0.4, 0.01);  // (0.8 + 0) / 2, an absent body counting 0
  EXPECT_GT(lowest, 1 - 0.03);
}

TEST(Joint, PointOnPlanePullsThePointBackDown) {
  Scene s;
  s.gravity = Vec3();
  MDL_RigidBody* b = addFreeBody(s, Vec3(0, 0, 3));
  Joint* j = addJoint(s, JOINT_POINT_ON_PLANE, b, nullptr);
  j->pointB = Vec3(0, 0, 1);
  j->axisB = Vec3(0, 0, 1);
  b->speed = Vec3(1, 0, 0);
  s.step(nullptr, s.integrationStep);
  EXPECT_NEAR(b->getWorld().position.z, 1.0, 1e-9);
  stepFor(s, 0.5);
  EXPECT_NEAR(b->getWorld().position.z, 1.0, 1e-9);
  EXPECT_GT(b->getWorld().position.x, 0.4);  // sliding in the plane stays free
}

TEST(PhysicsPurge, SpringsAndJointsOfDeletedBodiesGoWithThem) {
  Scene s;
  MDL_RigidBody* keep = addFreeBody(s, Vec3(0, 0, 5));
  MDL_RigidBody* gone = addFreeBody(s, Vec3(1, 0, 5));
  Spring* a = s.addSpring();
  a->bodyA = keep;
  a->bodyB = gone;
  Spring* b = s.addSpring();
  b->bodyA = keep;
  addJoint(s, JOINT_POINT_POINT, gone, nullptr);
  Joint* kept = addJoint(s, JOINT_POINT_POINT, nullptr, keep);
  gone->pendingDelete = 1;
  s.purgeDeleted();
  ASSERT_EQ(s.springs.count, 1);
  EXPECT_EQ(s.springs[0], b);
  ASSERT_EQ(s.joints.count, 1);
  EXPECT_EQ(s.joints[0], kept);
  stepFor(s, 0.1);  // nothing left points at freed memory
}

}  // namespace
