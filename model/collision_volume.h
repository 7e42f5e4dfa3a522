// A sphere, box or cylinder placed and sized by its own world placement.
// Under a rigid body it gives the body its shape; under no body it is
// immovable world geometry.
#pragma once

#include <cstdint>

#include "core/prefetch.h"
#include "model/object.h"
#include "model/vec3.h"

class MDL_RigidBody;

// The first ancestor (starting at the parent) that is a rigid body, or null.
MDL_RigidBody* findOwningRigidBody(MDL_Object* object);

enum CollisionShape : int32_t { SHAPE_SPHERE = 1, SHAPE_BOX = 2, SHAPE_CYLINDER = 3 };

class MDL_CollisionVolume : public MDL_Object {
 public:
  double boundingRadius = 0.0;
  int32_t shape;
  uint32_t collisionLayer = 1;
  uint32_t collisionMask = 0xFFFFFFFFu;
  // The collision pass's own index of the volume during one sweep; stale
  // outside it, and checked before use.
  int32_t sweepIndex = -1;

  explicit MDL_CollisionVolume(int32_t shape);
  MDL_CollisionVolume(const MDL_CollisionVolume& other);
  MDL_CollisionVolume& operator=(const MDL_CollisionVolume&) = delete;
  ~MDL_CollisionVolume() override;
  MDL_Object* copyObject() const override { return new MDL_CollisionVolume(*this); }

  // Refreshes boundingRadius from the world placement.
  void updateSize();
  // The lowest and highest points of the shape along world axis 0-2; false
  // for an unknown shape.
  bool extremePoints(int axis, Vec3& lowest, Vec3& highest) { return extremePoints(axis, &lowest, &highest); }
  // The same for only the points asked for (a null pointer: not wanted).
  bool extremePoints(int axis, Vec3* lowest, Vec3* highest);

  // findOwningRigidBody(this), kept until any parent link changes.
  MDL_RigidBody* owningBody() {
    if (ownerEpoch != linkEpoch) {
      owner = findOwningRigidBody(this);
      ownerEpoch = linkEpoch;
    }
    return owner;
  }
  // Asks for what owningBody reads, ahead of a loop's call.
  void prefetchOwner() const { prefetchRead(&owner); }

 private:
  MDL_RigidBody* owner = nullptr;
  uint64_t ownerEpoch = 0;  // never a link epoch: a copy looks its owner up afresh
};
