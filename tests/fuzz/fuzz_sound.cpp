// Ogg Vorbis files as content gives them: the sound loader decodes the
// package file into a record (chained streams, channel changes, sizes).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "support/test_package.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  testpkg::RecordingController controller;
  fuzz::serveMember(controller, "s.ogg", data, size);
  controller.loadSound("s.ogg");
  return 0;
}
