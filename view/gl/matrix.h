// 4 x 4 double matrices in OpenGL's column-major order.
#pragma once

#include "model/vec3.h"

namespace glm4 {

void identity(double out[16]);
// out := a b; out may alias a or b.
void multiply(double out[16], const double a[16], const double b[16]);
// Inverse by cofactors; false (and out the identity) for a singular matrix.
bool invert(double out[16], const double m[16]);
// Columns: the basis axes (w 0), then the position (w 1).
void fromTransform(double out[16], const RigidTransform& t);
// m (x, y, z, 1) before the perspective divide; w in *w.
Vec3 transformPoint(const double m[16], const Vec3& p, double* w);

}  // namespace glm4
