#include "controller/video_stream.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "support/test_media.h"
#include "support/test_package.h"
#include "support/test_video.h"

namespace {

using testmedia::YCbCr;

struct StreamDeleter {
  void operator()(VideoStream* s) const { delete s; }
};
using StreamPtr = std::unique_ptr<VideoStream, StreamDeleter>;

// A stream on the member "v.ogg" of a package holding the bytes; the
// controller must outlive it.
struct Opened {
  std::unique_ptr<testpkg::RecordingController> controller;
  StreamPtr stream;
};

Opened openBytes(const std::string& bytes) {
  Opened o;
  o.controller = testpkg::openMembers({{"v.ogg", bytes}});
  EXPECT_TRUE(o.controller->package);
  o.stream.reset(VideoStream::open("v.ogg", o.controller.get()));
  EXPECT_TRUE(o.stream);
  return o;
}

// The file with the picture packet of frame `frame` spoiled: its first bit
// set, it reads as a header packet, which the decoder refuses. The file
// has a page per picture; the page's checksum is made good again, so only
// the packet is at fault.
std::string spoilPicture(const std::string& file, int frame, int keyframeShift) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* to = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
  std::copy(file.begin(), file.end(), to);
  ogg_sync_wrote(&sync, static_cast<long>(file.size()));
  std::string out;
  int theora = -1;
  bool spoiled = false;
  ogg_page page;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (ogg_page_bos(&page) && page.body_len > 7 && std::string(reinterpret_cast<char*>(page.body) + 1, 6) == "theora")
      theora = ogg_page_serialno(&page);
    const ogg_int64_t g = ogg_page_granulepos(&page);
    const ogg_int64_t index = (g >> keyframeShift) + (g & ((ogg_int64_t{1} << keyframeShift) - 1)) - 1;
    if (ogg_page_serialno(&page) == theora && g > 0 && index == frame && page.body_len > 0) {
      page.body[0] |= 0x80;
      ogg_page_checksum_set(&page);
      spoiled = true;
    }
    out.append(reinterpret_cast<char*>(page.header), static_cast<size_t>(page.header_len));
    out.append(reinterpret_cast<char*>(page.body), static_cast<size_t>(page.body_len));
  }
  ogg_sync_clear(&sync);
  EXPECT_TRUE(spoiled);
  return out;
}

// Each frame a flat grey of its own, so the picture tells the frame.
YCbCr greyOf(int f) { return YCbCr{static_cast<uint8_t>(40 + 6 * f), 128, 128}; }
int greyRed(int f) {  // the red (= green = blue) that grey converts to
  const int64_t v = (int64_t{4883779} * (40 + 6 * f) + 6694222 * 128 - 932903662) >> 22;
  return static_cast<int>(v);
}

// The colour at picture pixel (x, y) counted from the top.
const unsigned char* pixelAt(const VideoStream& s, int x, int y) {
  return s.image.data + (static_cast<size_t>(s.image.height - 1 - y) * s.image.width + x) * 3;
}

void expectNear(const unsigned char* rgb, int r, int g, int b, int tolerance, const char* where) {
  EXPECT_NEAR(rgb[0], r, tolerance) << where;
  EXPECT_NEAR(rgb[1], g, tolerance) << where;
  EXPECT_NEAR(rgb[2], b, tolerance) << where;
}

struct RateCase {
  uint32_t numerator, denominator;
  int frames;
};

TEST(VideoStreamOpen, FrameCountDurationAndFirstPicture) {
  for (const RateCase& c : {RateCase{25, 1, 30}, RateCase{30000, 1001, 20}}) {
    testmedia::TheoraSpec spec;
    spec.fpsNumerator = c.numerator;
    spec.fpsDenominator = c.denominator;
    spec.frames = c.frames;
    Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
    const VideoStream& s = *o.stream;
    SCOPED_TRACE(c.numerator);
    EXPECT_EQ(s.frameCount, c.frames);
    EXPECT_DOUBLE_EQ(s.duration(), double(c.frames - 1) * c.denominator / c.numerator);
    EXPECT_EQ(s.image.width, 32);
    EXPECT_EQ(s.image.height, 16);
    EXPECT_EQ(s.image.size, 32 * 16 * 3);
    EXPECT_TRUE(s.image.rawPixels);
    EXPECT_GT(s.image.id, 0);
    EXPECT_TRUE(s.sound.streaming);
    EXPECT_EQ(s.sound.channels.count, 0);  // no sound track
    EXPECT_EQ(s.currentFrame, 0);
    EXPECT_EQ(s.time, 0.0);
    EXPECT_TRUE(s.image.pixelsChanged);
    expectNear(pixelAt(s, 10, 5), greyRed(0), greyRed(0), greyRed(0), 3, "frame 0");
  }
}

