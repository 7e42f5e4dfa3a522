// An RGBA colour of four doubles, 0 to 1: materials, lamps and vertex colours.
#pragma once

struct ColorRGBA {
  double r, g, b, a;
};
