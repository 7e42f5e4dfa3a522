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
  ImageSource image;  // rawPixels, width x height x 3 bytes, freed by the stream; named after the file
  SoundRecord sound;  // streaming; its paused flag is the stream's pause state
  PackageFile* file = nullptr;
  int32_t fileSize = 0;
  double time = 0.0;
  double nextFrameTime = -1.0;  // when the picture after the one shown is due
  int32_t currentFrame = -1;    // the picture shown, -1 before the first
  double previousPageTime = -1.0;
  double lastPageTime = -1.0;
  int32_t frameCount = 0;
  uint32_t fpsNumerator = 0;
  uint32_t fpsDenominator = 0;
  VideoDecoder* decoder = nullptr;
  int64_t decodedFrame = -1;  // the picture the decoder holds, -1 for none
  // The sound queue is placed by sample positions of the track: its first
  // sample is at audioFront, and the decoder's next sample at audioNext (-1
  // until a page's granule position tells it). Samples that come before
  // what the queue needs are skipped, a hole before them is held as silence.
  int64_t audioFront = 0;
  int64_t audioNext = -1;
  double readVideoTime = -1.0;  // time of the last picture page read, -1 unknown
  bool lost = false;            // the file no longer reads as this stream; tried again each frame

  VideoStream() = default;
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;
  ~VideoStream() { destroy(); }

  // A new stream on the file (null only when memory runs out). A file that
  // does not open, holds no Theora track or has unusable headers gives an
  // empty stream: no picture and 0 frames, and a log line says why.
  static VideoStream* open(const char* name, CTRL_Generic* controller);
  // Frees every decoder state, the picture and the file and releases the
  // proxy links; a second call does nothing.
  void destroy();
  // Feeds pages into the streams; false when the file is exhausted (then
  // whether any page was taken).
  bool readPacket(bool onlyVideo);
  // Shows the picture due at t (clamped to the first and last), with the
  // sound from that picture's time on.
  void seek(double t);
  // One frame of playing: the clock, due pictures and the decoded sound.
  void advance(double dt);
  // The sound output played outFrames frames at outRate: that much of the
  // queue is gone (the fraction of a sample carried to the next call).
  void consumeAudio(int32_t outFrames, int32_t outRate);
  // The decoded picture into the image's pixels; nothing while the decoder
  // has made none.
  void convertFrame();
  // When the last frame starts; 0 without frames or frame rate.
  double duration() const;
  // Start time of frame f.
  double frameTime(int64_t f) const;

 private:
  enum class Page { None, Picture, Sound, Other };
  enum class Decoded { Picture, Corrupt, End, Waiting };
  bool readHeaders();
  bool restart();
  void countFrames();
  int64_t lastFramePageIn(int64_t start, int64_t stop, int64_t readEnd);
  Page readPage(bool withSound);
  Decoded decodeNextPicture(int64_t* frame, bool mayWait);
  bool audioActive() const;
  int64_t queueEnd() const { return audioFront + sound.frameCount(); }
  int64_t audioPosition(double t) const;
  void takeSoundPage(void* page);
  void decodeAudio();
  void queueSound(const float* const* pcm, int32_t n, int64_t at);
  void restartSound();
  void resetAudio(int64_t position);
  void dropAudioBefore(int64_t position);
  void fillAudio();
  bool readAheadFull() const;
  void noteFileEnd();
  void lose();
  int64_t keyframeSpacing() const;
  int64_t pageGranuleAfter(int32_t at, int serial);
  int64_t pageFrameAfter(int32_t at, int64_t* granule);
  int32_t soundPositionBefore(int64_t sample);
  int32_t positionBefore(int64_t target);
  bool scanPackets(int32_t at, int64_t last, int64_t decodeFrom, int64_t* key);
  bool seekByPages(int64_t frame);
};