TEST(VideoStreamOpen, OddPictureWithOffsetKeepsItsQuadrants) {
  testmedia::TheoraSpec spec;
  spec.width = 37;
  spec.height = 21;
  spec.picX = 3;
  spec.picY = 5;
  spec.frames = 3;
  // Top-left red, top-right green, bottom-left blue, bottom-right white (BT.601 studio range).
  auto pattern = [](int, int x, int y) {
    const bool right = x >= 18, bottom = y >= 10;
    if (!right && !bottom) return YCbCr{81, 90, 240};
    if (right && !bottom) return YCbCr{145, 54, 34};
    if (!right && bottom) return YCbCr{41, 240, 110};
    return YCbCr{235, 128, 128};
  };
  Opened o = openBytes(testmedia::makeTheora(spec, pattern));
  const VideoStream& s = *o.stream;
  ASSERT_EQ(s.image.width, 37);
  ASSERT_EQ(s.image.height, 21);
  EXPECT_EQ(s.frameCount, 3);
  struct Probe {
    int x, y, r, g, b;
  };
  const int tolerance = 12;
  for (const Probe& p : {Probe{5, 3, 255, 0, 0}, Probe{30, 3, 0, 255, 0}, Probe{5, 17, 0, 0, 255},
                         Probe{30, 17, 255, 255, 255}, Probe{0, 0, 255, 0, 0}, Probe{36, 20, 255, 255, 255}}) {
    const unsigned char* rgb = pixelAt(s, p.x, p.y);
    std::string where = "pixel " + std::to_string(p.x) + "," + std::to_string(p.y);
    expectNear(rgb, p.r, p.g, p.b, tolerance, where.c_str());
  }
}

TEST(VideoStreamSeek, ShowsTheFrameDueAndClamps) {
  testmedia::TheoraSpec spec;
  spec.frames = 30;
  spec.keyframeShift = 3;  // key frames every 8: the seek must decode from one
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  ASSERT_EQ(s.frameCount, 30);
  struct SeekCase {
    double time;
    int frame;
  };
  for (const SeekCase& c : {SeekCase{0.4, 10}, SeekCase{0.41, 10}, SeekCase{-3.0, 0}, SeekCase{100.0, 29},
                            SeekCase{0.1, 3}, SeekCase{0.079, 2}, SeekCase{0.86, 22}}) {
    s.seek(c.time);
    SCOPED_TRACE(c.time);
    EXPECT_EQ(s.currentFrame, c.frame);
    EXPECT_DOUBLE_EQ(s.time, c.frame / 25.0);
    EXPECT_DOUBLE_EQ(s.nextFrameTime, (c.frame + 1) / 25.0);  // the next picture's start
    expectNear(pixelAt(s, 16, 8), greyRed(c.frame), greyRed(c.frame), greyRed(c.frame), 3, "picture of the frame");
  }
  // Seeking to the picture shown decodes nothing.
  s.image.pixelsChanged = false;
  s.seek(22 / 25.0);
  EXPECT_FALSE(s.image.pixelsChanged);
}

