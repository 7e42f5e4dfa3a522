// A damped spring between two body points, or a body point and a fixed world
// point. It acts through impulses only.
#pragma once

#include "model/callbacks.h"
#include "model/vec3.h"

class MDL_RigidBody;

struct Spring {
  LMP_ProxyRef proxy;
  double stiffness = 1.0;
  double damping = 0.5;
  double restLength = 0.0;
  MDL_RigidBody* bodyA = nullptr;
  MDL_RigidBody* bodyB = nullptr;
  Vec3 pointA;  // in bodyA's frame, or world when bodyA is null
  Vec3 pointB;

  void apply(double dt);
};

// The world point of a point stored in body's frame (the point itself for no body).
Vec3 bodyWorldPoint(MDL_RigidBody* body, const Vec3& p);
// The velocity of body at world point p (zero for no body).
Vec3 bodyPointVelocity(MDL_RigidBody* body, const Vec3& p);
