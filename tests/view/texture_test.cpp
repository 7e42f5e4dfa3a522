#include <GL/glew.h>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/image_source.h"
#include "platform/testing.h"
#include "support/memory_cap.h"
#include "support/test_media.h"
#include "tests/view/render_scene.h"
#include "view/texture_image.h"

namespace {

using testmedia::PngSpec;

const unsigned char* bytesOf(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The pixels a file made by testmedia::makePng holds, top row first, after
// expansion to 8-bit samples with any transparency as alpha.
std::vector<int> expectedPng(const PngSpec& spec, int* channels) {
  const int fileChannels = spec.colorType == 2 ? 3 : spec.colorType == 4 ? 2 : spec.colorType == 6 ? 4 : 1;
  const size_t rowBytes = (size_t(spec.width) * fileChannels * spec.bitDepth + 7) / 8;
  std::vector<int> raw(rowBytes * spec.height);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = (i * 37 + 11) & 0xFF;
  if (spec.colorType == 3)
    for (int& b : raw) b = spec.bitDepth == 8 ? b % 4 : b & 0x55;
  const int maxSample = (1 << spec.bitDepth) - 1;
  auto sample = [&](int y, int k) {  // k-th sample of row y
    const int* row = raw.data() + y * rowBytes;
    if (spec.bitDepth == 16) return row[2 * k + 1];  // written little-endian; the high byte stays
    if (spec.bitDepth == 8) return row[k];
    const int perByte = 8 / spec.bitDepth, shift = 8 - spec.bitDepth * (k % perByte + 1);
    return (row[k / perByte] >> shift) & maxSample;
  };
  const int palette[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  std::vector<int> out;
  *channels = spec.colorType == 3 ? 3 : fileChannels;
  if (spec.transparency) ++*channels;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x) {
      if (spec.colorType == 3) {
        const int index = sample(y, x);
        out.insert(out.end(), palette[index], palette[index] + 3);
        if (spec.transparency) out.push_back(index == 0 ? 0 : index == 1 ? 128 : 255);
        continue;
      }
      bool keyed = true;  // the tRNS key is all zero samples
      for (int k = 0; k < fileChannels; ++k) {
        const int v = sample(y, x * fileChannels + k);
        keyed = keyed && v == 0;
        out.push_back(spec.bitDepth < 8 ? v * 255 / maxSample : v);
      }
      if (spec.transparency) out.push_back(keyed ? 0 : 255);
    }
  return out;
}

// The decoded pixels top row first, so they read like the file.
std::vector<int> topDown(const PixelImage& image) {
  std::vector<int> out;
  const size_t row = size_t(image.width) * image.channels;
  for (int y = image.height - 1; y >= 0; --y)
    out.insert(out.end(), image.pixels + y * row, image.pixels + (y + 1) * row);
  return out;
}

}  // namespace

TEST(TextureImage, PngOfEveryColourTypeDecodesToItsPixelsBottomRowFirst) {
  const PngSpec cases[] = {
      {5, 3, 3, 8, false, true},    // palette with tRNS
      {7, 3, 3, 2, false, false},   // 2-bit palette
      {5, 4, 0, 8, false, false},   // grey
      {9, 2, 0, 1, false, false},   // 1-bit grey
      {5, 3, 0, 4, false, false},   // 4-bit grey
      {5, 3, 0, 8, false, true},    // grey with a colour key
      {4, 3, 4, 8, false, false},   // grey + alpha
      {4, 3, 2, 8, false, false},   // RGB
      {4, 3, 6, 8, false, false},   // RGBA
      {4, 3, 2, 16, false, false},  // 16-bit RGB
      {3, 2, 4, 16, false, false},  // 16-bit grey + alpha
      {11, 9, 2, 8, true, false},   // interlaced RGB
      {10, 9, 3, 8, true, true},    // interlaced palette with tRNS
  };
  for (const PngSpec& spec : cases) {
    SCOPED_TRACE(testing::Message() << "type " << spec.colorType << " depth " << spec.bitDepth << " interlaced "
                                    << spec.interlaced << " tRNS " << spec.transparency);
    const std::string file = testmedia::makePng(spec);
    ASSERT_FALSE(file.empty());
    PixelImage image;
    ASSERT_TRUE(decodeTextureImage(&image, bytesOf(file), file.size(), "t.png"));
    int channels = 0;
    const std::vector<int> want = expectedPng(spec, &channels);
    EXPECT_TRUE(image.owns);
    EXPECT_EQ(image.width, spec.width);
    EXPECT_EQ(image.height, spec.height);
    ASSERT_EQ(image.channels, channels);
    EXPECT_EQ(topDown(image), want);
  }
}

TEST(TextureImage, JpegGreyAndRgbDecodeUprightWithinCompressionError) {
  for (int components : {1, 3}) {
    for (bool progressive : {false, true}) {
      const std::string file = testmedia::makeJpeg({8, 8, components, progressive, false});
      PixelImage image;
      ASSERT_TRUE(decodeTextureImage(&image, bytesOf(file), file.size(), "t.jpg"));
      ASSERT_EQ(image.channels, components);
      ASSERT_EQ(image.width, 8);
      ASSERT_EQ(image.height, 8);
      const std::vector<int> got = topDown(image);
      for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 8 * components; ++i)
          EXPECT_NEAR(got[y * 8 * components + i], i * 7 + y * 13, 10) << components << " " << y << " " << i;
    }
  }
}