TEST(VideoStreamSeek, LongClipSeeksAnywhereAndPlaysOnFromThere) {
  // 300 pictures, a key frame at least every 16, over a still textured
  // background so that most are not key frames; the block at the top left
  // tells the frame modulo 25, the one beside it the frame divided by 25.
  testmedia::TheoraSpec spec;
  spec.width = 96;
  spec.height = 64;
  spec.frames = 300;
  spec.keyframeShift = 4;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int x, int y) {
    if (y < 16 && x < 32) return YCbCr{static_cast<uint8_t>(x < 16 ? 40 + 7 * (f % 25) : 40 + 14 * (f / 25)), 128, 128};
    return YCbCr{static_cast<uint8_t>(60 + ((x * 5 + y * 9) % 120)), static_cast<uint8_t>(100 + x % 40), 140};
  }));
  VideoStream& s = *o.stream;
  ASSERT_EQ(s.frameCount, 300);
  auto shows = [&](int f) {
    const int left = 40 + 7 * (f % 25), right = 40 + 14 * (f / 25);
    auto grey = [](int y) { return static_cast<int>((int64_t{4883779} * y + 6694222 * 128 - 932903662) >> 22); };
    return std::abs(pixelAt(s, 4, 8)[0] - grey(left)) <= 3 && std::abs(pixelAt(s, 28, 8)[0] - grey(right)) <= 3;
  };
  for (int frame : {250, 17, 16, 299, 1, 130, 131, 200, 33, 0, 260, 47}) {
    s.seek(frame / 25.0);
    ASSERT_EQ(s.currentFrame, frame);
    EXPECT_TRUE(shows(frame)) << "after a seek to " << frame;
    if (frame + 2 < 300) {
      // Playing on numbers the pictures right.
      s.advance(0.04);
      EXPECT_EQ(s.currentFrame, frame + 1) << frame;
      EXPECT_TRUE(shows(frame + 1)) << "playing on from " << frame;
    }
  }
}

TEST(VideoStreamSeek, DamagedDataNeverHangsOrLeavesTheRange) {
  testmedia::TheoraSpec spec;
  spec.width = 64;
  spec.height = 32;
  spec.frames = 120;
  spec.keyframeShift = 3;
  spec.audioChannels = 1;
  const std::string whole = testmedia::makeTheora(spec, [](int f, int x, int y) {
    return YCbCr{static_cast<uint8_t>(30 + ((x * 3 + y * 7 + f) % 150)), 128, static_cast<uint8_t>(100 + f % 50)};
  });
  std::string scribbled = whole;
  unsigned state = 99;
  for (size_t i = scribbled.size() / 3; i < scribbled.size(); i += 97)
    scribbled[i] = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  // Cut short (its last pages gone: fewer frames than the headers promise
  // elsewhere), and written over past its first third.
  for (const std::string& bytes : {whole.substr(0, whole.size() * 3 / 5), scribbled}) {
    Opened o = openBytes(bytes);
    VideoStream& s = *o.stream;
    ASSERT_GT(s.frameCount, 0);
    for (int frame : {100, 5, 119, 60, 0, 90, 30}) {
      s.seek(frame / 25.0);
      EXPECT_GE(s.currentFrame, 0);
      EXPECT_LT(s.currentFrame, s.frameCount);
      for (int i = 0; i < 5; ++i) s.advance(0.04);
      EXPECT_GE(s.currentFrame, 0);
      EXPECT_LE(s.currentFrame, s.frameCount);
    }
  }
}

TEST(VideoStreamAdvance, PlaysPausesAndLoops) {
  testmedia::TheoraSpec spec;
  spec.frames = 10;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  s.sound.paused = true;
  s.advance(0.2);
  EXPECT_EQ(s.time, 0.0);
  EXPECT_EQ(s.currentFrame, 0);
  s.sound.paused = false;
  // 1/25 s steps: each advance shows the next picture, never all of them.
  s.advance(0.04);
  EXPECT_NEAR(s.time, 0.04, 1e-12);
  EXPECT_EQ(s.currentFrame, 1);  // the picture shown
  expectNear(pixelAt(s, 3, 3), greyRed(1), greyRed(1), greyRed(1), 3, "frame 1");
  s.advance(0.04);
  expectNear(pixelAt(s, 3, 3), greyRed(2), greyRed(2), greyRed(2), 3, "frame 2");
  // Past the end the stream starts again at 0.
  for (int i = 0; i < 12; ++i) s.advance(0.04);
  EXPECT_LT(s.time, 0.2);
  EXPECT_LE(s.currentFrame, 5);
}

