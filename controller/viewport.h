// A viewport: a rectangle of the window that shows a scene through a camera
// and hears it through a mike. The controller keeps the records; a script
// reaches one through its proxy.
#pragma once

#include <cstdint>

#include "model/callbacks.h"
#include "model/vec3.h"

class MDL_Camera;
class MDL_Mike;

struct Viewport {
  static constexpr double kNoLimit = 1.7976931348623157e308;

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
};