// A PNG whose header claims another size, its CRC mended so libpng reads on.
std::string withPngSize(std::string file, uint32_t width, uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    file[16 + i] = char(width >> (24 - 8 * i));
    file[20 + i] = char(height >> (24 - 8 * i));
  }
  const uint32_t crc = crc32(crc32(0, nullptr, 0), bytesOf(file) + 12, 17);
  for (int i = 0; i < 4; ++i) file[29 + i] = char(crc >> (24 - 8 * i));
  return file;
}

TEST(TextureImage, HostileOrBrokenFilesAreRefusedWithAnEmptyImage) {
  const std::string png = testmedia::makePng({4, 3, 6, 8, false, false});
  const std::string jpeg = testmedia::makeJpeg({16, 16, 3, false, false});
  std::string garbage(200, '\x5a');
  const std::string cases[] = {
      withPngSize(png, 16385, 1),      // a side over the limit
      withPngSize(png, 16384, 16384),  // 1 GiB of RGBA
      withPngSize(png, 0, 3),
      withPngSize(png, 400, 300),  // far more rows than the data holds
      png.substr(0, png.size() / 2),
      png.substr(0, 8),
      jpeg.substr(0, jpeg.size() / 2),
      jpeg.substr(0, 2),
      // Every scanline there, but the data ends before the end marker.
      jpeg.substr(0, jpeg.size() - 2),
      jpeg.substr(0, jpeg.size() - 2) + std::string(8, '\0'),
      garbage,
      "",
  };
  int n = 0;
  for (const std::string& file : cases) {
    PixelImage image;
    EXPECT_FALSE(decodeTextureImage(&image, bytesOf(file), file.size(), "bad")) << n;
    EXPECT_EQ(image.pixels, nullptr) << n;
    EXPECT_EQ(image.width, 0) << n;
    ++n;
  }
  PixelImage image;
  EXPECT_FALSE(decodeTextureImage(&image, nullptr, 0, nullptr));
}

TEST(TextureImage, TextureSizesRoundUpToPowersOfTwoWithinTheLimit) {
  struct Case {
    int w, h, max, wantW, wantH;
    bool changed;
  } cases[] = {{300, 200, 4096, 512, 256, true},
               {64, 32, 4096, 64, 32, false},
               {0, 1, 4096, 1, 1, true},
               {3, 5000, 2048, 4, 2048, true},
               {1, 1, 4096, 1, 1, false}};
  for (const Case& c : cases) {
    int32_t w = c.w, h = c.h;
    EXPECT_EQ(roundTextureSize(&w, &h, c.max), c.changed) << c.w << "x" << c.h;
    EXPECT_EQ(w, c.wantW);
    EXPECT_EQ(h, c.wantH);
  }
}

TEST(TextureImage, ResamplingKeepsFlatColoursAndCornersAndReducesByAverage) {
  PixelImage image;
  ASSERT_TRUE(image.allocate(2, 2, 1));
  const uint8_t values[4] = {0, 100, 200, 40};
  std::copy(values, values + 4, image.pixels);
  ASSERT_TRUE(resampleImage(&image, 8, 4));  // bilinear
  EXPECT_EQ(image.width, 8);
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(image.pixels[7], 100);
  EXPECT_EQ(image.pixels[3 * 8], 200);
  EXPECT_EQ(image.pixels[3 * 8 + 7], 40);
  for (int x = 1; x < 8; ++x) EXPECT_GE(image.pixels[x], image.pixels[x - 1]);  // monotone along the row
  ASSERT_TRUE(resampleImage(&image, 1, 1));                                     // reduction: the mean of all
  EXPECT_NEAR(image.pixels[0], (0 + 100 + 200 + 40) / 4, 3);
}