TEST(VideoStreamAdvance, AFrameOfNoTimeKeepsThePictureShown) {
  testmedia::TheoraSpec spec;
  spec.frames = 20;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  // Just opened, and just after a seek, the clock stands on the picture's
  // own start: a frame with dt = 0 (the first after the timer starts) shows
  // it on, and so does a step within its time; the step that reaches the
  // next picture's start shows that one.
  for (double at : {-1.0, 0.4}) {
    SCOPED_TRACE(at);
    if (at >= 0) s.seek(at);
    const int shown = s.currentFrame;
    s.image.pixelsChanged = false;
    s.advance(0.0);
    EXPECT_EQ(s.currentFrame, shown);
    EXPECT_FALSE(s.image.pixelsChanged);
    expectNear(pixelAt(s, 3, 3), greyRed(shown), greyRed(shown), greyRed(shown), 3, "picture kept");
    s.advance(0.01);
    EXPECT_EQ(s.currentFrame, shown);
    EXPECT_FALSE(s.image.pixelsChanged);
    s.advance(0.03);
    EXPECT_EQ(s.currentFrame, shown + 1);
    expectNear(pixelAt(s, 3, 3), greyRed(shown + 1), greyRed(shown + 1), greyRed(shown + 1), 3, "next picture");
  }
}

TEST(VideoStreamAdvance, ACorruptPacketEndsTheFramesDecoding) {
  testmedia::TheoraSpec spec;
  spec.frames = 40;
  Opened o = openBytes(
      spoilPicture(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }), 5, spec.keyframeShift));
  VideoStream& s = *o.stream;
  ASSERT_EQ(s.frameCount, 40);
  // A second's step is due 25 pictures on, but decoding stops at the bad
  // packet: the last good picture shows, the rest wait for the next frame.
  s.advance(1.0);
  EXPECT_EQ(s.currentFrame, 4);
  expectNear(pixelAt(s, 3, 3), greyRed(4), greyRed(4), greyRed(4), 3, "the picture before the bad packet");
  s.advance(0.04);
  EXPECT_GT(s.currentFrame, 4);
  EXPECT_LE(s.currentFrame, s.frameCount);
}

TEST(VideoStreamOpen, APictureRepeatedBeforeAnyWasDecodedShowsNothing) {
  // An earlier stream of the same size leaves its decoder's memory behind,
  // so a picture taken from a decoder that holds none would show up.
  testmedia::TheoraSpec spec;
  spec.frames = 6;
  {
    Opened earlier = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
    for (int i = 0; i < 3; ++i) earlier.stream->advance(0.04);
  }
  spec.emptyFrames = 1;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  ASSERT_EQ(s.frameCount, 6);
  EXPECT_EQ(s.currentFrame, 0);
  EXPECT_FALSE(s.image.pixelsChanged);
  s.convertFrame();
  EXPECT_FALSE(s.image.pixelsChanged);
  const std::vector<unsigned char> shown(s.image.data, s.image.data + s.image.size);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), 0), s.image.size);
  // The first coded picture is shown as usual.
  s.advance(0.04);
  EXPECT_EQ(s.currentFrame, 1);
  EXPECT_TRUE(s.image.pixelsChanged);
}

TEST(VideoStreamOpen, FilesWithoutPicturesGiveEmptyStreams) {
  std::string noise(20000, '\0');
  unsigned state = 12345;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  testmedia::TheoraSpec huge;
  huge.width = 16400;
  huge.height = 8;
  huge.frames = 1;
  const std::string cases[] = {testmedia::makeOgg(1, 22050, 22050), noise, "",
                               testmedia::makeTheora(huge, [](int, int, int) {
                                 return YCbCr{16, 128, 128};
                               })};
  ASSERT_FALSE(cases[3].empty());
  for (const std::string& bytes : cases) {
    Opened o = openBytes(bytes);
    VideoStream& s = *o.stream;
    EXPECT_EQ(s.frameCount, 0);
    EXPECT_EQ(s.image.data, nullptr);
    EXPECT_EQ(s.duration(), 0.0);
    s.seek(1.0);
    s.advance(0.5);
    s.convertFrame();
    EXPECT_EQ(s.currentFrame, -1);
    EXPECT_FALSE(s.image.pixelsChanged);
  }
  // A file the package does not hold.
  Opened o = openBytes("x");
  StreamPtr missing(VideoStream::open("nothing.ogg", o.controller.get()));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->file, nullptr);
  EXPECT_EQ(missing->frameCount, 0);
}

