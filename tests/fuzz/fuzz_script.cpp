// Byte programs over the whole scene API (see fuzz_program.h) in a player
// without a window: scripts, frames, the mixer and the input, no drawing.
#include <cstddef>
#include <cstdint>

#include "fuzz_program.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  fuzz::runProgram(data, size, nullptr);
  return 0;
}
