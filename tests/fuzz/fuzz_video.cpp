// Ogg Theora files as content gives them: a video stream opened on the
// package file (headers, frame count, the last page), played for a few
// frames, sought back, forth and out of range, and played on.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "controller/video_stream.h"
#include "fuzz_member.h"
#include "platform/testing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  vsplat::DebugCapture quiet;  // the log lines of refused input would drown the fuzzer's own
  testpkg::RecordingController controller;
  serveMember(controller, "v.ogg", data, size);
  VideoStream* stream = VideoStream::open("v.ogg", &controller);
  if (!stream) return 0;
  for (int i = 0; i < 4; ++i) stream->advance(0.04);
  const double duration = stream->duration();
  for (double t : {duration / 2, 0.0, duration, -1.0, duration + 10, 1e300}) {
    stream->seek(t);
    stream->advance(0.1);
  }
  stream->convertFrame();
  delete stream;
  return 0;
}
