// A video stream: an Ogg file of the package with a Theora picture track and
// optionally a Vorbis sound track, decoded as its frames come due. The
// current picture is an embedded image source (raw bottom-up RGB24 pixels
// the renderer uploads when they change), the sound a streaming record.
#pragma once

#include <cstdint>

#include "controller/vfs.h"
#include "model/callbacks.h"
#include "model/image_source.h"
#include "model/sample.h"

class CTRL_Generic;
struct VideoDecoder;  // the Ogg, Theora and Vorbis states, video_stream.cpp

struct VideoStream {
  LMP_ProxyRef proxy;
  ImageSource image;  // rawPixels, width x height x 3 bytes, freed by the stream
  SoundRecord sound;  // streaming; its paused flag is the stream's pause state
  PackageFile* file = nullptr;
  int32_t fileSize = 0;
  double time = 0.0;
  double nextFrameTime = -1.0;
  int32_t currentFrame = -1;
  double previousPageTime = -1.0;
  double lastPageTime = -1.0;
  int32_t frameCount = 0;
  uint32_t fpsNumerator = 0;
  uint32_t fpsDenominator = 0;
  VideoDecoder* decoder = nullptr;
  int64_t decodedFrame = -1;  // the picture the decoder holds, -1 for none

  VideoStream() = default;
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;
  ~VideoStream() { destroy(); }

  // A new stream on the file (null only when memory runs out). A file that
  // does not open, holds no Theora track or has unusable headers gives an
  // empty stream: no picture and 0 frames.
  static VideoStream* open(const char* name, CTRL_Generic* controller);
  // Frees every decoder state, the picture and the file and releases the
  // proxy links; a second call does nothing.
  void destroy();
  // Feeds pages into the streams; false when the file is exhausted (then
  // whether any page was taken).
  bool readPacket(bool onlyVideo);
  // Shows the picture due at t (clamped to the first and last).
  void seek(double t);
  // One frame of playing: the clock, due pictures and the decoded sound.
  void advance(double dt);
  // The decoded picture into the image's pixels; nothing while the decoder
  // has made none.
  void convertFrame();
  // When the last frame starts; 0 without frames or frame rate.
  double duration() const;
  // Start time of frame f.
  double frameTime(int64_t f) const;

 private:
  bool readHeaders();
  bool restart();
  void countFrames();
  enum class Decoded { Picture, Corrupt, End };
  Decoded decodeNextPicture(int64_t* frame, bool onlyVideo);
  void decodeAudio();
  int64_t keyframeSpacing() const;
  int64_t pageFrameAfter(int32_t at, int64_t* granule);
  int32_t positionBefore(int64_t target);
  bool scanPackets(int32_t at, int64_t last, int64_t decodeFrom, int64_t* key);
  bool seekByPages(int64_t frame);
  void dropAudio();
};
