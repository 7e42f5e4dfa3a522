#include "model/rigid_body.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "model/fake_proxy.h"
#include "model/mesh.h"
#include "model/physics_world.h"

namespace {

TEST(RigidBodyDefaults, SinglePrecisionValuesWidened) {
  MDL_RigidBody b;
  EXPECT_EQ(b.type, OBJECT_RIGID_BODY);
  EXPECT_EQ(b.inverseMass, 1.0);
  EXPECT_EQ(b.inverseInertia, Vec3(100, 100, 100));
  EXPECT_EQ(b.damping, (double)0.2f);
  EXPECT_EQ(b.angularDamping, (double)0.2f);
  EXPECT_EQ(b.elasticity, (double)0.6f);
  EXPECT_EQ(b.friction, (double)0.8f);
  EXPECT_EQ(b.stillDelay, 2.0);
  EXPECT_EQ(b.keepAxis, 0);
  EXPECT_EQ(kStillAngularSpeed2, (double)0.1f);
  EXPECT_EQ(kStillLinearSpeed2, (double)0.01f);
}

TEST(RigidBodyInertia, ReciprocalsLockedAxesAndKeepAxis) {
  struct Case {
    Vec3 inertia, inverse;
    int keep;
  } cases[] = {
      {{2, 4, 8}, {0.5, 0.25, 0.125}, 0},                                      // smallest inertia first
      {{8, 2, 4}, {0.125, 0.5, 0.25}, 1}, {{4, 4, 4}, {0.25, 0.25, 0.25}, 0},  // ties keep the earlier axis
      {{1, 4, 0}, {1, 0.25, 0}, 2},                                            // a locked axis is taken when met
      {{1, 0, 4}, {1, 0, 0.25}, 2},                                            // ... and loses to any later free axis
      {{0, 1, 1}, {0, 1, 1}, 1},          {{0, 0, 0}, {0, 0, 0}, 2},
  };
  for (const Case& c : cases) {
    MDL_RigidBody b;
    b.setInertia(c.inertia);
    EXPECT_EQ(b.inverseInertia, c.inverse);
    EXPECT_EQ(b.keepAxis, c.keep);
  }
}

TEST(RigidBodyAngularSpeed, RoundTripsThroughTheMomentumInTheBodyFrame) {
  MDL_RigidBody b;
  b.setInertia(Vec3(1, 2, 4));
  Matrix3::fromAngles(b.editWorld().basis, 0.3, -0.7, 1.1);
  b.editWorld().inverseStale = 1;
  Vec3 w(0.5, -1.5, 2.0);
  b.setAngularSpeed(w);
  Vec3 back = b.getAngularSpeed();
  EXPECT_NEAR(back.x, w.x, 1e-12);
  EXPECT_NEAR(back.y, w.y, 1e-12);
  EXPECT_NEAR(back.z, w.z, 1e-12);
  // A locked axis cannot hold spin: its share of the momentum is zero.
  b.setInertia(Vec3(0, 1, 1));
  Matrix3::setIdentity(b.editWorld().basis);
  b.editWorld().inverseStale = 1;
  b.setAngularSpeed(Vec3(3, 0, 1));
  EXPECT_EQ(b.angularMomentum, Vec3(0, 0, 1));
}

TEST(RigidBodyIntegrate, DampingFollowsTheExactSolution) {
  Vec3 noGravity;
  MDL_RigidBody damped;
  damped.speed = Vec3(1, 0, 0);
  damped.stillDelay = 0;
  for (int i = 0; i < 100; ++i) damped.integrate(noGravity, 0.01);
  EXPECT_NEAR(damped.speed.x, std::exp(-0.2f * 1.0), 1e-9);
  // x(t) = (1 - e^-ct) / c
  EXPECT_NEAR(damped.getWorld().position.x, (1 - std::exp(-(double)0.2f)) / (double)0.2f, 1e-9);

  MDL_RigidBody free;
  free.damping = 0;
  Vec3 g(0, 0, -10);
  free.speed = Vec3(0, 0, 5);
  for (int i = 0; i < 50; ++i) free.integrate(g, 0.01);
  EXPECT_NEAR(free.getWorld().position.z, 5 * 0.5 - 5 * 0.25, 1e-9);  // the undamped parabola
  EXPECT_NEAR(free.speed.z, 0, 1e-9);
}

TEST(RigidBodyIntegrate, ImmovableBodyIgnoresGravityAndForceButImpulsesTurnIt) {
  MDL_RigidBody b;
  b.inverseMass = 0;
  b.force = Vec3(5, 0, 0);
  Vec3 g(0, 0, -9.81);
  for (int i = 0; i < 10; ++i) b.integrate(g, 0.01);
  EXPECT_EQ(b.getWorld().position, Vec3());
  EXPECT_EQ(b.speed, Vec3());
  b.applyImpulse(Vec3(1, 0, 0), Vec3(0, 1, 0));
  EXPECT_EQ(b.speed, Vec3());
  EXPECT_EQ(b.angularMomentum, Vec3(0, 0, 1));
}

TEST(RigidBodyIntegrate, TorqueTurnsAndItsAccelerationJoinsTheMomentum) {
  MDL_RigidBody b;
  b.angularDamping = 0;
  b.stillDelay = 0;
  b.setInertia(Vec3(1, 1, 1));
  b.torque = Vec3(0, 0, 2);
  b.integrate(Vec3(), 0.1);
  // alpha = 2 about z: the momentum grows by alpha * dt, the basis turns by alpha dt^2 / 2.
  EXPECT_NEAR(b.angularMomentum.z, 0.2, 1e-12);
  const Matrix3& m = b.getWorld().basis;
  EXPECT_NEAR(std::atan2(m.X().y, m.X().x), std::atan(0.01), 1e-12);
  EXPECT_NEAR(length3(m.X()), 1.0, 1e-12);  // kept orthonormal
}

TEST(RigidBodyStill, GoesStillAfterTheDelayAndWakesOnAStrongImpulse) {
  MDL_RigidBody b;
  b.speed = Vec3(0.05, 0, 0);  // below both thresholds
  Vec3 none;
  int steps = 0;
  while (!b.still && steps < 5000) {
    b.integrate(none, 0.25);
    ++steps;
  }
  EXPECT_EQ(steps, 9);  // the timer must pass 2.0, not reach it
  Vec3 at = b.getWorld().position;
  b.integrate(none, 0.01);
  EXPECT_EQ(b.getWorld().position, at);  // a still body is not integrated

  b.applyImpulse(at, Vec3(0.05, 0, 0));  // too weak: stays still, yet the impulse lands
  EXPECT_TRUE(b.still);
  EXPECT_GT(b.speed.x, 0.05);
  b.applyImpulse(at, Vec3(1, 0, 0));
  EXPECT_FALSE(b.still);
  EXPECT_EQ(b.stillTimer, 0.0);

  MDL_RigidBody insomniac;
  insomniac.stillDelay = 0;
  for (int i = 0; i < 500; ++i) insomniac.integrate(none, 0.01);
  EXPECT_FALSE(insomniac.still);
}

TEST(RigidBodySetSpeed, TheChosenPointMovesAtTheRequestedVelocity) {
  struct Case {
    double inverseMass;
    Vec3 inertia, point, velocity;
  } cases[] = {
      {1.0, {1, 1, 1}, {0, 0, 0}, {1, 2, 3}},
      {0.5, {1, 2, 3}, {1, -1, 0.5}, {0, 0, 4}},
      {2.0, {0, 0, 0}, {0, 1, 0}, {3, 0, 0}},  // no rotation: the whole body moves
      {1.0, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}},  // a locked axis: translation makes up for it
  };
  for (const Case& c : cases) {
    MDL_RigidBody b;
    b.inverseMass = c.inverseMass;
    b.setInertia(c.inertia);
    b.editWorld().position = Vec3(4, 5, 6);
    Matrix3::fromAngles(b.editWorld().basis, 0.2, 0.4, -0.3);
    b.editWorld().inverseStale = 1;
    b.setSpeed(c.point, c.velocity);
    Vec3 v = b.getVelocityAtPoint(b.getWorld().toWorldPoint(c.point));
    EXPECT_NEAR(v.x, c.velocity.x, 1e-9);
    EXPECT_NEAR(v.y, c.velocity.y, 1e-9);
    EXPECT_NEAR(v.z, c.velocity.z, 1e-9);
  }
  // An immovable body spins about its position so that the point moves at v.
  MDL_RigidBody fixed;
  fixed.inverseMass = 0;
  fixed.setSpeed(Vec3(2, 0, 0), Vec3(0, 4, 0));
  EXPECT_EQ(fixed.speed, Vec3());
  Vec3 w = fixed.getAngularSpeed();
  EXPECT_NEAR(w.z, 2.0, 1e-12);
}

