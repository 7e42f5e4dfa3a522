// Real media for tests and benchmarks, written by the Debian encoders
// (libpng, libjpeg, libvorbisenc) or taken from Debian packages. Each maker
// answers the whole file's bytes ("" when the encoder refuses).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testmedia {

struct PngSpec {
  int width = 4;
  int height = 3;
  int colorType = 2;  // PNG_COLOR_TYPE_* (0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA)
  int bitDepth = 8;
  bool interlaced = false;
  bool transparency = false;  // a tRNS chunk (palette entries, or a colour key)
};
std::string makePng(const PngSpec& spec);
// An 8-bit PNG of the given pixels (1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
// channels), top row first as in the file.
std::string makePng(int width, int height, int channels, const std::vector<uint8_t>& pixels);

struct JpegSpec {
  int width = 8;
  int height = 8;
  int components = 3;  // 1 grey, 3 RGB, 4 CMYK (with an Adobe segment, no JFIF one)
  bool progressive = false;
  bool exif = false;        // an APP1 "Exif" segment in place of the JFIF one
  bool arithmetic = false;  // arithmetic coding in place of Huffman's
};
std::string makeJpeg(const JpegSpec& spec);

// The sample of channel c at frame i, in [-1, 1].
using Signal = std::function<float(int c, int64_t i)>;
// A sine per channel: 440 Hz on channel 0, 660 Hz on 1, ... at half scale.
Signal tones(int rate);
// An Ogg Vorbis file of frames frames at rate, written by libvorbisenc. Its
// pages hold about pageBytes each (0: libogg's usual 4 KB).
std::string makeOgg(int channels, int rate, int64_t frames, const Signal& signal, int pageBytes = 0);
std::string makeOgg(int channels, int rate, int64_t frames);

// A TrueType font from the fonts-dejavu-core package (not the built-in face).
extern const char kPackageFontPath[];
std::string readFile(const char* path);

}  // namespace testmedia
