#include "view/gl/matrix.h"

#include <cstring>

namespace glm4 {

void identity(double out[16]) {
  std::memset(out, 0, 16 * sizeof(double));
  out[0] = out[5] = out[10] = out[15] = 1.0;
}

void multiply(double out[16], const double a[16], const double b[16]) {
  double r[16];
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[c * 4 + k];
      r[c * 4 + row] = s;
    }
  std::memcpy(out, r, sizeof r);
}

namespace {

// Element (row, column) of a column-major matrix.
double at(const double m[16], int row, int column) { return m[column * 4 + row]; }

// The determinant of m without one row and one column.
double minor3(const double m[16], int skipRow, int skipColumn) {
  double a[3][3];
  for (int r = 0, i = 0; r < 4; ++r) {
    if (r == skipRow) continue;
    for (int c = 0, j = 0; c < 4; ++c) {
      if (c == skipColumn) continue;
      a[i][j++] = at(m, r, c);
    }
    ++i;
  }
  return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
         a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

}  // namespace

bool invert(double out[16], const double m[16]) {
  double cofactor[4][4];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) cofactor[r][c] = ((r + c) % 2 ? -1.0 : 1.0) * minor3(m, r, c);
  double det = 0;
  for (int c = 0; c < 4; ++c) det += at(m, 0, c) * cofactor[0][c];
  if (det == 0.0) {
    identity(out);
    return false;
  }
  // The inverse is the transposed cofactor matrix over the determinant.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[c * 4 + r] = cofactor[c][r] / det;
  return true;
}

void fromTransform(double out[16], const RigidTransform& t) {
  for (int c = 0; c < 3; ++c) {
    out[4 * c + 0] = t.basis.axis[c].x;
    out[4 * c + 1] = t.basis.axis[c].y;
    out[4 * c + 2] = t.basis.axis[c].z;
    out[4 * c + 3] = 0.0;
  }
  out[12] = t.position.x;
  out[13] = t.position.y;
  out[14] = t.position.z;
  out[15] = 1.0;
}

Vec3 transformPoint(const double m[16], const Vec3& p, double* w) {
  *w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
  return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
          m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

}  // namespace glm4
