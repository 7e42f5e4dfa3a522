#include "model/collision_volume.h"

#include <cmath>

#include "model/rigid_body.h"

MDL_CollisionVolume::MDL_CollisionVolume(int32_t s) : shape(s) { type = OBJECT_COLLISION_VOLUME; }

MDL_CollisionVolume::MDL_CollisionVolume(const MDL_CollisionVolume& o)
    : MDL_Object(o),
      boundingRadius(o.boundingRadius),
      shape(o.shape),
      collisionLayer(o.collisionLayer),
      collisionMask(o.collisionMask) {}

MDL_CollisionVolume::~MDL_CollisionVolume() = default;

void MDL_CollisionVolume::updateSize() {
  const Matrix3& b = getWorld().basis;
  if (shape == SHAPE_SPHERE)
    boundingRadius = length3(b.X());
  else if (shape == SHAPE_BOX || shape == SHAPE_CYLINDER)
    boundingRadius = std::sqrt(lengthSquared3(b.X()) + lengthSquared3(b.Y()) + lengthSquared3(b.Z()));
}

bool MDL_CollisionVolume::extremePoints(int a, Vec3* lo, Vec3* hi) {
  double Vec3::*const along = a == 0 ? &Vec3::x : (a == 1 ? &Vec3::y : &Vec3::z);  // as Vec3's []
  const RigidTransform& w = getWorld();
  const Vec3& c = w.position;
  switch (shape) {
    case SHAPE_SPHERE: {
      double r = length3(w.basis.X());
      if (lo) {
        *lo = c;
        (*lo).*along -= r;
      }
      if (hi) {
        *hi = c;
        (*hi).*along += r;
      }
      return true;
    }
    case SHAPE_BOX:
      if (lo) {
        *lo = c;
        for (const Vec3& A : w.basis.axis) {
          if (A.*along > 0)
            *lo -= A;
          else
            *lo += A;
        }
      }
      if (hi) {
        *hi = c;
        for (const Vec3& A : w.basis.axis) {
          if (A.*along >= 0)
            *hi += A;
          else
            *hi -= A;
        }
      }
      return true;
    case SHAPE_CYLINDER: {
      const Vec3& Z = w.basis.Z();
      Vec3 d = Z;
      normalize3(d);
      double radius = length3(w.basis.X());
      Vec3 e;
      e.*along = 1.0;
      Vec3 u = e - d * dot3(e, d);
      if (!normalize3(u)) u = Vec3();
      if (lo) {
        *lo = Z.*along > 0 ? c - Z : c + Z;
        addScaled3(*lo, u, -radius);
      }
      if (hi) {
        *hi = Z.*along >= 0 ? c + Z : c - Z;
        addScaled3(*hi, u, radius);
      }
      return true;
    }
    default:
      return false;
  }
}

MDL_RigidBody* findOwningRigidBody(MDL_Object* o) {
  for (MDL_Object* p = o ? o->parent : nullptr; p; p = p->parent)
    if (p->type == OBJECT_RIGID_BODY) return static_cast<MDL_RigidBody*>(p);
  return nullptr;
}
