// Ogg Vorbis files as content gives them: the sound loader decodes the
// package file into a record (chained streams, channel changes, sizes).
#include <cstddef>
#include <cstdint>

#include "fuzz_member.h"
#include "platform/testing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  vsplat::DebugCapture quiet;  // the log lines of refused input would drown the fuzzer's own
  testpkg::RecordingController controller;
  serveMember(controller, "s.ogg", data, size);
  controller.loadSound("s.ogg");
  return 0;
}