namespace {

class Textures : public rendertest::Frame {
 protected:
  void SetUp() override {
    Frame::SetUp();
    view->beginFrame(dc, false);
  }
  void TearDown() override {
    if (view && view->makeCurrent(dc)) view->flushTextureCache();
    Frame::TearDown();
  }
  ImageSource* source(const std::string& file, int32_t filter) {
    files.push_back(std::make_unique<std::string>(file));
    sources.push_back(std::make_unique<ImageSource>("t.png", reinterpret_cast<unsigned char*>(files.back()->data()),
                                                    int32_t(file.size()), false));
    sources.back()->filter = filter;
    return sources.back().get();
  }
  static GLint level(GLint lvl, GLenum what) {
    GLint v = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, lvl, what, &v);
    return v;
  }
  static GLint parameter(GLenum what) {
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
    return v;
  }
  std::vector<std::unique_ptr<std::string>> files;
  std::vector<std::unique_ptr<ImageSource>> sources;
};

}  // namespace

TEST_F(Textures, NonPowerOfTwoImageIsResampledToTheRoundedSizeHalfATexelInside) {
  ImageSource* s = source(testmedia::makePng({300, 200, 2, 8, false, false}), 2);
  ImageTexture* t = view->getTexture(s);
  ASSERT_NE(t, nullptr);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), t->texture);
  EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 512);
  EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), 256);
  EXPECT_DOUBLE_EQ(t->s0, 0.5 / 512);
  EXPECT_DOUBLE_EQ(t->s1, 511.5 / 512);
  EXPECT_DOUBLE_EQ(t->t0, 0.5 / 256);
  EXPECT_DOUBLE_EQ(t->t1, 255.5 / 256);
  EXPECT_EQ(t->bytes, 512u * 256u * 3u);
  EXPECT_EQ(view->getTexture(s), t);  // cached: no second texture
  EXPECT_EQ(view->imageTextures.count(), 1);
}

TEST_F(Textures, PixelsAreUploadedBottomRowFirstWithTheResolvedFilter) {
  const PngSpec spec{4, 2, 6, 8, false, false};
  struct Case {
    int32_t filter;
    GLint min, mag;
  } cases[] = {{1, GL_NEAREST, GL_NEAREST},
               {2, GL_LINEAR, GL_LINEAR},
               {0, GL_LINEAR, GL_LINEAR},
               {7, GL_LINEAR, GL_LINEAR},
               {-1, GL_LINEAR, GL_LINEAR}};
  int channels = 0;
  const std::vector<int> file = expectedPng(spec, &channels);
  for (const Case& c : cases) {
    ImageTexture* t = view->getTexture(source(testmedia::makePng(spec), c.filter));
    ASSERT_NE(t, nullptr) << c.filter;
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), c.min) << c.filter;
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), c.mag) << c.filter;
    std::vector<uint8_t> texels(4 * 2 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(texels[i], file[16 + i]) << i;  // texture row 0 is the file's last row
      EXPECT_EQ(texels[16 + i], file[i]) << i;
    }
  }
  view->setDefaultTextureFilter(1);  // asks for a flush at the next frame
  view->beginFrame(dc, false);
  EXPECT_EQ(view->imageTextures.count(), 0);
  ASSERT_NE(view->getTexture(source(testmedia::makePng(spec), 0)), nullptr);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
}

