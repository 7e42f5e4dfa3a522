// pngbadge: writes a round RGBA badge as a PNG, for the demo's image
// overlay: a dark disc with a white rim, a light ring and a bright dot,
// smooth edges, transparent outside.
//
//   pngbadge OUT.png SIZE
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Coverage of a pixel by the band r0 <= distance < r1, one pixel soft.
double band(double d, double r0, double r1) {
  return std::clamp(d - r0 + 0.5, 0.0, 1.0) * std::clamp(r1 - d + 0.5, 0.0, 1.0);
}

void mix(double* rgb, const double* colour, double amount) {
  for (int k = 0; k < 3; ++k) rgb[k] += (colour[k] - rgb[k]) * amount;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pngbadge OUT.png SIZE\n");
    return 2;
  }
  const int size = std::atoi(argv[2]);
  if (size < 8 || size > 4096) {
    std::fprintf(stderr, "pngbadge: SIZE must be 8 to 4096\n");
    return 2;
  }
  const double centre = size / 2.0, radius = size / 2.0 - 1;
  const double disc[3] = {0.11, 0.19, 0.31}, rim[3] = {1, 1, 1}, ring[3] = {0.95, 0.76, 0.30},
               dot[3] = {0.55, 0.80, 0.35};
  std::vector<png_byte> pixels(size_t(size) * size * 4);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x + 0.5 - centre, y + 0.5 - centre);
      double rgb[3] = {disc[0], disc[1], disc[2]};
      mix(rgb, rim, band(d, radius * 0.9, radius + 1));
      mix(rgb, ring, band(d, radius * 0.55, radius * 0.8));
      mix(rgb, dot, band(d, 0, radius * 0.25));
      const double alpha = band(d, -1, radius);
      png_byte* p = &pixels[(size_t(y) * size + x) * 4];
      for (int k = 0; k < 3; ++k) p[k] = png_byte(std::lround(rgb[k] * 255));
      p[3] = png_byte(std::lround(alpha * 255));
    }

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(size);
  image.height = png_uint_32(size);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, argv[1], 0, pixels.data(), 0, nullptr)) {
    std::fprintf(stderr, "pngbadge: %s: %s\n", argv[1], image.message);
    return 1;
  }
  return 0;
}
