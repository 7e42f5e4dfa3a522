// checkerpng: writes a square RGB checkerboard as a PNG, for the demo's
// floor texture.
//
//   checkerpng OUT.png SIDE CELLS R1 G1 B1 R2 G2 B2
//
// SIDE pixels square, CELLS cells along each side (SIDE a multiple of
// CELLS), colours 0 to 255; the first colour takes the top left cell. Each
// cell is shaded a little toward its lower right, so tiles read as tiles.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool readInt(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int side = 0, cells = 0, colour[6] = {};
  bool ok = argc == 10 && readInt(argv[2], 1, 8192, &side) && readInt(argv[3], 1, side, &cells) && side % cells == 0;
  for (int i = 0; ok && i < 6; ++i) ok = readInt(argv[4 + i], 0, 255, &colour[i]);
  if (!ok) {
    std::fprintf(stderr, "usage: checkerpng OUT.png SIDE CELLS R1 G1 B1 R2 G2 B2\n");
    return 2;
  }
  const int cell = side / cells;
  std::vector<png_byte> rgb(static_cast<size_t>(side) * side * 3);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int* c = ((x / cell + y / cell) % 2) ? colour + 3 : colour;
      // Up to an eighth darker toward the cell's far corner.
      const int shade = 256 - 32 * ((x % cell) + (y % cell)) / (2 * cell);
      png_byte* p = &rgb[(static_cast<size_t>(y) * side + x) * 3];
      for (int k = 0; k < 3; ++k) p[k] = static_cast<png_byte>(c[k] * shade / 256);
    }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(side);
  image.height = static_cast<png_uint_32>(side);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, argv[1], 0, rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "checkerpng: cannot write %s: %s\n", argv[1], image.message);
    return 1;
  }
  return 0;
}
