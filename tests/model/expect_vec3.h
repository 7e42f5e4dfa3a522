// Component-wise comparison of vectors within a tolerance.
#pragma once

#include <gtest/gtest.h>

#include "model/vec3.h"

inline void expectNear(const Vec3& a, const Vec3& b, double eps = 1e-12) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}
