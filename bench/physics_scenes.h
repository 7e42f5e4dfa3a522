// Named physics scenes, shared by bench_physics and the test that reruns
// them with the plain contact sweep for bit-identical results:
//   stack10    a stack of 10 unit boxes on the floor
//   pyramid55  a 2-D pyramid of 55 unit boxes (10 rows)
//   pile400    400 spheres and boxes in a 10 x 10 x 4 grid, dropped into a pile
//   row1000    1,000 spheres resting on the floor in a row along y
//   row1000x   the same row along x, the sweep's own axis
//   grid4000   4,000 spheres and boxes resting on the floor, 80 x 50 apart
#pragma once

#include <vector>

#include "model/collision_volume.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace physics_scenes {

constexpr double kStep = 0.0020000000949949026;
constexpr double kGravityZ = -9.8100004196167;
constexpr double kFriction = 0.8;
constexpr double kElasticity = 0.6;
constexpr double kStillDelay = 2.0;
constexpr double kMass = 1.0;

struct BodySpec {
  bool sphere;
  double half;  // half size, or radius
  double x, y, z;
};

inline std::vector<BodySpec> stack10() {
  std::vector<BodySpec> v;
  for (int i = 0; i < 10; ++i) v.push_back({false, 0.5, 0, 0, 0.5 + i * 1.0});
  return v;
}

inline std::vector<BodySpec> pyramid55() {
  std::vector<BodySpec> v;
  for (int row = 0; row < 10; ++row) {
    int n = 10 - row;
    for (int i = 0; i < n; ++i) v.push_back({false, 0.5, (i - (n - 1) / 2.0) * 1.0, 0, 0.5 + row * 1.0});
  }
  return v;
}

inline std::vector<BodySpec> pile400() {
  std::vector<BodySpec> v;
  unsigned seed = 2024;
  auto jitter = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (((seed >> 16) & 0x7fff) / 32768.0 - 0.5) * 0.2;
  };
  for (int layer = 0; layer < 4; ++layer)
    for (int i = 0; i < 10; ++i)
      for (int j = 0; j < 10; ++j) {
        bool sphere = (i + j + layer) % 2 == 0;
        v.push_back({sphere, 0.4, i * 1.0 + jitter(), j * 1.0 + jitter(), 0.5 + layer * 1.0 + jitter() * 0.5});
      }
  return v;
}

// Spheres 0.25 apart, on the floor: no two touch.
inline std::vector<BodySpec> row(bool alongY) {
  std::vector<BodySpec> v;
  for (int i = 0; i < 1000; ++i) v.push_back({true, 0.5, alongY ? 0.0 : i * 1.25, alongY ? i * 1.25 : 0.0, 0.5});
  return v;
}
inline std::vector<BodySpec> row1000() { return row(true); }
inline std::vector<BodySpec> row1000x() { return row(false); }

inline std::vector<BodySpec> grid4000() {
  std::vector<BodySpec> v;
  for (int i = 0; i < 80; ++i)
    for (int j = 0; j < 50; ++j) v.push_back({(i + j) % 2 == 0, 0.4, i * 1.0, j * 1.0, 0.4});
  return v;
}

struct SceneSpec {
  const char* name;
  std::vector<BodySpec> (*make)();
};

const SceneSpec kScenes[] = {{"stack10", stack10}, {"pyramid55", pyramid55}, {"pile400", pile400},
                             {"row1000", row1000}, {"row1000x", row1000x},   {"grid4000", grid4000}};

// A rigid body with a sphere or box volume of its size, both registered.
inline MDL_RigidBody* addBody(Scene& s, const BodySpec& b) {
  MDL_RigidBody* body = new MDL_RigidBody;
  body->editWorld().position = Vec3(b.x, b.y, b.z);
  body->inverseMass = 1.0 / kMass;
  double I = b.sphere ? 0.4 * kMass * b.half * b.half : kMass * (2 * b.half) * (2 * b.half) / 6.0;
  body->setInertia(Vec3(I, I, I));
  s.registerObject(body);
  MDL_CollisionVolume* v = new MDL_CollisionVolume(b.sphere ? SHAPE_SPHERE : SHAPE_BOX);
  RigidTransform& w = v->editWorld();
  w.position = body->getWorld().position;
  for (int i = 0; i < 3; ++i) {
    w.basis.axis[i] = Vec3();
    w.basis.axis[i][i] = b.half;
  }
  w.inverseStale = 1;
  body->addChild(v);
  s.registerObject(v);
  return body;
}

// One body per spec, in spec order; the scene is built into `s`.
inline void build(Scene& s, const std::vector<BodySpec>& specs) {
  for (const BodySpec& b : specs) addBody(s, b);
}

}  // namespace physics_scenes
