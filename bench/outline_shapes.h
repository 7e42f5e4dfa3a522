// Outlines of n points that are hard for ear clipping, shared by
// bench_overlays and the triangulation test that compares the fast clipper
// with a plain walk round the outline:
//   spiral  a band wound six times round, about 0.8 across: its inner
//           edge is all reflex corners, and finely sampled its corners are
//           nearly flat
//   comb    a bar with long thin teeth, 1 across: every ear of a tooth
//           reaches down the whole tooth
//   star    corners alternating between two radii, 2 across: half of its
//           corners are reflex
#pragma once

#include <cmath>

#include "model/polyline.h"

namespace outline_shapes {

constexpr double kPi = 3.141592653589793;

// n even, at least 8.
inline Vec2Array spiral(int n) {
  const int arm = n / 2;
  const double turns = 6, start = 2 * kPi, end = start + 2 * kPi * turns;
  const double a = 0.4 / end;    // radius a theta: 0.4 at the outer end
  const double width = kPi * a;  // half the distance between two turns
  Vec2Array points;
  for (int i = 0; i < arm; ++i) {
    const double t = start + (end - start) * i / (arm - 1), r = a * t;
    points.append({r * std::cos(t), r * std::sin(t)});
  }
  for (int i = arm - 1; i >= 0; --i) {
    const double t = start + (end - start) * i / (arm - 1), r = a * t - width;
    points.append({r * std::cos(t), r * std::sin(t)});
  }
  return points;
}

// n a multiple of 4, at least 8: n / 4 - 1 teeth.
inline Vec2Array comb(int n) {
  const int teeth = n / 4 - 1;
  const double w = 1.0 / teeth, height = 0.5, base = 0.05;
  Vec2Array points;
  points.append({0, -base});
  points.append({0.5, -2 * base});  // a shallow point under the middle
  points.append({1, -base});
  points.append({1, 0});
  for (int i = teeth - 1; i >= 0; --i) {
    const double x = i * w;
    points.append({x + 0.5 * w, 0});
    points.append({x + 0.5 * w, height});
    points.append({x, height});
    if (i > 0) points.append({x, 0});
  }
  points.append({0, 0});
  return points;
}

// n even.
inline Vec2Array star(int n) {
  Vec2Array points;
  for (int i = 0; i < n; ++i) {
    const double r = i % 2 ? 0.6 : 1.0, a = 2 * kPi * i / n;
    points.append({r * std::cos(a), r * std::sin(a)});
  }
  return points;
}

}  // namespace outline_shapes
