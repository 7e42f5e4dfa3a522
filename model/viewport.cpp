// The projection between viewport points and world points through a
// viewport's camera, and the orbit camera of the navigation state.
#include "model/viewport.h"

#include <cmath>

#include "model/camera.h"

namespace {

const double kHalfPi = 1.5707963267948966;

// Not above the minimum gives the minimum, else at most the maximum; so a
// NaN value ends at the minimum.
double clampToLimits(double value, double lo, double hi) {
  if (!(value > lo)) return lo;
  return value < hi ? value : hi;
}

}  // namespace

// The camera looks along its local -Z, X to the right and Y up; depth runs
// linearly in the camera's z from the near plane (0) to the far plane (1).
void Viewport::screenToWorld(const Vec3& point, Vec3& out) {
  if (!camera) return;
  const double n = camera->clipStart, f = camera->clipEnd, k = camera->invTanHalfAngle;
  const double z = (n - f) * point.z - n;
  const double s = z / k;
  const Vec3 inCamera((1.0 - 2.0 * point.x) * s, (2.0 * point.y - aspect()) * s, z);
  const RigidTransform& at = camera->getWorld();
  out = at.basis * inCamera + at.position;
}

void Viewport::worldToScreen(const Vec3& point, Vec3& out) {
  if (!camera) return;
  const double n = camera->clipStart, f = camera->clipEnd, k = camera->invTanHalfAngle;
  const RigidTransform& at = camera->getWorld();
  const Vec3 c = at.inverse() * (point - at.position);
  out.x = 0.5 - (c.x * k / c.z) * 0.5;
  out.y = (aspect() + c.y * k / c.z) * 0.5;
  out.z = (c.z + n) / (n - f);
}

void Viewport::updateCamera() {
  if (!camera || !orbits()) return;
  navigationRadius = clampToLimits(navigationRadius, radiusMin, radiusMax);
  navigationAzimuth = clampToLimits(navigationAzimuth, azimuthMin, azimuthMax);
  navigationElevation = clampToLimits(navigationElevation, elevationMin, elevationMax);

  RigidTransform& local = camera->editLocal();
  const double scale = length3(local.basis.Z());
  const double alpha = kHalfPi - navigationElevation;
  const double beta = navigationAzimuth - kHalfPi;
  const double ca = std::cos(alpha), sa = std::sin(alpha);
  const double cb = std::cos(beta), sb = std::sin(beta);
  const Vec3 x(cb, sb, 0.0);
  const Vec3 y(-sb * ca, cb * ca, sa);
  const Vec3 z(sb * sa, -cb * sa, ca);
  local.position = navigationPosition + z * navigationRadius;
  local.basis.X() = x * scale;
  local.basis.Y() = y * scale;
  local.basis.Z() = z * scale;
  local.inverseStale = 1;
}
