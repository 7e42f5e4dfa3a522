// Keyframe animation: one AnimationData played on one scene object. Each
// step poses the object's local placement from the keys and then moves the
// clock on; the scene owns the records.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/vec3.h"

class MDL_Object;
struct AnimationData;

struct Animation {
  LMP_ProxyRef proxy;
  MDL_Object* target = nullptr;
  AnimationData* data = nullptr;  // shared with the models set
  double time = 0.0;              // seconds
  double duration = 0.0;          // playing stops once time passes it
  double speed = 1.0;             // clock seconds per second of step
  uint8_t playing = 1;

  // Poses the target for the current time, then advances the clock by
  // speed x dt. A missing or deleted target does neither.
  static void step(Animation* animation, double dt);
};

// The uniform Catmull-Rom point of p0..p3 at s (p1 at 0, p2 at 1).
void catmullRom3(Vec3& out, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double s);