TEST_F(Textures, MipmapsGoDownToOneTexelByAveraging) {
  // A 4 x 2 grey image: bottom row 0 40 80 120, top row 200 200 0 0.
  PixelImage image;
  ASSERT_TRUE(image.allocate(4, 2, 1));
  const uint8_t values[8] = {0, 40, 80, 120, 200, 200, 0, 0};
  std::copy(values, values + 8, image.pixels);
  std::vector<uint8_t> rgb;
  std::vector<uint8_t> top(values + 4, values + 8), bottom(values, values + 4);
  png_image out = {};
  out.version = PNG_IMAGE_VERSION;
  out.width = 4;
  out.height = 2;
  out.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> fileRows(top);
  fileRows.insert(fileRows.end(), bottom.begin(), bottom.end());
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_get_memory_size(out, size, 0, fileRows.data(), 0, nullptr));
  std::string file(size, '\0');
  ASSERT_TRUE(png_image_write_to_memory(&out, &file[0], &size, 0, fileRows.data(), 0, nullptr));
  file.resize(size);

  ImageTexture* t = view->getTexture(source(file, 3));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_DOUBLE_EQ(t->s0, 0);
  EXPECT_DOUBLE_EQ(t->t1, 1);
  EXPECT_EQ(t->bytes, 8u + 2u + 1u);
  EXPECT_EQ(level(1, GL_TEXTURE_WIDTH), 2);
  EXPECT_EQ(level(1, GL_TEXTURE_HEIGHT), 1);
  EXPECT_EQ(level(2, GL_TEXTURE_WIDTH), 1);
  EXPECT_EQ(level(2, GL_TEXTURE_HEIGHT), 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  uint8_t l1[2] = {}, l2[1] = {};
  glGetTexImage(GL_TEXTURE_2D, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, l1);
  glGetTexImage(GL_TEXTURE_2D, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE, l2);
  EXPECT_EQ(l1[0], (0 + 40 + 200 + 200) >> 2);
  EXPECT_EQ(l1[1], (80 + 120 + 0 + 0) >> 2);
  EXPECT_EQ(l2[0], (l1[0] + l1[1] + l1[0] + l1[1]) >> 2);  // the 1-texel side used twice
}

TEST_F(Textures, ImagesOverTheMaximumTextureSizeAreShrunk) {
  view->maxTextureSize = 4;
  ImageTexture* t = view->getTexture(source(testmedia::makePng({10, 3, 2, 8, false, false}), 2));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 4);
  EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), 4);
}

// A picture longer than the ceiling is shrunk to it before its sides are
// rounded up, so that one pixel past a power of two cannot double it (with
// mipmaps on top); within the ceiling sides still round up.
TEST_F(Textures, PicturesPastTheCeilingAreShrunkBeforeRounding) {
  ASSERT_GE(view->maxTextureSize, 8192);
  struct Case {
    int width, height, filter;
    GLint textureWidth, textureHeight;
    uint32_t bytes;
  } cases[] = {
      {8193, 2, 2, 4096, 2, 4096u * 2 * 3},
      {3, 4097, 2, 4, 4096, 4u * 4096 * 3},
      {4095, 3, 2, 4096, 4, 4096u * 4 * 3},
      // Levels 4096 x 2, 2048 x 1, ... 1 x 1.
      {8193, 2, 3, 4096, 2, (4096u * 2 + 4095u) * 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " filter " << c.filter);
    ImageTexture* t = view->getTexture(source(testmedia::makePng({c.width, c.height, 2, 8, false, false}), c.filter));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), c.textureWidth);
    EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), c.textureHeight);
    EXPECT_EQ(t->bytes, c.bytes);
  }
}

TEST_F(Textures, AFailedDecodeIsRememberedUntilForgotten) {
  const std::string png = testmedia::makePng({4, 3, 6, 8, false, false});
  ImageSource* bad = source(withPngSize(png, 16385, 16385), 2);
  EXPECT_EQ(view->getTexture(bad), nullptr);
  ASSERT_NE(view->imageTextures.find(bad->id), nullptr);
  EXPECT_EQ(view->imageTextures.find(bad->id)->texture, 0u);
  EXPECT_EQ(view->getTexture(bad), nullptr);
  EXPECT_EQ(view->imageTextures.count(), 1);
  view->forgetTexture(bad);
  EXPECT_EQ(view->imageTextures.count(), 0);
  // The same source mended decodes at its next use.
  files.push_back(std::make_unique<std::string>(png));
  bad->data = reinterpret_cast<unsigned char*>(files.back()->data());
  bad->size = int32_t(png.size());
  EXPECT_NE(view->getTexture(bad), nullptr);
}

