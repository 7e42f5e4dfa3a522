// A viewport: a rectangle of the window that shows a scene through a camera
// and hears it through a mike. The controller keeps the records; a script
// reaches one through its proxy.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/constants.h"
#include "model/vec3.h"

class MDL_Camera;
class MDL_Mike;

enum NavigationMode : int32_t {
  NAVIGATION_FREE = 0,
  NAVIGATION_FIXED = 1,
  NAVIGATION_MIXED = 2,
  NAVIGATION_GLASSBALL = 3,
};

struct Viewport {
  static constexpr double kNoLimit = kDoubleMax;

  LMP_ProxyRef proxy;
  Vec3 navigationPosition;  // the point the camera orbits
  double navigationRadius = 0;
  double navigationElevation = 0;  // radians
  double navigationAzimuth = 0;    // radians
  double radiusMin = 0, radiusMax = kNoLimit;
  double elevationMin = -kNoLimit, elevationMax = kNoLimit;
  double azimuthMin = -kNoLimit, azimuthMax = kNoLimit;
  MDL_Camera* camera = nullptr;
  MDL_Mike* mike = nullptr;
  // In units of the content width; y measured downwards from the top.
  double width = 0, height = 0;
  double x = 0, y = 0;
  double background[4] = {0, 0, 0, 0};
  bool active = true;
  int32_t navigationMode = 0;  // NAVIGATION_*
  int32_t shadowMode = 1;      // SHADOW_ZPASS 0 or SHADOW_ZFAIL 1

  Viewport() = default;
  Viewport(const Viewport&) = delete;
  Viewport& operator=(const Viewport&) = delete;

  // Maps a viewport point (x, y, depth) into the world through the camera;
  // without a camera `out` is left alone.
  void screenToWorld(const Vec3& point, Vec3& out);
  // The inverse: a world point to (x, y, depth). A point in the camera's
  // plane gives infinities, as the division says.
  void worldToScreen(const Vec3& point, Vec3& out);
  // Places the camera on its orbit from the navigation state, in the two
  // orbit modes only; clamps radius and angles to their limits first.
  void updateCamera();
  bool orbits() const { return navigationMode == NAVIGATION_MIXED || navigationMode == NAVIGATION_GLASSBALL; }
  // height / width; 0 for a viewport without width.
  double aspect() const { return width != 0 ? height / width : 0; }
};
