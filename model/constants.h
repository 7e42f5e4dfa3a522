// Numbers shared by the model, the controller and the scripts, written once.
#pragma once

#include <limits>

constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
// The largest double: "no limit" for ranges, the depth of a pick that found nothing.
constexpr double kDoubleMax = std::numeric_limits<double>::max();
