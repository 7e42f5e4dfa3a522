#include "model/bone.h"

#include <cmath>
#include <utility>

#include <tinyxml.h>

#include "model/constants.h"
#include "model/xml_values.h"

namespace {

// The single-precision 1e-7 the limits have always been compared with.
constexpr double kTwistEpsilon = 1.0000000116860974e-07;
constexpr int kLimitPasses = 9;
constexpr int kChainPasses = 6;

}  // namespace

bool MDL_Bone::loadXml(const TiXmlElement* element) {
  MDL_Object::loadXml(element);
  if (!element) return true;
  // Same layout as "matrix"; a shorter list would leave axes undefined, so
  // the rest placement then stays as it was.
  double m[16];
  if (readRealsChild(element, "original_matrix", m, 16)) {
    restTransform.basis.axis[0] = Vec3(m[0], m[1], m[2]);
    restTransform.basis.axis[1] = Vec3(m[4], m[5], m[6]);
    restTransform.basis.axis[2] = Vec3(m[8], m[9], m[10]);
    restTransform.position = Vec3(m[12], m[13], m[14]);
    restTransform.inverseStale = 1;
  }
  static const char* const kLimitNames[3] = {"limit_xrot", "limit_yrot", "limit_zrot"};
  for (int axis = 0; axis < 3; ++axis) {
    double range[2];
    // One number alone would make a limit of half-read values: no limit.
    if (readRealsChild(element, kLimitNames[axis], range, 2)) {
      rotationLimits[2 * axis] = range[0] * kDegToRad;
      rotationLimits[2 * axis + 1] = range[1] * kDegToRad;
    }
  }
  return true;
}

void MDL_Bone::swapPose() {
  RigidTransform& t = editLocal();
  std::swap(t, restTransform);
  t.inverseStale = 1;
  restTransform.inverseStale = 1;
  localValid = 1;
}

bool MDL_Bone::clampAxis(RigidTransform& t, int i, double min, double max) {
  if (min == -kNoLimit && max == kNoLimit) return false;
  const int j = (i + 1) % 3, k = (i + 2) % 3;
  const Vec3& bi = t.basis.axis[i];
  // Undo the swing that tilts axis i away from its rest direction; what is
  // left of axis j's turn is the twist about axis i.
  double c = bi[i];
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  const double s = std::sqrt(1.0 - c * c);
  Vec3 w;
  w[j] = bi[k];
  w[k] = -bi[j];
  Vec3 u = t.basis.axis[j];
  rotateAboutAxis3(u, w, c, s);
  const double a = std::atan2(u[k], u[j]);
  if (a < min - kTwistEpsilon)
    Matrix3::rotateAxis(t.basis, i, min - a);
  else if (a > max + kTwistEpsilon)
    Matrix3::rotateAxis(t.basis, i, max - a);
  else
    return false;
  t.inverseStale = 1;
  return true;
}

void MDL_Bone::applyLimits() {
  recomputeLocal();
  RigidTransform t = local;
  restTransform.makeRelative(t);
  bool any = false;
  for (int pass = 0; pass < kLimitPasses; ++pass) {
    // All three axes every pass: clamping one can move another's twist.
    bool changedPass = false;
    for (int axis = 0; axis < 3; ++axis)
      changedPass |= clampAxis(t, axis, rotationLimits[2 * axis], rotationLimits[2 * axis + 1]);
    if (!changedPass) break;
    any = true;
  }
  if (!any) return;
  restTransform.compose(t);
  editLocal() = t;
}

void MDL_Bone::movePoint(const Vec3& point, const Vec3& target, CTRL_ScriptEngine* engine) {
  if (point == target) return;
  Vec3 cur = point;
  for (int pass = 0; pass < kChainPasses; ++pass) {
    bool moved = false;
    for (MDL_Object* o = this; o; o = (o->parent && o->parent->type == OBJECT_BONE) ? o->parent : nullptr) {
      MDL_Bone* b = static_cast<MDL_Bone*>(o);
      if (!(b->state & STATE_MOVABLE)) continue;
      const RigidTransform& w = b->getWorld();
      Vec3 to = w.toLocalPoint(target);
      const Vec3 held = w.toLocalPoint(cur);
      Vec3 from = held;
      // Two locked axes leave a turn about the third only: keep the
      // components that turn can reach.
      const bool lx = b->axisLocked(0), ly = b->axisLocked(1), lz = b->axisLocked(2);
      if (lx && ly) from.z = to.z = 0.0;
      if (lx && lz) from.y = to.y = 0.0;
      if (ly && lz) from.x = to.x = 0.0;
      Vec3 n = cross3(from, to);
      if (isZero3(n)) continue;
      const double cosine = dot3(from, to) / (length3(to) * length3(from));
      if (!(cosine > -1.0 && cosine < 1.0)) continue;

      b->recomputeLocal();
      const RigidTransform saved = b->local;
      const double before = lengthSquared3(cur - target);
      const Vec3 axis = b->local.basis * n;
      b->editLocal().rotateAboutAxis(axis, cosine, std::sqrt(1.0 - cosine * cosine));
      b->applyLimits();
      LMP_fireCallback(b->proxy, engine, CB_MOVED);

      const Vec3 carried = b->getWorld().toWorldPoint(held);
      if (lengthSquared3(carried - target) < before) {
        cur = carried;
        moved = true;
      } else {
        b->editLocal() = saved;
      }
    }
    if (!moved) break;
  }
}
