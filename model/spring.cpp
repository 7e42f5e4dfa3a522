#include "model/spring.h"

#include "model/rigid_body.h"

Vec3 bodyWorldPoint(MDL_RigidBody* body, const Vec3& p) { return body ? body->getWorld().toWorldPoint(p) : p; }

Vec3 bodyPointVelocity(MDL_RigidBody* body, const Vec3& p) { return body ? body->getVelocityAtPoint(p) : Vec3(); }

void Spring::apply(double dt) {
  Vec3 pA = bodyWorldPoint(bodyA, pointA);
  Vec3 pB = bodyWorldPoint(bodyB, pointB);
  Vec3 d = pB - pA;
  double L = length3(d);
  Vec3 u = L > 0 ? d * (1.0 / L) : Vec3(1, 0, 0);
  double s = dot3(bodyPointVelocity(bodyB, pB) - bodyPointVelocity(bodyA, pA), u);
  double j = ((L - restLength) * stiffness + s * damping) * dt;
  if (bodyA) bodyA->applyImpulse(pA, u * j);
  if (bodyB) bodyB->applyImpulse(pB, u * -j);
}