TEST(VideoStreamOpen, SoundTrackSetsUpTheStreamingRecord) {
  testmedia::TheoraSpec spec;
  spec.frames = 75;
  spec.audioChannels = 2;
  spec.audioRate = 22050;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  EXPECT_EQ(s.frameCount, 75);
  EXPECT_EQ(s.sound.sampleRate, 22050);
  ASSERT_EQ(s.sound.channels.count, 2);
  // Opened, the sound of the first moments is decoded for the first fill.
  EXPECT_GE(s.sound.frameCount(), 22050 / 5);
  EXPECT_EQ(s.audioFront, 0);
  for (int i = 0; i < 50; ++i) s.advance(0.04);
  // The sound read with the pictures of 2 s: at least those 2 s, at most the
  // file's 3, from its very start (nothing read at opening is lost).
  EXPECT_GE(s.sound.frameCount(), 2 * 22050);
  EXPECT_LE(s.sound.frameCount(), 3 * 22050);
  EXPECT_EQ(s.sound.channels[1].count, s.sound.channels[0].count);
  ASSERT_GT(s.sound.frameCount(), 1000);
  const testmedia::Signal tone = testmedia::tones(22050);
  for (int i = 0; i < 1000; ++i) ASSERT_NEAR(s.sound.channels[0][i], tone(0, i), 0.05) << i;
  // A seek starts the queue at the picture's time (frame 13 at 0.52 s).
  s.seek(0.5);
  EXPECT_EQ(s.audioFront, 11466);
  ASSERT_GE(s.sound.frameCount(), 22050 / 5);
  for (int i = 0; i < 1000; ++i) ASSERT_NEAR(s.sound.channels[0][i], tone(0, 11466 + i), 0.05) << i;
}

}  // namespace

namespace {

// The pages of an Ogg file with where each starts.
struct PageAt {
  int64_t offset;
  int serial;
  int64_t granule;
  bool bos;
  bool theora;  // a page of the Theora track
};
std::vector<PageAt> pagesOf(const std::string& file) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* to = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
  std::copy(file.begin(), file.end(), to);
  ogg_sync_wrote(&sync, static_cast<long>(file.size()));
  std::vector<PageAt> pages;
  int theora = -1;
  int64_t at = 0;
  ogg_page page;
  long r;
  while ((r = ogg_sync_pageseek(&sync, &page)) != 0) {
    if (r < 0) {
      at -= r;
      continue;
    }
    const bool bos = ogg_page_bos(&page);
    if (bos && page.body_len > 7 && std::string(reinterpret_cast<char*>(page.body) + 1, 6) == "theora")
      theora = ogg_page_serialno(&page);
    pages.push_back(
        {at, ogg_page_serialno(&page), ogg_page_granulepos(&page), bos, ogg_page_serialno(&page) == theora});
    at += r;
  }
  ogg_sync_clear(&sync);
  return pages;
}

// How far from the end of the file the last picture page with a frame
// number starts.
int64_t lastFramePageFromEnd(const std::string& file) {
  int64_t last = -1;
  for (const PageAt& p : pagesOf(file))
    if (p.theora && p.granule >= 0 && !p.bos) last = p.offset;
  return last < 0 ? -1 : static_cast<int64_t>(file.size()) - last;
}

