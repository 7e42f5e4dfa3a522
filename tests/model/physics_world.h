// Small scenes for the physics tests: bodies carrying one collision volume,
// free volumes, and stepping helpers.
#pragma once

#include "model/collision_volume.h"
#include "model/rigid_body.h"
#include "model/scene.h"

inline Matrix3 scaledBasis(const Vec3& s) {
  Matrix3 m;
  m.X() = Vec3(s.x, 0, 0);
  m.Y() = Vec3(0, s.y, 0);
  m.Z() = Vec3(0, 0, s.z);
  return m;
}

// A volume placed in the world (position and basis carry place and size).
inline MDL_CollisionVolume* addVolume(Scene& s, int shape, const Vec3& at, const Matrix3& basis) {
  MDL_CollisionVolume* v = new MDL_CollisionVolume(shape);
  RigidTransform& w = v->editWorld();
  w.position = at;
  w.basis = basis;
  w.inverseStale = 1;
  s.registerObject(v);
  return v;
}

// A body at `at` whose one volume child is centred on it with half sizes `size`.
inline MDL_RigidBody* addBody(Scene& s, int shape, const Vec3& at, const Vec3& size) {
  MDL_RigidBody* b = new MDL_RigidBody;
  b->editWorld().position = at;
  s.registerObject(b);
  MDL_CollisionVolume* v = new MDL_CollisionVolume(shape);
  RigidTransform& w = v->editWorld();
  w.position = at;
  w.basis = scaledBasis(size);
  w.inverseStale = 1;
  b->addChild(v);
  s.registerObject(v);
  return b;
}

inline MDL_RigidBody* addSphere(Scene& s, const Vec3& at, double radius) {
  return addBody(s, SHAPE_SPHERE, at, Vec3(radius, radius, radius));
}

inline MDL_RigidBody* addBox(Scene& s, const Vec3& at, double half) {
  return addBody(s, SHAPE_BOX, at, Vec3(half, half, half));
}

// Solid-box inertia for a cube of mass m and half size h.
inline void setCubeInertia(MDL_RigidBody* b, double m, double h) {
  b->inverseMass = 1.0 / m;
  double I = m * (2 * h) * (2 * h) / 6.0;
  b->setInertia(Vec3(I, I, I));
}

inline void stepFor(Scene& s, double seconds, CTRL_ScriptEngine* engine = nullptr) {
  int n = static_cast<int>(seconds / s.integrationStep + 0.5);
  for (int i = 0; i < n; ++i) s.step(engine, s.integrationStep);
}

inline MDL_CollisionVolume* volumeOf(MDL_RigidBody* b) { return static_cast<MDL_CollisionVolume*>(b->firstChild); }
