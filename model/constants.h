// Numbers shared by the model, the controller and the scripts, written once.
#pragma once

#include <limits>

constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
// The largest double: "no limit" for ranges, the depth of a pick that found nothing.
constexpr double kDoubleMax = std::numeric_limits<double>::max();

// Defaults that were single-precision numbers keep the float's exact value
// when widened, so results match content made against them: written as
// widen(0.2f), never as the long decimal it becomes.
constexpr double widen(float value) { return static_cast<double>(value); }