// A picture of noise that changes every frame: large pages, a frame told by
// its top left block.
YCbCr noisyFrame(int f, int x, int y) {
  if (x < 16 && y < 16) return greyOf(f);
  uint32_t v =
      static_cast<uint32_t>(x) * 7919u + static_cast<uint32_t>(y) * 104729u + static_cast<uint32_t>(f) * 15485863u;
  v ^= v >> 16;
  v *= 0x7feb352du;
  v ^= v >> 15;
  v *= 0x846ca68bu;
  v ^= v >> 16;
  return YCbCr{static_cast<uint8_t>(16 + v % 220), static_cast<uint8_t>(v * 3), static_cast<uint8_t>(v * 5)};
}

TEST(VideoStreamOpen, TheLastFrameNumberIsFoundFarFromTheEnd) {
  // Sound that runs on for 14 s after 1 s of pictures, and pictures gathered
  // on pages of up to 64 KiB: either way the last page with a frame number
  // lies more than 40 KiB before the end.
  testmedia::TheoraSpec longSound;
  longSound.frames = 25;
  longSound.audioChannels = 2;
  longSound.audioRate = 44100;
  longSound.audioSeconds = 15;
  testmedia::TheoraSpec largePages;
  largePages.width = largePages.height = 64;
  largePages.frames = 40;
  largePages.picturesPerPage = 10;
  largePages.keyframeShift = 3;
  for (const testmedia::TheoraSpec& spec : {longSound, largePages}) {
    const std::string file = testmedia::makeTheora(spec, noisyFrame);
    SCOPED_TRACE(spec.frames);
    ASSERT_GT(lastFramePageFromEnd(file), 40960);
    vsplat::DebugCapture log;
    Opened o = openBytes(file);
    VideoStream& s = *o.stream;
    EXPECT_EQ(s.frameCount, spec.frames);
    EXPECT_EQ(s.currentFrame, 0);
    expectNear(pixelAt(s, 3, 3), greyRed(0), greyRed(0), greyRed(0), 3, "first picture");
    s.seek(spec.frames / 2 / 25.0);
    EXPECT_EQ(s.currentFrame, spec.frames / 2);
    const int f = spec.frames / 2;
    expectNear(pixelAt(s, 3, 3), greyRed(f), greyRed(f), greyRed(f), 3, "picture after a seek");
    EXPECT_EQ(log.text(), "");
  }
}

TEST(VideoStreamOpen, AStreamThatCannotBePlayedSaysWhy) {
  std::string noise(20000, '\0');
  unsigned state = 12345;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  testmedia::TheoraSpec huge;
  huge.width = 16400;
  huge.height = 8;
  huge.frames = 1;
  // Only the headers: no picture page carries a frame number.
  testmedia::TheoraSpec spec;
  spec.frames = 3;
  const std::string whole = testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); });
  std::string headers;
  for (const PageAt& p : pagesOf(whole))
    if (p.granule != 0 || !p.theora) {
      headers = whole.substr(0, static_cast<size_t>(p.offset));
      break;
    }
  ASSERT_FALSE(headers.empty());
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {testmedia::makeOgg(1, 22050, 22050), "Stream v.ogg: no Theora picture track with usable headers"},
      {noise, "Stream v.ogg: no Theora picture track with usable headers"},
      {testmedia::makeTheora(huge,
                             [](int, int, int) {
                               return YCbCr{16, 128, 128};
                             }),
       "Stream v.ogg: its picture size is 0 or larger than 16384"},
      {headers, "Stream v.ogg: no picture page gives a frame number"},
  };
  for (const Case& c : cases) {
    vsplat::DebugCapture log;
    Opened o = openBytes(c.bytes);
    EXPECT_EQ(o.stream->frameCount, 0);
    EXPECT_NE(log.text().find(c.reason), std::string::npos) << log.text();
  }
}