namespace {

using rendertest::near;
using rendertest::Rgb;
using testgeometry::quadData;

// A textured quad straight below the camera, one world unit to a pixel, so
// that each pixel centre samples a known place of the texture.
class TexturedQuad : public Textures {
 protected:
  void SetUp() override {
    Textures::SetUp();
    camera({0, 0, 10}, {0, 0, 0});
    cam->invTanHalfAngle = 10.0 / 32;  // the 64-pixel width spans 64 units at distance 10
  }
  // A quad of side `pixels` in the middle of the window, its uvs 0 to 1.
  void quad(ImageSource* image, int pixels) {
    side = pixels;
    MeshData* d = quadData(pixels / 2.0);
    d->uvCount = 4;
    d->uvs = new double[8]{0, 0, 1, 0, 1, 1, 0, 1};
    Material* white = material({1, 1, 1, 1}, true);
    white->addLayer()->image = image;
    mesh(d, white);
  }
  // Where pixel (x, y) of the quad (from its bottom left) samples, 0 to 1.
  double u(int x) const { return (x + 0.5) / side; }
  Rgb pixel(int x, int y) const { return at(width / 2 - side / 2 + x, height / 2 + side / 2 - 1 - y); }
  int side = 0;
};

// The image's texel (s, t), t counted from the bottom row, wrapping.
Rgb texel(const PixelImage& image, int s, int t) {
  s = ((s % image.width) + image.width) % image.width;
  t = ((t % image.height) + image.height) % image.height;
  const uint8_t* p = image.pixels + (size_t(t) * image.width + s) * 3;
  return {p[0], p[1], p[2]};
}

Rgb nearestSample(const PixelImage& image, double u, double v) {
  return texel(image, int(std::floor(u * image.width)), int(std::floor(v * image.height)));
}

Rgb linearSample(const PixelImage& image, double u, double v) {
  const double x = u * image.width - 0.5, y = v * image.height - 0.5;
  const int s = int(std::floor(x)), t = int(std::floor(y));
  const double a = x - s, b = y - t;
  const Rgb c[4] = {texel(image, s, t), texel(image, s + 1, t), texel(image, s, t + 1), texel(image, s + 1, t + 1)};
  const auto mix = [&](int Rgb::*k) {
    return int(std::lround((1 - a) * (1 - b) * (c[0].*k) + a * (1 - b) * (c[1].*k) + (1 - a) * b * (c[2].*k) +
                           a * b * (c[3].*k)));
  };
  return {mix(&Rgb::r), mix(&Rgb::g), mix(&Rgb::b)};
}

// An RGB image of pseudo-random texels, and the same as a PNG file.
std::string noisePng(int side, PixelImage* decoded) {
  std::vector<uint8_t> rgb(size_t(side) * side * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t((i * 97 + 31) * (i % 7 + 3) >> 1);
  const std::string file = testmedia::makePng(side, side, 3, rgb);
  EXPECT_TRUE(decodeTextureImage(decoded, bytesOf(file), file.size(), "noise.png"));
  return file;
}

}  // namespace

TEST_F(TexturedQuad, MagnifiedTexelsAreSampledNearestOrLinearAsTheFilterSays) {
  PixelImage image;
  const std::string file = noisePng(4, &image);
  for (int32_t filter : {1, 2, 3}) {
    SCOPED_TRACE(filter);
    open(64, 48);
    SetUp();
    quad(source(file, filter), 32);  // eight pixels to a texel
    draw();
    int checked = 0;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        const Rgb got = pixel(x, y);
        if (filter == 1)
          ASSERT_EQ(got, nearestSample(image, u(x), u(y))) << x << ", " << y;
        else
          ASSERT_TRUE(near(got, linearSample(image, u(x), u(y)), 2)) << x << ", " << y;  // mipmaps magnify linearly
        ++checked;
      }
    EXPECT_EQ(checked, 32 * 32);
  }
}

TEST_F(TexturedQuad, MinifiedMipmapsShowTheAveragedLevel) {
  // 16 texels to 4 pixels: each pixel centre lies on a texel centre of the
  // 4 x 4 level, and between texels of level 0.
  PixelImage image;
  const std::string file = noisePng(16, &image);
  quad(source(file, 3), 4);
  draw();
  view->beginFrame(dc, false);
  ASSERT_NE(view->getTexture(sources.back().get()), nullptr);  // bound
  std::vector<uint8_t> level2(4 * 4 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 2, GL_RGB, GL_UNSIGNED_BYTE, level2.data());
  PixelImage averaged;
  ASSERT_TRUE(averaged.allocate(4, 4, 3));
  std::copy(level2.begin(), level2.end(), averaged.pixels);
  int farFromLevel0 = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_TRUE(near(pixel(x, y), texel(averaged, x, y), 2)) << x << ", " << y;
      const Rgb level0 = linearSample(image, u(x), u(y));
      farFromLevel0 += std::abs(level0.r - texel(averaged, x, y).r) > 10;
    }
  EXPECT_GT(farFromLevel0, 4);  // the picture tells the levels apart
}