TEST(RigidBodyStatic, RestitutionAndFrictionFollowTheImpulseRule) {
  // A body that cannot turn meets the floor at (1, 0, -1) per unit mass: the
  // normal impulse is (1 + mean elasticity) and friction may take at most
  // min(sum of frictions, 2) / 2 of it.
  struct Case {
    double friction, worldFriction, expectVx;
  } cases[] = {
      {0.8, 0.8, 0.0},                    // cap 1.28 > 1: sliding stops
      {0.1, 0.1, 1.0 - 0.2 * 1.6 * 0.5},  // cap 0.16
      {0.0, 0.0, 1.0},                    // no friction at all
      {1.5, 1.5, 0.0},                    // the sum is capped at 2
  };
  for (const Case& c : cases) {
    MDL_RigidBody b;
    b.setInertia(Vec3());
    b.friction = c.friction;
    b.speed = Vec3(1, 0, -1);
    b.elasticity = 0.5;
    EXPECT_TRUE(b.collideStatic(nullptr, Vec3(0, 0, -0.5), Vec3(0, 0, 1), nullptr, nullptr, 0.7, c.worldFriction));
    EXPECT_NEAR(b.speed.z, 0.6, 1e-12);  // bounced by the mean 0.6
    EXPECT_NEAR(b.speed.x, c.expectVx, 1e-12);
  }
  MDL_RigidBody leaving;
  leaving.speed = Vec3(0, 0, 1);
  EXPECT_FALSE(leaving.collideStatic(nullptr, Vec3(), Vec3(0, 0, 1), nullptr, nullptr, 0.6, 0.8));
  EXPECT_EQ(leaving.speed, Vec3(0, 0, 1));
}