TEST(VideoStreamSeek, ASeekWhilePlayingShowsThatTimesPicture) {
  // One picture a second: playing to 1.31 s shows picture 1, and the count
  // says so; a seek to 2 s then shows picture 2.
  testmedia::TheoraSpec spec;
  spec.fpsNumerator = 1;
  spec.frames = 5;
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  for (int i = 0; i < 131; ++i) s.advance(0.01);
  EXPECT_NEAR(s.time, 1.31, 1e-9);
  EXPECT_EQ(s.currentFrame, 1);
  expectNear(pixelAt(s, 3, 3), greyRed(1), greyRed(1), greyRed(1), 3, "playing");
  s.seek(2.0);
  EXPECT_EQ(s.currentFrame, 2);
  EXPECT_EQ(s.time, 2.0);
  expectNear(pixelAt(s, 3, 3), greyRed(2), greyRed(2), greyRed(2), 3, "after the seek");
  // Back to the picture's own start: the clock moves, the picture stays.
  s.advance(0.5);
  s.seek(2.0);
  EXPECT_EQ(s.time, 2.0);
  EXPECT_EQ(s.currentFrame, 2);
  s.advance(0.99);
  EXPECT_EQ(s.currentFrame, 2);
  s.advance(0.01);
  EXPECT_EQ(s.currentFrame, 3);
}

// A sound whose every stretch differs from the others: a tone gliding from
// 200 to 1000 Hz over 4 s, at half scale.
testmedia::Signal glide(int rate) {
  return [rate](int, int64_t i) {
    const double t = static_cast<double>(i) / rate;
    return static_cast<float>(0.5 * std::sin(2 * M_PI * (200 * t + 100 * t * t)));
  };
}

// Expects the queue to start with the signal at the stream's clock.
void expectSoundAtTheClock(const VideoStream& s, const testmedia::Signal& signal, const char* where) {
  const int64_t at = static_cast<int64_t>(std::floor(s.time * s.sound.sampleRate + 0.5));
  EXPECT_EQ(s.audioFront, at) << where;
  ASSERT_GE(s.sound.frameCount(), 2000) << where;
  int wrong = 0;
  for (int i = 0; i < 2000; ++i) wrong += std::fabs(s.sound.channels[0][i] - signal(0, at + i)) > 0.05f;
  EXPECT_EQ(wrong, 0) << where << " at sample " << at;
}

TEST(VideoStreamSound, LeadingSoundIsKeptFromItsStart) {
  // The sound's pages run a second ahead of the pictures': the first comes
  // before the first picture's page.
  testmedia::TheoraSpec spec;
  spec.frames = 50;
  spec.audioChannels = 1;
  spec.audioRate = 22050;
  spec.audioSignal = glide(22050);
  spec.soundAhead = 1.0;
  spec.audioPageBytes = 1000;
  const std::string file = testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); });
  const std::vector<PageAt> pages = pagesOf(file);
  auto firstData = [&](bool theora) {
    for (const PageAt& p : pages)
      if (p.theora == theora && p.granule > 0) return p.offset;
    return int64_t{-1};
  };
  ASSERT_LT(firstData(false), firstData(true));
  Opened o = openBytes(file);
  expectSoundAtTheClock(*o.stream, spec.audioSignal, "opened");
}

TEST(VideoStreamSound, ASeekQueuesTheSoundFromThePicturesTime) {
  // Pages woven finely, sound pages running ahead or behind, and large
  // pages of pictures with large sound pages: after every seek, while
  // playing or not, the queue starts at the sample of the clock.
  struct Mux {
    const char* what;
    double soundAhead;
    int picturesPerPage, audioPageBytes;
  };
  for (const Mux& m : {Mux{"fine", 0, 1, 0}, Mux{"sound ahead", 0.3, 1, 0}, Mux{"sound behind", -0.3, 1, 0},
                       Mux{"large pages", 0, 20, 16000}}) {
    SCOPED_TRACE(m.what);
    testmedia::TheoraSpec spec;
    spec.frames = 100;
    spec.keyframeShift = 4;
    spec.audioChannels = 2;
    spec.audioRate = 44100;
    spec.audioSignal = glide(44100);
    spec.soundAhead = m.soundAhead;
    spec.picturesPerPage = m.picturesPerPage;
    spec.audioPageBytes = m.audioPageBytes;
    Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
    VideoStream& s = *o.stream;
    ASSERT_EQ(s.frameCount, 100);
    expectSoundAtTheClock(s, spec.audioSignal, "opened");
    for (double t : {2.0, 0.52, 3.0, 1.0, 1.04, 0.0, 3.6}) {
      for (int i = 0; i < 7; ++i) {
        s.advance(0.04);
        s.consumeAudio(1764, 44100);
      }
      s.seek(t);
      expectSoundAtTheClock(s, spec.audioSignal, std::to_string(t).c_str());
    }
  }
}

