// Scene: owns a set of scene objects and the physics records that join them,
// keeps them in lists by kind for the per-frame passes, and advances the
// simulation one step at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "model/callbacks.h"
#include "model/constants.h"
#include "model/hash_map.h"
#include "model/object.h"
#include "model/ptr_array.h"
#include "model/vec3.h"

class CTRL_ScriptEngine;
// Records written with the physics and animation code.
struct Spring;
struct Joint;
struct Animation;
// What the collision pass keeps from one pass to the next (model/contact_sweep.h).
class ContactSweepState;

// One end of a collision volume's interval along world x, for the sweep of
// the collision pass. Two per volume: a begin entry and an end entry.
struct SweepEntry {
  uint8_t begin = 0;
  double coordinate = 0.0;
  MDL_Object* volume = nullptr;  // an MDL_CollisionVolume
};

// Pairs each source object of an instantiation with its clone, so that an
// object reached twice (a bone used by an animated mesh and found again in
// the tree walk) is cloned once.
struct CloneMap {
  PtrArray<MDL_Object> sources;
  PtrArray<MDL_Object> clones;

  MDL_Object* find(const MDL_Object* source) const;
  bool add(MDL_Object* source, MDL_Object* clone);

 private:
  // Where each source sits in `sources`, so that a large subtree is cloned
  // in linear time. Trusted only while it covers every pair.
  HashMap<const MDL_Object*, int32_t, BytewiseEqual<const MDL_Object*>, WordMixHash<const MDL_Object*>> index;
};

// Lists hold the base pointer; an entry's class follows from its list (and
// type code), so a static_cast to it is safe: listItem<MDL_Mesh>(meshes, i).
template <class T>
T* listItem(const PtrArray<MDL_Object>& list, int32_t i) {
  return static_cast<T*>(list[i]);
}

class Scene {
 public:
  static constexpr double kUnbounded = kDoubleMax;

  LMP_ProxyRef proxy;
  PtrArray<MDL_Object> objects;           // every registered object; the scene deletes them
  PtrArray<MDL_Object> overlays;          // types 8, 9, 10, 12 (2-D overlay objects)
  PtrArray<MDL_Object> sounds;            // MDL_Sound (type 5)
  PtrArray<MDL_Object> meshes;            // MDL_Mesh (3) and MDL_AnimatedMesh (7)
  PtrArray<MDL_Object> rigidBodies;       // MDL_RigidBody (4)
  PtrArray<MDL_Object> collisionVolumes;  // MDL_CollisionVolume (13)
  PtrArray<MDL_Object> lamps;             // MDL_Lamp (1)
  PtrArray<MDL_Object> bones;             // MDL_Bone (6)
  PtrArray<Spring> springs;               // owned records
  PtrArray<Joint> joints;                 // owned records
  PtrArray<Animation> animations;         // owned records
  char* name = nullptr;                   // owned, may be null
  Vec3 gravity{0.0, 0.0, -9.8100004196167};
  double integrationStep = widen(0.002f);
  double boundsFriction = widen(0.8f);
  double boundsElasticity = widen(0.6f);
  uint8_t active = 1;
  // xMin, xMax, yMin, yMax, zMin, zMax: a floor at z = 0 only.
  double bounds[6] = {-kUnbounded, kUnbounded, -kUnbounded, kUnbounded, 0.0, kUnbounded};
  PtrArray<SweepEntry> sweepEntries;      // owned records, two per volume
  PtrArray<MDL_Object> sweepOpen{false};  // scratch list of the collision pass
  // Contacts offered to the pre-collision rule, whether or not a script was
  // asked; contact callbacks fired, and those during which some object's
  // placement changed.
  uint64_t contactsOffered = 0;
  uint64_t contactCallbacks = 0;
  uint64_t placementChangesInCallbacks = 0;
  // Made by the first collision pass; the scene's alone.
  std::unique_ptr<ContactSweepState> sweepState;

  explicit Scene(const char* sceneName = nullptr);
  // Deletes every animation, object, spring, joint and sweep entry.
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Appends object to objects and to the list of its kind; its local
  // placement becomes authoritative. Descendants are not registered.
  // False for null or an object already in this scene.
  bool registerObject(MDL_Object* object);

