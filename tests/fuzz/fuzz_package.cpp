// The package opener on raw bytes: unscrambling, the digest and the
// signature check, then the config read of whatever passes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controller/ctrl_generic.h"
#include "fuzz_support.h"
#include "support/test_package.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  testpkg::RecordingController controller;
  controller.openPackage(testpkg::toBuffer(std::vector<uint8_t>(data, data + size)));
  return 0;
}
