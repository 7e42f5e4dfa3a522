// Physics phases of the scene step and the scene's spring and joint records.
#include <new>

#include "core/prefetch.h"

#include "model/joint.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "model/spring.h"

void Scene::applySprings(double dt) {
  for (Spring* s : springs) s->apply(dt);
}

void Scene::integrateBodies(double dt) {
  DampingCoefficients linear, angular;
  for (int32_t i = 0; i < rigidBodies.count; ++i) {
    if (i + 4 < rigidBodies.count) {
      const MDL_RigidBody* next = static_cast<const MDL_RigidBody*>(rigidBodies[i + 4]);
      prefetchRead(&next->still);
      prefetchRead(&next->world);
      prefetchRead(&next->speed);
      prefetchRead(&next->angularMomentum);
    }
    static_cast<MDL_RigidBody*>(rigidBodies[i])->integrate(gravity, dt, linear, angular);
  }
}

void Scene::solveJoints() {
  for (Joint* j : joints) j->solve();
}

bool Scene::collideBodyWithBounds(MDL_Object* body, CTRL_ScriptEngine* engine, int axis, double lower, double upper) {
  return static_cast<MDL_RigidBody*>(body)->collideBounds(engine, axis, lower, upper, boundsElasticity, boundsFriction);
}

Spring* Scene::addSpring() {
  Spring* s = new (std::nothrow) Spring;
  // No record: nothing is listed, or every step would meet a null spring.
  if (!s || !springs.append(s)) {
    delete s;
    return nullptr;
  }
  return s;
}

// Deleting the record releases its proxy link, which makes the proxy forget it.
void Scene::destroySpring(Spring* spring) { delete spring; }

void Scene::destroyJoint(Joint* joint) { delete joint; }

namespace {
bool goes(const MDL_RigidBody* body) { return body && body->pendingDelete; }
}  // namespace

bool Scene::springUsesDeleted(const Spring* s) { return goes(s->bodyA) || goes(s->bodyB); }

bool Scene::jointUsesDeleted(const Joint* j) { return goes(j->bodyA) || goes(j->bodyB); }