TEST(RigidBodyFloor, FallsBouncesRestsOnTheFloorAndGoesStill) {
  Scene s;
  MDL_RigidBody* ball = addSphere(s, Vec3(0, 0, 2), 0.5);
  double lowest = 10, bounceIn = 0, bounceOut = 0;
  double stillAt = -1, settledAt = -1;
  for (int i = 0; i < 5000 && stillAt < 0; ++i) {
    double before = ball->speed.z;
    s.step(nullptr, s.integrationStep);
    double z = ball->getWorld().position.z;
    lowest = std::min(lowest, z);
    if (bounceIn == 0 && before < 0 && ball->speed.z > 0) {
      bounceIn = before;
      bounceOut = ball->speed.z;
    }
    if (settledAt < 0 && std::fabs(ball->speed.z) < 0.1 && z < 0.51 && bounceIn != 0 && ball->stillTimer > 0)
      settledAt = i * s.integrationStep;
    if (ball->still) stillAt = i * s.integrationStep;
  }
  // The first bounce returns the mean elasticity 0.6 of the impact speed
  // (gravity and damping of one step aside).
  ASSERT_LT(bounceIn, -5.0);
  EXPECT_NEAR(bounceOut / -bounceIn, 0.6, 0.01);
  EXPECT_GT(lowest, 0.45);  // separated every step: never sinks far
  ASSERT_GT(stillAt, 0);
  EXPECT_NEAR(ball->getWorld().position.z, 0.5, 0.01);
  EXPECT_GE(stillAt - settledAt, 2.0 - 0.01);
  Vec3 at = ball->getWorld().position;
  stepFor(s, 1.0);
  EXPECT_EQ(ball->getWorld().position, at);
}

TEST(RigidBodyFloor, VetoedContactLetsTheBodySink) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  proxy.preCollisionAnswer = false;
  Scene s;
  s.proxy.assign(&proxy.base());
  MDL_RigidBody* ball = addSphere(s, Vec3(0, 0, 1), 0.5);
  stepFor(s, 1.0, fakeEngine());
  EXPECT_LT(ball->getWorld().position.z, -2.0);
  ASSERT_FALSE(proxy.calls.empty());
  EXPECT_EQ(proxy.calls.front().id, CB_POST_INTEGRATION);
  bool asked = false;
  for (const auto& c : proxy.calls) {
    EXPECT_NE(c.id, CB_POST_COLLISION);
    asked = asked || c.id == CB_PRE_COLLISION;
  }
  EXPECT_TRUE(asked);
}

