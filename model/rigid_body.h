// A scene object moved by the physics step. Its shape comes from the
// collision volumes and meshes below it in the object tree.
#pragma once

#include <limits>

#include "model/constants.h"
#include "model/object.h"
#include "model/vec3.h"

class CTRL_ScriptEngine;

// The coefficients of damped motion over a step of dt (see integrate), kept
// for the rate asked last: the bodies of a scene mostly share their damping,
// and one exp() per body and step is worth saving.
struct DampingCoefficients {
  double rate = 0.0, dt = std::numeric_limits<double>::quiet_NaN();  // what k1, k2 and e are for
  double k1 = 0.0, k2 = 0.0, e = 1.0;
  const DampingCoefficients& of(double c, double step);
};

// The still thresholds are single-precision constants widened to double.
constexpr double kStillAngularSpeed2 = widen(0.1f);
constexpr double kStillLinearSpeed2 = widen(0.01f);
constexpr double kDampingThreshold = 1e-5;

class MDL_RigidBody : public MDL_Object {
 public:
  Vec3 force;
  Vec3 speed;
  double inverseMass = 1.0;
  Vec3 torque;
  Vec3 angularMomentum;
  Vec3 angularSpeed;
  Vec3 inverseInertia{100.0, 100.0, 100.0};
  double damping = widen(0.2f);
  double angularDamping = widen(0.2f);
  double elasticity = widen(0.6f);
  double friction = widen(0.8f);
  uint8_t still = 0;
  uint8_t verticesGroundCollision = 0;
  uint8_t angularDirty = 0;
  // The collision pass's own index of the body during one pass; stale
  // outside it, and checked before use. Beside `still`, which the pass
  // reads with it.
  int32_t sweepGroup = -1;
  double stillTimer = 0.0;
  double stillDelay = 2.0;
  int32_t keepAxis = 0;

  MDL_RigidBody();
  MDL_RigidBody(const MDL_RigidBody& other);
  MDL_RigidBody& operator=(const MDL_RigidBody&) = delete;
  ~MDL_RigidBody() override;
  MDL_Object* copyObject() const override { return new MDL_RigidBody(*this); }

  // Stores the inverse of the inertia diagonal; a zero component locks that axis.
  void setInertia(const Vec3& inertia);
  Vec3 getAngularSpeed();
  void setAngularSpeed(const Vec3& w);
  Vec3 getVelocityAtPoint(const Vec3& p);
  void applyImpulse(const Vec3& p, const Vec3& impulse);
  // Moves (and turns) the body as an impulse P at p would, but as a
  // displacement: the positional correction of contacts and joints.
  void resolveContact(const Vec3& p, const Vec3& P);
  // Makes the body point p (body coordinates) move with world velocity v.
  void setSpeed(const Vec3& p, const Vec3& v);
  void integrate(const Vec3& gravity, double dt);
  // The same with the coefficients kept from body to body.
  void integrate(const Vec3& gravity, double dt, DampingCoefficients& linear, DampingCoefficients& angular);
  void computeMassAndInertia(double density);
  bool collideBounds(CTRL_ScriptEngine* engine, int axis, double lower, double upper, double elasticity,
                     double friction);
  // Response to a contact with the immovable world at p, n pointing into the body.
  bool collideStatic(CTRL_ScriptEngine* engine, const Vec3& p, const Vec3& n, MDL_Object* volume, MDL_Object* other,
                     double elasticity, double friction);
  void separate(const Vec3& p, const Vec3& n, double depth);

  // Effective inverse mass of the body at offset r (world) along direction n
  // (world): inverseMass + sum of inverseInertia_i ((r x n)_i)^2 in the body frame.
  double effectiveInverseMass(const Vec3& r, const Vec3& n);
  // The same from r and n already in the body frame.
  double effectiveInverseMassLocal(const Vec3& rl, const Vec3& nl) const {
    Vec3 c = cross3(rl, nl);
    return inverseInertia.x * c.x * c.x + inverseInertia.y * c.y * c.y + inverseInertia.z * c.z * c.z + inverseMass;
  }
  // Squared-speed test shared by the still detection and the wake-up.
  bool belowStillThresholds();
};

// Inline: every contact and step calls these several times.
inline Vec3 MDL_RigidBody::getAngularSpeed() {
  if (angularDirty) {
    const RigidTransform& w = getWorld();
    angularSpeed = w.basis * mulComponents3(inverseInertia, w.inverse() * angularMomentum);
    angularDirty = 0;
  }
  return angularSpeed;
}

inline Vec3 MDL_RigidBody::getVelocityAtPoint(const Vec3& p) {
  Vec3 w = getAngularSpeed();
  return cross3(w, p - getWorld().position) + speed;
}

inline bool MDL_RigidBody::belowStillThresholds() {
  Vec3 w = getAngularSpeed();
  return lengthSquared3(w) < kStillAngularSpeed2 && lengthSquared3(speed) < kStillLinearSpeed2;
}

inline void MDL_RigidBody::applyImpulse(const Vec3& p, const Vec3& j) {
  addScaled3(speed, j, inverseMass);
  angularMomentum += cross3(p - getWorld().position, j);
  angularDirty = 1;
  if (stillDelay > 0 && !belowStillThresholds()) {
    still = 0;
    stillTimer = 0;
  }
}

// Effective inverse mass of body (null: the immovable world, 0) at world
// point p along n.
double inverseMassAt(MDL_RigidBody* body, const Vec3& p, const Vec3& n);

// Solves K J = dv for the impulse J that gives body point p (body frame) the
// velocity change dv, K = m I - [p]x diag(invI) [p]x. False when K is singular.
bool solveImpulseForPointVelocity(double inverseMass, const Vec3& inverseInertia, const Vec3& p, const Vec3& dv,
                                  Vec3& impulse);