TEST_F(TexturedQuad, TexelsWithBlendedAlphaGoThroughTheTranslucentPass) {
  // Each texel over the black background gives its colour times its alpha.
  const std::vector<uint8_t> rgba = {255, 0, 0,   255, 0,   255, 0,   128,  // top row
                                     0,   0, 255, 64,  255, 255, 255, 0};
  ImageSource* image = source(testmedia::makePng(2, 2, 4, rgba), 1);
  ASSERT_TRUE(image->hasAlpha);
  quad(image, 32);
  draw();
  EXPECT_EQ(view->bsp.count(), 2);
  for (int y = 0; y < side; y += 5)
    for (int x = 0; x < side; x += 5) {
      const uint8_t* t = &rgba[((1 - y / 16) * 2 + x / 16) * 4];  // the file's rows run top down
      const Rgb want{t[0] * t[3] / 255, t[1] * t[3] / 255, t[2] * t[3] / 255};
      ASSERT_TRUE(near(pixel(x, y), want)) << x << ", " << y;
    }
}
namespace {

using rendertest::Rgb;

// Video frames as a stream holds them: raw RGB24, bottom row first, in a
// buffer the frame record does not own.
class FrameTextures : public Textures {
 protected:
  using Paint = Rgb (*)(int x, int y);  // y counted from the bottom row
  ImageSource* frame(int32_t w, int32_t h, int32_t filter, Paint paint) {
    buffers.push_back(std::make_unique<std::vector<uint8_t>>(size_t(w) * h * 3));
    std::vector<uint8_t>& rgb = *buffers.back();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgb c = paint(x, y);
        uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
        p[0] = uint8_t(c.r);
        p[1] = uint8_t(c.g);
        p[2] = uint8_t(c.b);
      }
    sources.push_back(std::make_unique<ImageSource>());
    ImageSource* s = sources.back().get();
    s->id = 90000 + int32_t(sources.size());
    s->rawPixels = true;
    s->data = rgb.data();
    s->size = int32_t(rgb.size());
    s->width = w;
    s->height = h;
    s->filter = filter;
    s->pixelsChanged = true;
    return s;
  }
  // Texels of the bound texture's level 0 as RGB, bottom row first.
  static std::vector<uint8_t> texels() {
    std::vector<uint8_t> out(size_t(level(0, GL_TEXTURE_WIDTH)) * level(0, GL_TEXTURE_HEIGHT) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, out.data());
    return out;
  }
  // Draws the frame on a shadeless quad of half size 1 with texture
  // coordinates 0 to 1, seen from above, and checks the colours at points
  // of the quad.
  struct Probe {
    Vec3 at;
    Rgb want;
  };
  void expectOnAQuad(ImageSource* s, const std::vector<Probe>& probes) {
    Material* m = material({1, 1, 1, 1}, true);
    MaterialLayer* layer = m->addLayer();
    ASSERT_NE(layer, nullptr);
    layer->image = s;
    MeshData* quad = testgeometry::quadData(1.0);
    quad->uvCount = 4;
    quad->uvs = new double[8]{0, 0, 1, 0, 1, 1, 0, 1};
    mesh(quad, m);
    camera({0, 0, 3}, {0, 0, 0});
    draw(false);
    int x = 0, y = 0;
    for (const Probe& p : probes) {
      windowPoint(p.at, &x, &y);
      EXPECT_TRUE(near(at(x, y), p.want, 2)) << p.at.x << "," << p.at.y;
    }
  }
  std::vector<std::unique_ptr<std::vector<uint8_t>>> buffers;
};

Rgb gradient(int x, int y) { return {x * 2, y * 4, 200}; }

}  // namespace

