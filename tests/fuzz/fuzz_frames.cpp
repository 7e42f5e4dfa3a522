// Byte programs over the whole scene API (see fuzz_program.h) with every
// frame drawn by the OpenGL renderer on a hidden window: the viewports'
// passes (lights, opaque meshes and their buffers, the mirror, shadow
// volumes, the translucent tree), overlays, the glyph and texture caches,
// video frame uploads and picking under the mouse.
#include <cstddef>
#include <cstdint>

#include "fuzz_program.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUpDrawing("frames");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  fuzz::runProgram(data, size, fuzz::hiddenWindow());
  return 0;
}
