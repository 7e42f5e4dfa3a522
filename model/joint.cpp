#include "model/joint.h"

#include <cmath>

#include "model/rigid_body.h"
#include "model/spring.h"

namespace {

Vec3 worldDirection(MDL_RigidBody* body, const Vec3& d) { return body ? body->getWorld().basis * d : d; }

// How easily the body turns about v: sum of inverseInertia_i |v_i| in its frame.
double mobility(MDL_RigidBody* body, const Vec3& v) {
  if (!body) return 0.0;
  Vec3 l = body->getWorld().inverse() * v;
  return body->inverseInertia.x * std::fabs(l.x) + body->inverseInertia.y * std::fabs(l.y) +
         body->inverseInertia.z * std::fabs(l.z);
}

void turn(MDL_RigidBody* body, const Vec3& theta) {
  if (!body || isZero3(theta)) return;
  RigidTransform& w = body->editWorld();
  Matrix3::integrateRotation(w.basis, theta, body->keepAxis);
  w.inverseStale = 1;
  body->angularDirty = 1;
}

void solveAxisAxis(MDL_RigidBody* a, MDL_RigidBody* b, const Vec3& axisA, const Vec3& axisB) {
  Vec3 theta = cross3(worldDirection(a, axisA), worldDirection(b, axisB));
  double kA = mobility(a, theta), kB = mobility(b, theta);
  if (kA + kB != 0.0) {
    turn(a, theta * (kA / (kA + kB)));
    turn(b, theta * (-kB / (kA + kB)));
  }
  Vec3 axis = worldDirection(b, axisB);
  Vec3 wA = a ? a->getAngularSpeed() : Vec3();
  Vec3 wB = b ? b->getAngularSpeed() : Vec3();
  Vec3 dw = wB - wA;
  Vec3 w = dw - axis * dot3(axis, dw);
  double mA = mobility(a, w), mB = mobility(b, w);
  if (mA + mB == 0.0) return;
  if (a) a->setAngularSpeed(wA + w * (mA / (mA + mB)));
  if (b) b->setAngularSpeed(wB - w * (mB / (mA + mB)));
}

}  // namespace

void constrainPoints(MDL_RigidBody* a, MDL_RigidBody* b, const Vec3& pA, const Vec3& pB, const Vec3& w, double f) {
  double wl = length3(w);
  if (wl > 0) {
    Vec3 n = w * (1.0 / wl);
    double u = dot3(bodyPointVelocity(b, pB) - bodyPointVelocity(a, pA), n);
    double K = inverseMassAt(a, pA, n) + inverseMassAt(b, pB, n);
    double j = K == 0.0 ? 0.0 : (1 - f) * u / K;
    if (f == 0.0 || j < 0) {
      if (a) a->applyImpulse(pA, n * j);
      if (b) b->applyImpulse(pB, n * -j);
    }
  }
  Vec3 d = pB - pA;
  double dl = length3(d);
  if (dl != 0.0) {
    Vec3 n = d * (1.0 / dl);
    double K = inverseMassAt(a, pA, n) + inverseMassAt(b, pB, n);
    if (K != 0.0) {
      double P = dl / K;
      if (a) a->resolveContact(pA, n * P);
      if (b) b->resolveContact(pB, n * -P);
    }
  }
}

void Joint::init() {
  kind = 0;
  bodyA = bodyB = nullptr;
  pointA = pointB = Vec3();
  axisA = axisB = Vec3(1, 0, 0);
}

void Joint::solve() {
  switch (kind) {
    case JOINT_POINT_POINT: {
      Vec3 pA = bodyWorldPoint(bodyA, pointA), pB = bodyWorldPoint(bodyB, pointB);
      constrainPoints(bodyA, bodyB, pA, pB, bodyPointVelocity(bodyB, pB) - bodyPointVelocity(bodyA, pA), 0.0);
      break;
    }
    case JOINT_AXIS_AXIS:
      solveAxisAxis(bodyA, bodyB, axisA, axisB);
      break;
    case JOINT_POINT_AXIS: {
      Vec3 pA = bodyWorldPoint(bodyA, pointA), origin = bodyWorldPoint(bodyB, pointB);
      Vec3 dir = worldDirection(bodyB, axisB);
      Vec3 q = origin;
      if (normalize3(dir)) q = origin + dir * dot3(pA - origin, dir);
      Vec3 w = bodyPointVelocity(bodyB, q) - bodyPointVelocity(bodyA, pA);
      w -= dir * dot3(w, dir);
      constrainPoints(bodyA, bodyB, pA, q, w, 0.0);
      break;
    }
    case JOINT_POINT_ABOVE_PLANE:
    case JOINT_POINT_ON_PLANE: {
      Vec3 pA = bodyWorldPoint(bodyA, pointA), origin = bodyWorldPoint(bodyB, pointB);
      Vec3 normal = worldDirection(bodyB, axisB);
      if (!normalize3(normal)) break;
      double s = dot3(pA - origin, normal);
      if (kind == JOINT_POINT_ABOVE_PLANE && s >= 0) break;
      double e = ((bodyA ? bodyA->elasticity : 0.0) + (bodyB ? bodyB->elasticity : 0.0)) / 2;
      constrainPoints(bodyA, bodyB, pA, pA - normal * s, -normal, -e);
      break;
    }
    default:
      break;
  }
}
