// Bones: the joints of a skinned character. Each bone keeps a rest
// placement and optional twist limits per axis, and can drag a point it
// holds toward a target by turning itself and the bones above it.
#pragma once

#include "model/constants.h"
#include "model/object.h"

class CTRL_ScriptEngine;

class MDL_Bone : public MDL_Object {
 public:
  static constexpr double kNoLimit = kDoubleMax;

  RigidTransform restTransform;
  // Radians: x min, x max, y min, y max, z min, z max. (-DBL_MAX, DBL_MAX)
  // is no limit; min = max locks the axis.
  double rotationLimits[6] = {-kNoLimit, kNoLimit, -kNoLimit, kNoLimit, -kNoLimit, kNoLimit};

  MDL_Bone() {
    type = OBJECT_BONE;
    state |= STATE_MOVABLE;
  }
  MDL_Bone(const MDL_Bone& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Bone(*this); }

  // The object reader, then "original_matrix" (16 numbers, or ignored)
  // and "limit_xrot"/"limit_yrot"/"limit_zrot" (min and max in degrees;
  // fewer than two numbers keep no limit).
  bool loadXml(const TiXmlElement* element) override;

  // Exchanges the local placement and the rest placement; the children
  // keep their local placements and follow.
  void swapPose();
  // Clamps the local rotation, taken relative to the rest placement, to
  // the twist limits.
  void applyLimits();
  // Whether it changed t: the twist of t about its own axis i brought back
  // into [min, max] (within a small tolerance).
  static bool clampAxis(RigidTransform& t, int axis, double min, double max);
  bool axisLocked(int axis) const { return rotationLimits[2 * axis] == rotationLimits[2 * axis + 1]; }

  // Moves the world point, held by this bone, toward the world target by
  // cyclic coordinate descent up the chain of bone ancestors. Fires
  // CB_MOVED on every bone it turns.
  void movePoint(const Vec3& point, const Vec3& target, CTRL_ScriptEngine* engine);
};
