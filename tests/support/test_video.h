// Ogg Theora files for tests and benchmarks, written by libtheoraenc (and
// libvorbisenc for an optional sound track).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/test_media.h"

namespace testmedia {

struct TheoraSpec {
  int width = 32;  // the picture; the coded frame is rounded up to 16s
  int height = 16;
  int picX = 0;
  int picY = 0;
  uint32_t fpsNumerator = 25;
  uint32_t fpsDenominator = 1;
  int frames = 10;
  int keyframeShift = 6;  // a key frame at least every 2^shift frames
  int audioChannels = 0;  // 0: pictures only
  int audioRate = 22050;
  int emptyFrames = 0;  // the first pictures written as empty packets (repeats)
  // The sound track's length in seconds; below 0, the pictures' length.
  double audioSeconds = -1;
  Signal audioSignal;       // the sound track's samples; tones(audioRate) when empty
  int audioPageBytes = 0;   // about this many bytes a sound page (0: libogg's usual)
  int picturesPerPage = 1;  // more gather several pictures on a page, up to libogg's most
  // The sound's pages are woven in by their end time less this many seconds:
  // above 0 the sound runs ahead of the pictures in the file, and its first
  // page may come before the first picture's.
  double soundAhead = 0;
};

// Y', Cb, Cr of frame f at picture pixel (x, y), y counted from the top.
struct YCbCr {
  uint8_t y, cb, cr;
};
using VideoPattern = std::function<YCbCr(int f, int x, int y)>;

// The whole file ("" when the encoder refuses). Outside the picture the
// coded frame is a fixed colour unlike any the tests use.
std::string makeTheora(const TheoraSpec& spec, const VideoPattern& pattern);

}  // namespace testmedia