TEST_F(FrameTextures, AFrameSitsInTheCornerOfItsRoundedTextureAndIsReplacedWhenChanged) {
  ImageSource* s = frame(100, 50, 2, gradient);
  ImageTexture* t = view->getTexture(s);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 128);
  EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), 64);
  EXPECT_DOUBLE_EQ(t->s0, 0.5 / 128);
  EXPECT_DOUBLE_EQ(t->t0, 0.5 / 64);
  EXPECT_DOUBLE_EQ(t->s1, 99.5 / 128);
  EXPECT_DOUBLE_EQ(t->t1, 49.5 / 64);
  EXPECT_EQ(t->bytes, 128u * 64u * 3u);
  EXPECT_FALSE(s->pixelsChanged);
  std::vector<uint8_t> got = texels();
  for (int y : {0, 17, 49})
    for (int x : {0, 33, 99}) {
      const uint8_t* p = &got[(size_t(y) * 128 + x) * 3];
      EXPECT_EQ((Rgb{p[0], p[1], p[2]}), gradient(x, y)) << x << "," << y;
    }
  // New pixels go up only when the stream says so, into the same texture.
  (*buffers.back())[0] = 7;
  EXPECT_EQ(view->getTexture(s), t);
  EXPECT_EQ(texels()[0], 0);
  s->pixelsChanged = true;
  EXPECT_EQ(view->getTexture(s), t);
  EXPECT_EQ(texels()[0], 7);
  EXPECT_FALSE(s->pixelsChanged);
  EXPECT_EQ(view->imageTextures.count(), 1);
}

TEST_F(FrameTextures, FiltersAreNearestOrLinearWithoutMipmaps) {
  struct Case {
    int32_t filter;
    GLint filterSet;
  } cases[] = {{1, GL_NEAREST}, {2, GL_LINEAR}, {3, GL_LINEAR}, {0, GL_LINEAR}, {9, GL_LINEAR}};
  for (const Case& c : cases) {
    ASSERT_NE(view->getTexture(frame(4, 4, c.filter, gradient)), nullptr);
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), c.filterSet) << c.filter;
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), c.filterSet) << c.filter;
  }
  view->setDefaultTextureFilter(1);
  view->beginFrame(dc, false);
  ASSERT_NE(view->getTexture(frame(4, 4, 0, gradient)), nullptr);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
}

TEST_F(FrameTextures, AFrameOverTheMaximumSizeIsShrunkInACopyEveryTime) {
  view->maxTextureSize = 16;
  ImageSource* s = frame(40, 8, 2, [](int x, int) { return x < 20 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; });
  const std::vector<uint8_t> before = *buffers.back();
  ImageTexture* t = view->getTexture(s);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 16);
  EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), 8);
  EXPECT_DOUBLE_EQ(t->s1, 15.5 / 16);
  std::vector<uint8_t> got = texels();
  EXPECT_EQ((Rgb{got[0], got[1], got[2]}), (Rgb{255, 0, 0}));
  EXPECT_EQ((Rgb{got[45], got[46], got[47]}), (Rgb{0, 0, 255}));
  // The stream's own picture is untouched, and so after a second upload.
  EXPECT_EQ(s->width, 40);
  EXPECT_EQ(s->data, buffers.back()->data());
  EXPECT_EQ(*buffers.back(), before);
  s->pixelsChanged = true;
  EXPECT_EQ(view->getTexture(s), t);
  EXPECT_EQ(*buffers.back(), before);
  EXPECT_EQ(texels(), got);
}

TEST_F(FrameTextures, AFrameWithoutPixelsHasNoTexture) {
  ImageSource* s = frame(8, 8, 2, gradient);
  s->data = nullptr;
  EXPECT_EQ(view->getTexture(s), nullptr);
  s->data = buffers.back()->data();
  s->size = 8 * 8 * 3 - 1;  // a buffer shorter than its picture
  EXPECT_EQ(view->getTexture(s), nullptr);
  EXPECT_EQ(view->imageTextures.count(), 0);
}

TEST_F(FrameTextures, AFramesColoursShowOnADrawnQuad) {
  // Four quadrants: red bottom-left, green bottom-right, blue top-left, white top-right.
  ImageSource* s = frame(32, 32, 1, [](int x, int y) {
    if (y < 16) return x < 16 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
    return x < 16 ? Rgb{0, 0, 255} : Rgb{255, 255, 255};
  });
  expectOnAQuad(s, {{{-0.5, -0.5, 0}, {255, 0, 0}},
                    {{0.5, -0.5, 0}, {0, 255, 0}},
                    {{-0.5, 0.5, 0}, {0, 0, 255}},
                    {{0.5, 0.5, 0}, {255, 255, 255}}});
}