TEST(RigidBodyFloor, PreAndPostCallbacksReportTheContact) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  Scene s;
  s.proxy.assign(&proxy.base());
  MDL_RigidBody* ball = addSphere(s, Vec3(0, 0, 0.49), 0.5);
  ball->speed = Vec3(0, 0, -1);
  s.step(fakeEngine(), s.integrationStep);
  std::vector<int> ids;
  for (const auto& c : proxy.calls) ids.push_back(c.id);
  EXPECT_EQ(ids, std::vector<int>({CB_POST_INTEGRATION, CB_PRE_COLLISION, CB_POST_COLLISION, CB_MECHA}));
  EXPECT_GT(proxy.calls[1].value, 0.0);  // depth
  EXPECT_GT(proxy.calls[2].value, 0.0);  // impulse
  EXPECT_GE(ball->getWorld().position.z, 0.5 - 1e-12);
}

TEST(RigidBodyBounds, WallsOnEveryAxisBounceWithTheMeanElasticity) {
  struct Case {
    int axis;
    double lower, upper;
    Vec3 start, speed;
  } cases[] = {
      {0, -DBL_MAX, 5.0, {4.45, 0, 3}, {2, 0, 0}},
      {0, -5.0, DBL_MAX, {-4.45, 0, 3}, {-2, 0, 0}},
      {1, -5.0, 5.0, {0, 4.45, 3}, {0, 2, 0}},
      {2, -DBL_MAX, 10.0, {0, 0, 9.45}, {0, 0, 2}},
  };
  for (const Case& c : cases) {
    Scene s;
    s.gravity = Vec3();
    s.bounds[4] = -DBL_MAX;
    s.bounds[2 * c.axis] = c.lower;
    s.bounds[2 * c.axis + 1] = c.upper;
    MDL_RigidBody* b = addSphere(s, c.start, 0.5);
    b->damping = 0;
    b->setInertia(Vec3());
    b->speed = c.speed;
    stepFor(s, 0.1);
    EXPECT_NEAR(b->speed[c.axis], -(double)0.6f * c.speed[c.axis], 1e-12) << c.axis;
    double reach = b->getWorld().position[c.axis] + (c.speed[c.axis] > 0 ? 0.5 : -0.5);
    if (c.speed[c.axis] > 0) {
      EXPECT_LE(reach, c.upper + 1e-9);
    } else {
      EXPECT_GE(reach, c.lower - 1e-9);
    }
  }
}

TEST(RigidBodyBounds, AVetoedLowerWallFallsThroughToTheUpperOne) {
  // Both walls touched at once: the floor is asked first; refused, the ceiling acts.
  FakeProxyHooks hooks;
  FakeProxy proxy;
  Scene s;
  s.proxy.assign(&proxy.base());
  MDL_RigidBody* b = addSphere(s, Vec3(0, 0, 0.5), 0.6);
  b->inverseMass = 0;
  b->setInertia(Vec3());
  proxy.preCollisionAnswer = false;
  EXPECT_FALSE(b->collideBounds(fakeEngine(), 2, 0.0, 1.0, 0.6, 0.8));
  ASSERT_EQ(proxy.calls.size(), 2u);  // floor, then ceiling
  EXPECT_NEAR(proxy.calls[0].value, 0.1, 1e-12);
  EXPECT_NEAR(proxy.calls[1].value, 0.1, 1e-12);
  proxy.preCollisionAnswer = true;
  proxy.calls.clear();
  EXPECT_TRUE(b->collideBounds(fakeEngine(), 2, 0.0, 1.0, 0.6, 0.8));
  EXPECT_EQ(proxy.calls.size(), 1u);  // the floor acts and ends the test
}

TEST(RigidBodyBounds, MaskBitZeroDecidesWhichVolumesTouchTheWorld) {
  Scene s;
  MDL_RigidBody* b = addSphere(s, Vec3(0, 0, 1), 0.5);
  volumeOf(b)->collisionMask = 0xFFFFFFFEu;
  stepFor(s, 1.0);
  EXPECT_LT(b->getWorld().position.z, -1.0);
  MDL_RigidBody bare;
  EXPECT_FALSE(bare.collideBounds(nullptr, 2, 0.0, DBL_MAX, 0.6, 0.8));  // no children
}

