#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "model/image_source.h"
#include "support/test_media.h"

namespace {

using testmedia::JpegSpec;
using testmedia::PngSpec;

struct Sniffed {
  int32_t width, height;
  bool alpha;
};

Sniffed sniff(const std::string& bytes, size_t size) {
  ImageSource source("image", reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                     static_cast<int32_t>(size), false);
  return {source.width, source.height, source.hasAlpha};
}
Sniffed sniff(const std::string& bytes) { return sniff(bytes, bytes.size()); }

void putBe32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// Offset of the first chunk of that type, or npos.
size_t chunkAt(const std::string& png, const char* type) { return png.find(type) - 4; }

TEST(ImageSourceSniff, PngSizeAndAlphaByColourTypeAndTransparency) {
  struct Case {
    const char* what;
    PngSpec spec;
    bool alpha;
  } cases[] = {
      {"RGB", {5, 3, 2, 8, false, false}, false},
      {"RGB with a colour key", {5, 3, 2, 8, false, true}, true},
      {"RGBA", {640, 480, 6, 8, false, false}, true},
      {"grey with alpha", {7, 2, 4, 8, false, false}, true},
      {"grey 16-bit", {300, 20, 0, 16, false, false}, false},
      {"palette with tRNS", {9, 9, 3, 8, false, true}, true},
      {"palette", {9, 9, 3, 8, false, false}, false},
      {"interlaced RGB", {33, 17, 2, 8, true, false}, false},
  };
  for (const Case& c : cases) {
    const std::string png = testmedia::makePng(c.spec);
    ASSERT_GT(png.size(), 40u) << c.what;
    Sniffed s = sniff(png);
    EXPECT_EQ(s.width, c.spec.width) << c.what;
    EXPECT_EQ(s.height, c.spec.height) << c.what;
    EXPECT_EQ(s.alpha, c.alpha) << c.what;
  }
}

TEST(ImageSourceSniff, JpegSizeFromEveryKindOfFrameHeader) {
  struct Case {
    const char* what;
    JpegSpec spec;
    int32_t width, height;
    const char* frame;  // the frame header's marker
  } cases[] = {
      {"baseline RGB", {640, 480, 3, false, false}, 640, 480, "\xFF\xC0"},
      {"baseline grey", {31, 7, 1, false, false}, 31, 7, "\xFF\xC0"},
      {"Exif instead of JFIF", {12, 34, 3, false, true}, 12, 34, "\xFF\xC0"},
      {"progressive", {640, 480, 3, true, false}, 640, 480, "\xFF\xC2"},
      {"arithmetic", {1920, 1080, 3, false, false, true}, 1920, 1080, "\xFF\xC9"},
      {"progressive arithmetic", {1296, 864, 3, true, false, true}, 1296, 864, "\xFF\xCA"},
      {"CMYK, an Adobe segment and no JFIF one", {50, 70, 4, false, false}, 50, 70, "\xFF\xC0"},
  };
  for (const Case& c : cases) {
    const std::string jpeg = testmedia::makeJpeg(c.spec);
    ASSERT_NE(jpeg.find(c.frame), std::string::npos) << c.what;
    Sniffed s = sniff(jpeg);
    EXPECT_EQ(s.width, c.width) << c.what;
    EXPECT_EQ(s.height, c.height) << c.what;
    EXPECT_FALSE(s.alpha) << c.what;
  }
}

TEST(ImageSourceSniff, TruncatedFilesGiveNoSize) {
  const std::string png = testmedia::makePng({64, 32, 6, 8, false, false});
  const std::string jpeg = testmedia::makeJpeg({64, 32, 3, false, false});
  const size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  struct Case {
    const char* what;
    const std::string* bytes;
    size_t size;
  } cases[] = {
      {"JPEG of 9 bytes", &jpeg, 9},
      {"JPEG cut inside its frame header", &jpeg, sof + 6},
      {"JPEG cut at the end of its frame header", &jpeg, sof + 2 + 17},
      {"PNG signature only", &png, 8},
      {"PNG cut inside IHDR", &png, 8 + 8 + 6},
      {"PNG ending with IHDR", &png, 8 + 25},
      {"empty", &png, 0},
  };
  for (const Case& c : cases) {
    // A copy of exactly that many bytes, so a read past them is seen by the
    // sanitizer run.
    std::string cut = c.bytes->substr(0, c.size);
    unsigned char* block = static_cast<unsigned char*>(std::malloc(c.size ? c.size : 1));
    std::memcpy(block, cut.data(), c.size);
    ImageSource source("cut", block, static_cast<int32_t>(c.size), true);
    EXPECT_EQ(source.width, 0) << c.what;
    EXPECT_EQ(source.height, 0) << c.what;
  }
}

TEST(ImageSourceSniff, LyingLengthsAreNeverFollowedOutOfTheData) {
  const std::string png = testmedia::makePng({64, 32, 2, 8, false, false});
  const size_t ihdr = chunkAt(png, "IHDR");
  ASSERT_EQ(ihdr, 8u);

  std::string shortHeader = png;  // IHDR claims 8 bytes: too short for a header
  putBe32(shortHeader, ihdr, 8);
  Sniffed s = sniff(shortHeader);
  EXPECT_EQ(s.width, 0);

  for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFF4u, 0x80000000u}) {
    std::string huge = png;  // IHDR claims nearly 4 GiB: the walk ends there
    putBe32(huge, ihdr, length);
    s = sniff(huge);
    EXPECT_EQ(s.width, 0) << length;
    EXPECT_FALSE(s.alpha) << length;
  }

  // A tRNS chunk after a data chunk whose length reaches past the end is not
  // seen: the walk stops before the lying chunk.
  std::string keyed = testmedia::makePng({4, 4, 2, 8, false, true});
  const size_t trns = chunkAt(keyed, "tRNS");
  const size_t idat = chunkAt(keyed, "IDAT");
  ASSERT_LT(trns, idat);
  std::string lying = keyed;
  putBe32(lying, trns, 0xFFFFFFF0u);
  s = sniff(lying);
  EXPECT_EQ(s.width, 4);
  EXPECT_FALSE(s.alpha);

  const std::string jpeg = testmedia::makeJpeg({64, 32, 3, false, false});
  std::string longSegment = jpeg;  // the JFIF segment claims 64 KiB
  longSegment[4] = '\xFF';
  longSegment[5] = '\xFF';
  s = sniff(longSegment);
  EXPECT_EQ(s.width, 0);
  std::string emptySegment = jpeg;  // length 0 still moves the walk on
  emptySegment[4] = emptySegment[5] = 0;
  s = sniff(emptySegment);
  EXPECT_EQ(s.width, 0);
}

TEST(ImageSourceSniff, AnythingElseIsZeroByZero) {
  const std::string font = testmedia::readFile(testmedia::kPackageFontPath);
  Sniffed s = sniff(font);
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.height, 0);
  EXPECT_FALSE(s.alpha);
  ImageSource none("none", nullptr, 100, false);
  EXPECT_EQ(none.width, 0);
}

TEST(ImageSourceRecord, IdsFollowOneAnotherAndDestroyFreesOnlyWhatItOwns) {
  ImageSource a("a", nullptr, 0, false);
  ImageSource b("b", nullptr, 0, false);
  EXPECT_EQ(b.id, a.id + 1);
  EXPECT_STREQ(b.name, "b");
  EXPECT_FALSE(b.binaryAlpha || b.rawPixels || b.pixelsChanged || b.releasePending);
  EXPECT_EQ(b.filter, 0);

  // Raw video pixels belong to their stream even when marked owned.
  static unsigned char pixels[12];
  ImageSource frame("frame", pixels, sizeof pixels, true);
  frame.rawPixels = true;
  frame.destroy();
  EXPECT_EQ(frame.data, nullptr);
  EXPECT_EQ(frame.name, nullptr);
  frame.destroy();
}

}  // namespace