TEST(VideoStreamSound, TheSoundGoesOnAfterTheLastPictureAndThenLoops) {
  testmedia::TheoraSpec spec;
  spec.frames = 10;  // 0.4 s of pictures, 1 s of sound
  spec.audioChannels = 1;
  spec.audioRate = 22050;
  spec.audioSeconds = 1.0;
  spec.audioSignal = glide(22050);
  Opened o = openBytes(testmedia::makeTheora(spec, [](int f, int, int) { return greyOf(f); }));
  VideoStream& s = *o.stream;
  // Each frame plays 0.04 s of sound: every sample is there in time, the
  // last picture stays while the sound goes on, and at its end the stream
  // starts again.
  int64_t heard = 0;
  double loopedAt = -1;
  for (int i = 0; i < 30 && loopedAt < 0; ++i) {
    heard += s.sound.frameCount() < 882 ? s.sound.frameCount() : 882;
    s.consumeAudio(1764, 44100);
    const double before = s.time;
    s.advance(0.04);
    if (s.time < before) loopedAt = before + 0.04;
    if (s.time > 0.45 && loopedAt < 0) {
      EXPECT_EQ(s.currentFrame, 9);
    }
  }
  EXPECT_NEAR(loopedAt, 1.0, 0.05);
  EXPECT_GE(heard, 22050 - 882);
}

TEST(VideoStreamFile, ADiskFileCutShortIsReportedAndPlaysOnWhatIsLeft) {
  testmedia::TheoraSpec spec;
  spec.width = 64;
  spec.height = 32;
  spec.frames = 200;
  spec.keyframeShift = 4;
  spec.audioChannels = 1;
  const std::string bytes = testmedia::makeTheora(spec, noisyFrame);
  const std::string path = std::string(VS_BINARY_DIR) + "/cut_stream_" +
                           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".ogg";
  std::ofstream(path, std::ios::binary) << bytes;
  Opened o = openBytes("x");
  StreamPtr s(VideoStream::open(("//" + path).c_str(), o.controller.get()));
  ASSERT_TRUE(s && s->frameCount == 200);
  for (int i = 0; i < 10; ++i) s->advance(0.04);
  vsplat::DebugCapture log;
  // Cut after about half the pictures: the stream reports it when it gets
  // there, then plays what is left, seeks within it and loops.
  std::filesystem::resize_file(path, bytes.size() / 2);
  std::vector<int> seen;
  for (int i = 0; i < 300; ++i) {
    s->advance(0.04);
    seen.push_back(s->currentFrame);
  }
  EXPECT_NE(log.text().find("its file was cut short to " + std::to_string(bytes.size() / 2)), std::string::npos)
      << log.text();
  const int most = *std::max_element(seen.begin(), seen.end());
  EXPECT_GT(most, 50);
  EXPECT_LT(most, 150);
  EXPECT_GT(std::count(seen.begin() + 150, seen.end(), 5), 0) << "loops";
  s->seek(1.0);
  EXPECT_EQ(s->currentFrame, 25);
  expectNear(pixelAt(*s, 3, 3), greyRed(25), greyRed(25), greyRed(25), 3, "a seek into what is left");
  s->advance(0.04);
  EXPECT_EQ(s->currentFrame, 26);
  // Cut to nothing: reported once, the picture stays; the file back whole,
  // the stream plays again.
  log.clear();
  std::filesystem::resize_file(path, 0);
  s->seek(0.0);
  for (int i = 0; i < 5; ++i) s->advance(0.04);
  EXPECT_NE(log.text().find("no longer reads as a stream"), std::string::npos) << log.text();
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  s->seek(0.4);
  EXPECT_EQ(s->currentFrame, 10);
  for (int i = 0; i < 5; ++i) s->advance(0.04);
  EXPECT_EQ(s->currentFrame, 15);
  s.reset();
  std::filesystem::remove(path);
}

}  // namespace