// A mesh with a volume child: the bounds then see its vertices.
struct MeshBody {
  MeshData data;
  MDL_Mesh* mesh = new MDL_Mesh;
  MDL_RigidBody* body = new MDL_RigidBody;
  MeshBody(Scene& s, const Vec3& at) {
    const Vec3 corners[] = {{-1, -0.5, -0.25}, {1, 0.5, 0.25}, {0.5, -0.5, -0.3}, {0, 0, 0.1}};
    data.vertexCount = 4;
    data.vertices = new Vec3[4];
    for (int i = 0; i < 4; ++i) data.vertices[i] = corners[i];
    mesh->meshData = &data;
    body->editWorld().position = at;
    s.registerObject(body);
    mesh->editWorld().position = at;
    body->addChild(mesh);
    s.registerObject(mesh);
    MDL_CollisionVolume* v = new MDL_CollisionVolume(SHAPE_SPHERE);
    v->editWorld().position = at;
    v->editWorld().basis = scaledBasis(Vec3(0.1, 0.1, 0.1));
    mesh->addChild(v);
    s.registerObject(v);
  }
};

TEST(RigidBodyBounds, VerticesGroundCollisionUsesTheMeshVertices) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  Scene s;
  s.proxy.assign(&proxy.base());
  MeshBody mb(s, Vec3(0, 0, 0.25));
  mb.body->inverseMass = 0;  // stays put: only the contact is looked at
  EXPECT_FALSE(mb.body->collideBounds(fakeEngine(), 2, 0.0, DBL_MAX, 0.6, 0.8));  // the small sphere is clear
  mb.body->verticesGroundCollision = 1;
  EXPECT_TRUE(mb.body->collideBounds(fakeEngine(), 2, 0.0, DBL_MAX, 0.6, 0.8));
  ASSERT_EQ(proxy.calls.size(), 1u);
  EXPECT_NEAR(proxy.calls[0].value, 0.05, 1e-12);  // the vertex at z = -0.3 lies 0.05 below the floor
  mb.mesh->meshData = nullptr;
}

TEST(RigidBodyMass, FromTheMeshVerticesWithUnitExtentForEmptyAxes) {
  Scene s;
  MeshBody mb(s, Vec3(3, 4, 5));
  Matrix3::fromAngles(mb.body->editWorld().basis, 0.5, 0, 0);  // measured in the body frame all the same
  mb.body->editWorld().inverseStale = 1;
  RigidTransform before = mb.body->getWorld();
  mb.body->computeMassAndInertia(2.0);
  // Extents 2 x 1 x 0.55.
  double mass = 2.0 * 1.0 * 0.55 * 2.0;
  EXPECT_NEAR(mb.body->inverseMass, 1 / mass, 1e-12);
  EXPECT_NEAR(1 / mb.body->inverseInertia.x, (1 + 0.55 * 0.55) * mass / 12, 1e-12);
  EXPECT_NEAR(1 / mb.body->inverseInertia.y, (4 + 0.55 * 0.55) * mass / 12, 1e-12);
  EXPECT_NEAR(1 / mb.body->inverseInertia.z, (4 + 1) * mass / 12, 1e-12);
  EXPECT_EQ(mb.body->getWorld().position, before.position);
  EXPECT_EQ(mb.body->getWorld().basis.Y(), before.basis.Y());

  mb.body->computeMassAndInertia(0.0);
  EXPECT_EQ(mb.body->inverseMass, 0.0);
  EXPECT_EQ(mb.body->inverseInertia, Vec3());

  Scene other;
  MDL_RigidBody* plain = addSphere(other, Vec3(), 0.5);  // no mesh: extent 1 on every axis
  plain->computeMassAndInertia(3.0);
  EXPECT_NEAR(plain->inverseMass, 1 / 3.0, 1e-15);
  EXPECT_NEAR(plain->inverseInertia.x, 1 / (2 * 3.0 / 12), 1e-12);
  mb.mesh->meshData = nullptr;
}

}  // namespace
