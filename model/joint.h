// Joints hold two body points or directions together (or a body to the
// world) by velocity and position corrections after each integration.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/vec3.h"

class MDL_RigidBody;

enum JointKind : int32_t {
  JOINT_POINT_POINT = 0,
  JOINT_AXIS_AXIS = 1,
  JOINT_POINT_AXIS = 2,
  JOINT_POINT_ABOVE_PLANE = 3,
  JOINT_POINT_ON_PLANE = 4,
};

struct Joint {
  LMP_ProxyRef proxy;
  int32_t kind = 0;
  MDL_RigidBody* bodyA = nullptr;
  MDL_RigidBody* bodyB = nullptr;
  Vec3 pointA;  // in A's frame (world when A is null)
  Vec3 pointB;
  Vec3 axisA{1, 0, 0};
  Vec3 axisB{1, 0, 0};  // a line direction or a plane normal

  // Back to the initial values (the proxy link stays).
  void init();
  void solve();
};

// Removes the relative velocity of world points pA (on A) and pB (on B)
// along w (only on approach, with rebound -f, when f < 0) and closes the gap
// between them.
void constrainPoints(MDL_RigidBody* a, MDL_RigidBody* b, const Vec3& pA, const Vec3& pB, const Vec3& w, double f);
