// Ogg Theora files as content gives them: a video stream opened on the
// package file (headers, frame count, the last page), played for a few
// frames, sought back, forth and out of range, and played on; then the
// file played by a script as content plays one, on an image and with its
// sound heard, while frames are drawn on a hidden window (the picture
// uploaded as it changes) and mixed, sought and paused between them.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "controller/video_stream.h"
#include "fuzz_support.h"
#include "script/engine.h"
#include "support/test_package.h"

namespace {

const char kScript[] = R"(
local stream, clock = nil, 0
function startup()
  local scene = newScene()
  local eye = newCamera(scene)
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(eye)
  view:setMike(newMike(eye))
  stream = newStream("v.ogg")
  local screen = newImage(scene, stream:getTexture())
  screen:setScale(v3(0.5, 0.5, 1))
  newSound(eye, stream:getSample())
  setCallback(CB_UPDATE, function(dt)
    clock = clock + 1
    if clock == 2 then stream:seek(stream:getDuration() / 2) end
    if clock == 3 then stream:pause() end
    if clock == 4 then stream:play() end
    if clock == 5 then stream:seek(0) end
  end)
end
)";

void play(const uint8_t* data, size_t size) {
  CTRL_Generic controller(std::make_unique<LMP_Engine>(), fuzz::hiddenRenderer(), std::make_unique<fuzz::FixedMixer>());
  fuzz::serveMembers(controller, {{"init.lua", kScript}, {"v.ogg", std::string(data, data + size)}});
  controller.setViewSize(fuzz::kWidth, fuzz::kHeight);
  for (int i = 0; i < 7 && !controller.load.stopped; ++i) fuzz::runFrame(controller, fuzz::hiddenWindow(), 0.1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUpDrawing("video");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  {
    testpkg::RecordingController controller;
    fuzz::serveMember(controller, "v.ogg", data, size);
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
  }
  play(data, size);
  return 0;
}