TEST_F(FrameTextures, AFrameFillsAMeshFromCornerToCorner) {
  // 100 x 50 pixels in the corner of a 128 x 64 texture: texture
  // coordinates 0 to 1 across the quad reach the picture's far edges, not
  // the texels beyond it, and its middle lies in the quad's middle.
  ImageSource* s = frame(100, 50, 1, [](int x, int y) {
    if (y < 25) return x < 50 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
    return x < 50 ? Rgb{0, 0, 255} : Rgb{255, 255, 255};
  });
  expectOnAQuad(s, {{{-0.95, -0.95, 0}, {255, 0, 0}},
                    {{0.95, -0.95, 0}, {0, 255, 0}},
                    {{-0.95, 0.95, 0}, {0, 0, 255}},
                    {{0.95, 0.95, 0}, {255, 255, 255}},
                    {{0.1, 0.1, 0}, {255, 255, 255}},
                    {{-0.1, -0.1, 0}, {255, 0, 0}}});
}

namespace {

TEST(TextureImage, EveryRefusedJpegSaysWhy) {
  const std::string jpeg = testmedia::makeJpeg({128, 128, 3, false, false});
  std::string lyingSize = jpeg;  // the frame header claims 20000 x 20000
  const size_t sof = lyingSize.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (size_t at : {sof + 5, sof + 7}) {  // height, then width: 0x4E20
    lyingSize[at] = '\x4E';
    lyingSize[at + 1] = '\x20';
  }
  struct Case {
    std::string file;
    const char* line;
  } cases[] = {
      {testmedia::makeJpeg({8, 8, 4, false, false}), "Jpeglib error: CMYK colour is not drawn (t.jpg)\n"},
      {std::string(200, '\x5a'), "Jpeglib error: Not a JPEG file: starts with 0x5a 0x5a (t.jpg)\n"},
      {jpeg.substr(0, 2), "Jpeglib error: the data ends inside the headers (t.jpg)\n"},
      {jpeg.substr(0, jpeg.size() / 2), "Jpeglib error: the data ends before the picture does (t.jpg)\n"},
      {jpeg.substr(0, jpeg.size() - 2), "Jpeglib error: the data ends before the picture does (t.jpg)\n"},
      {lyingSize, "Jpeglib error: a picture of 20000 x 20000 is too large (t.jpg)\n"},
  };
  for (const Case& c : cases) {
    vsplat::DebugCapture log;
    PixelImage image;
    EXPECT_FALSE(decodeTextureImage(&image, bytesOf(c.file), c.file.size(), "t.jpg"));
    EXPECT_EQ(log.text(), std::string(c.line) + "\n") << c.line;
  }
  // A good one logs nothing.
  vsplat::DebugCapture log;
  PixelImage image;
  EXPECT_TRUE(decodeTextureImage(&image, bytesOf(jpeg), jpeg.size(), "t.jpg"));
  EXPECT_EQ(log.text(), "");
}

}  // namespace

namespace {

// 5000 x 5000 RGB: 72 MiB of pixels, within the decoder's limits, with 32
// MiB left to it: both kinds are refused and say so. Exits 0 when they do.
[[noreturn]] void decodeUnderACap() {
  const std::string png = testmedia::makePng(5000, 5000, 3, std::vector<uint8_t>(size_t(5000) * 5000 * 3, 90));
  const std::string jpeg = testmedia::makeJpeg({5000, 5000, 3, false, false});
  if (png.empty() || jpeg.empty() || !testsupport::capAddressSpace(32 << 20)) std::_Exit(2);
  vsplat::DebugCapture log;
  PixelImage a, b;
  const bool refused = !decodeTextureImage(&a, bytesOf(png), png.size(), "big.png") &&
                       !decodeTextureImage(&b, bytesOf(jpeg), jpeg.size(), "big.jpg");
  const std::string text = log.text();
  std::fprintf(stderr, "%s", text.c_str());
  const bool said = text.find("Pnglib error: 5000 x 5000 pixels do not fit in memory (big.png)") != std::string::npos &&
                    text.find("Jpeglib error: 5000 x 5000 pixels do not fit in memory (big.jpg)") != std::string::npos;
  std::_Exit(refused && said ? 0 : 1);
}

TEST(TextureImageDeathTest, UnderAMemoryCapAPictureThatDoesNotFitIsDroppedWithALogLine) {
  if (!testsupport::kCanCapMemory) GTEST_SKIP() << "the sanitizer's reservations pass any cap";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(decodeUnderACap(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
