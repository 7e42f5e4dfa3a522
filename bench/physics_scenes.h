// Named physics scenes, shared by bench_physics and the test that reruns
// them with the plain contact sweep for bit-identical results:
//   stack10    a stack of 10 unit boxes on the floor
//   pyramid55  a 2-D pyramid of 55 unit boxes (10 rows)
//   pile400    400 spheres and boxes in a 10 x 10 x 4 grid, dropped into a pile
// and the scale scenes, each at 1,000, 2,000 and 4,000 bodies (N):
//   gridN      spheres and boxes resting on the floor, 1.0 apart (80 x 50 at 4,000)
//   rowxN      spheres resting on the floor in a row along x, the sweep's own axis
//   rowyN      the same row along y
//   rowzN      a column of spheres standing on the floor, falling onto each other
//   pileN      spheres and boxes in a grid four layers high, dropped into a pile
// and the player's own shape of four of them (meshgrid4000, meshrowx4000,
// meshrowy4000, meshpile2000): each body as scripts build it from a models
// set, a mesh scaled to its size under the body and a unit volume under the
// mesh, with the mass and inertia a new body starts with. Those bodies never
// all come to rest: the grid's boxes rock and slowly turn on the floor, the
// pile keeps shifting. meshgrid4000-20s and meshpile2000-2s are the same
// scenes later on, as a player shows them for most of its run.
#pragma once

#include <vector>

#include "model/collision_volume.h"
#include "model/mesh.h"
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

// nx x ny x layers bodies 1.0 apart, jittered, alternating spheres and boxes.
inline std::vector<BodySpec> pile(int nx, int ny, int layers, bool spheresOnly = false) {
  std::vector<BodySpec> v;
  unsigned seed = 2024;
  auto jitter = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (((seed >> 16) & 0x7fff) / 32768.0 - 0.5) * 0.2;
  };
  for (int layer = 0; layer < layers; ++layer)
    for (int i = 0; i < nx; ++i)
      for (int j = 0; j < ny; ++j) {
        bool sphere = spheresOnly || (i + j + layer) % 2 == 0;
        v.push_back({sphere, 0.4, i * 1.0 + jitter(), j * 1.0 + jitter(), 0.5 + layer * 1.0 + jitter() * 0.5});
      }
  return v;
}
inline std::vector<BodySpec> pile400() { return pile(10, 10, 4); }

// n spheres 0.25 apart along axis 0-2: on the floor no two touch; along z
// they stand in a column and fall onto each other.
inline std::vector<BodySpec> row(int n, int axis) {
  std::vector<BodySpec> v;
  for (int i = 0; i < n; ++i) {
    double along = i * 1.25;
    v.push_back({true, 0.5, axis == 0 ? along : 0.0, axis == 1 ? along : 0.0, 0.5 + (axis == 2 ? along : 0.0)});
  }
  return v;
}

// Spheres and boxes resting on the floor, nx x ny, 1.0 apart: no two touch.
inline std::vector<BodySpec> grid(int nx, int ny) {
  std::vector<BodySpec> v;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) v.push_back({(i + j) % 2 == 0, 0.4, i * 1.0, j * 1.0, 0.4});
  return v;
}

struct SceneSpec {
  const char* name;
  std::vector<BodySpec> (*make)();
  bool meshed = false;  // built with addMeshedBody
  int settleSteps = 0;  // steps run before the ones measured
};

const SceneSpec kScenes[] = {
    {"stack10", stack10},
    {"pyramid55", pyramid55},
    {"pile400", pile400},
    {"grid1000", [] { return grid(40, 25); }},
    {"grid2000", [] { return grid(50, 40); }},
    {"grid4000", [] { return grid(80, 50); }},
    {"rowx1000", [] { return row(1000, 0); }},
    {"rowx2000", [] { return row(2000, 0); }},
    {"rowx4000", [] { return row(4000, 0); }},
    {"rowy1000", [] { return row(1000, 1); }},
    {"rowy2000", [] { return row(2000, 1); }},
    {"rowy4000", [] { return row(4000, 1); }},
    {"rowz1000", [] { return row(1000, 2); }},
    {"rowz2000", [] { return row(2000, 2); }},
    {"rowz4000", [] { return row(4000, 2); }},
    {"pile1000", [] { return pile(25, 10, 4); }},
    {"pile2000", [] { return pile(25, 20, 4); }},
    {"pile4000", [] { return pile(50, 20, 4); }},
    {"meshgrid4000", [] { return grid(80, 50); }, true},
    {"meshrowx4000", [] { return row(4000, 0); }, true},
    {"meshrowy4000", [] { return row(4000, 1); }, true},
    {"meshpile2000", [] { return pile(25, 20, 4); }, true},
    {"meshgrid4000-20s", [] { return grid(80, 50); }, true, 10000},
    {"meshpile2000-2s", [] { return pile(25, 20, 4); }, true, 1000},
    // The player's pile: spheres only.
    {"meshballpile2000", [] { return pile(25, 20, 4, true); }, true},
    {"meshballpile2000-2s", [] { return pile(25, 20, 4, true); }, true, 1000},
};

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

// A body as a script makes it from a models-set object (a mesh with a
// collision volume below it): the body with its initial mass and inertia,
// the mesh copied under it and scaled to the size, the volume of unit size
// under the mesh; then the body is put in place. All three registered.
inline MDL_RigidBody* addMeshedBody(Scene& s, const BodySpec& b) {
  MDL_RigidBody* body = new MDL_RigidBody;
  s.registerObject(body);
  MDL_Mesh* mesh = new MDL_Mesh;
  s.registerObject(mesh);
  body->addChild(mesh);
  MDL_CollisionVolume* v = new MDL_CollisionVolume(b.sphere ? SHAPE_SPHERE : SHAPE_BOX);
  s.registerObject(v);
  mesh->addChild(v);
  RigidTransform& scaled = mesh->editWorld();
  Matrix3::setScale(scaled.basis, Vec3(b.half, b.half, b.half));
  scaled.inverseStale = 1;
  body->editWorldPosition().position = Vec3(b.x, b.y, b.z);
  return body;
}

// One body per spec, in spec order; the scene is built into `s`.
inline void build(Scene& s, const std::vector<BodySpec>& specs, bool meshed = false) {
  for (const BodySpec& b : specs) meshed ? addMeshedBody(s, b) : addBody(s, b);
}

}  // namespace physics_scenes