  // One simulation step of dt seconds: springs, integration (dt > 0 only),
  // CB_POST_INTEGRATION, joints, collisions, world bounds per body and
  // axis, CB_MECHA.
  void step(CTRL_ScriptEngine* engine, double dt) { stepWith(engine, dt, *this); }
  // The same step with each phase taken from `phases` (applySprings,
  // integrateBodies, solveJoints, collide, collideBodyWithBounds, as below):
  // step() passes the scene itself; a test may pass a recorder.
  template <class Phases>
  void stepWith(CTRL_ScriptEngine* engine, double dt, Phases& phases);
  // Skins every animated mesh whose bones moved, then clears every bone's
  // changed flag.
  void updateSkinning() { updateSkinningWith(*this); }
  // The same with skinMesh taken from `skin`.
  template <class Skin>
  void updateSkinningWith(Skin& skin);
  // Removes and deletes the objects flagged pendingDelete, with every
  // animation, spring, joint and sweep entry that refers to them.
  void purgeDeleted();
  // Orders the overlay list by world z, lowest first; overlays of equal z
  // (NaN counting as the lowest) keep the order they were registered in,
  // so that a later one covers an earlier one every frame.
  void sortOverlays();

  // Copies source (and its subtree) into this scene; null when source
  // cannot be cloned.
  MDL_Object* instantiateByName(MDL_Object* source);
  MDL_Object* instantiate(MDL_Object* source, CloneMap* map);
  // A new copy of source by its class, or the clone already in map; null
  // for null and for types that are not cloned (8-12).
  MDL_Object* cloneObject(MDL_Object* source, CloneMap* map);

  // Contact callbacks for the collision code. A scene nobody scripts (no
  // proxy, no engine, no script library) keeps every contact.
  bool firePreCollision(CTRL_ScriptEngine* engine, const Vec3& point, const Vec3& normal, double depth,
                        MDL_Object* bodyA, MDL_Object* volumeA, MDL_Object* bodyB, MDL_Object* volumeB);
  void firePostCollision(CTRL_ScriptEngine* engine, const Vec3& point, const Vec3& normal, double impulse,
                         MDL_Object* bodyA, MDL_Object* volumeA, MDL_Object* bodyB, MDL_Object* volumeB);

  // ---- Physics phases of step(), with their records. Their bodies live
  // in model/scene_physics.cpp, written with the rigid-body, collision,
  // spring and joint code.
  // Spring::apply(dt) for every spring in list order.
  void applySprings(double dt);
  // MDL_RigidBody::integrate(gravity, dt) for every rigid body.
  void integrateBodies(double dt);
  // Joint::solve() for every joint in list order.
  void solveJoints();
  // The collision pass (model/contact_sweep.cpp).
  void collide(CTRL_ScriptEngine* engine);
  // For one body and one axis that has a finite bound:
  // MDL_RigidBody::collideBounds(engine, axis, lower, upper,
  // boundsElasticity, boundsFriction).
  bool collideBodyWithBounds(MDL_Object* body, CTRL_ScriptEngine* engine, int axis, double lower, double upper);
  // A spring with the default values, appended to springs.
  Spring* addSpring();
  // Detach the proxy and free the record.
  static void destroySpring(Spring* spring);
  static void destroyJoint(Joint* joint);
  // Whether either body of the record is flagged pendingDelete.
  static bool springUsesDeleted(const Spring* spring);
  static bool jointUsesDeleted(const Joint* joint);

  // ---- Skinning and animation records. Their bodies live in
  // model/scene_animation.cpp, written with the bone, animated-mesh and
  // keyframe code.
  // MDL_AnimatedMesh::update(false) on one mesh of type 7.
  void skinMesh(MDL_Object* animatedMesh);
  // Detach the proxy and free the record.
  static void destroyAnimation(Animation* animation);
  // The animated object of the record (may be null).
  static MDL_Object* animationTarget(const Animation* animation);

 private:
  MDL_Object* instantiateTree(MDL_Object* source, CloneMap* map);
  MDL_Object* startClone(MDL_Object* source, CloneMap* map, bool* fresh);
};

template <class Phases>
void Scene::stepWith(CTRL_ScriptEngine* engine, double dt, Phases& phases) {
  phases.applySprings(dt);
  if (dt > 0.0) phases.integrateBodies(dt);
  LMP_fireCallback(proxy, engine, CB_POST_INTEGRATION, &dt);
  phases.solveJoints();
  phases.collide(engine);
  for (int32_t i = 0; i < rigidBodies.count; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      double lower = bounds[2 * axis], upper = bounds[2 * axis + 1];
      if (lower == -kUnbounded && upper == kUnbounded) continue;
      phases.collideBodyWithBounds(rigidBodies[i], engine, axis, lower, upper);
    }
  }
  LMP_fireCallback(proxy, engine, CB_MECHA, &dt);
}

template <class Skin>
void Scene::updateSkinningWith(Skin& skin) {
  for (int32_t i = 0; i < meshes.count; ++i)
    if (meshes[i]->type == OBJECT_ANIMATED_MESH) skin.skinMesh(meshes[i]);
  for (MDL_Object* b : bones) b->changed = 0;
}

// Orders two entries of a list of MDL_Object pointers by world z (for
// qsortBM): -1 when a's z is smaller, 1 when greater, 0 otherwise.
int compareDepth(const void* a, const void* b);
