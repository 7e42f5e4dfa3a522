#include "controller/ycbcr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

void expectNear(const unsigned char* rgb, int r, int g, int b, int tolerance, const char* where) {
  EXPECT_NEAR(rgb[0], r, tolerance) << where;
  EXPECT_NEAR(rgb[1], g, tolerance) << where;
  EXPECT_NEAR(rgb[2], b, tolerance) << where;
}

TEST(VideoConvert, FixedPointColoursBottomUpWithSharedChroma) {
  // A 4 x 2 picture at (1, 1) of a 6 x 4 luma plane, 4:2:0 chroma 3 x 2.
  std::vector<unsigned char> luma(6 * 4, 0), cb(3 * 2, 128), cr(3 * 2, 128);
  const unsigned char rows[2][4] = {{16, 235, 255, 128}, {235, 16, 255, 128}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) luma[(y + 1) * 6 + x + 1] = rows[y][x];
  cb[1 * 3 + 1] = 255;  // frame columns 2-3, rows 2-3
  cb[0 * 3 + 1] = 255;  // frame columns 2-3, rows 0-1
  const VideoPlane planes[3] = {{luma.data(), 6, 4, 6}, {cb.data(), 3, 2, 3}, {cr.data(), 3, 2, 3}};
  unsigned char out[4 * 2 * 3];
  ASSERT_TRUE(CTRL_convertPicture(planes, 1, 1, 1, 1, 4, 2, out));
  // Bottom row in memory first: the picture's second row.
  auto at = [&](int x, int y) { return out + ((1 - y) * 4 + x) * 3; };
  expectNear(at(0, 0), 0, 0, 0, 0, "Y 16 is black");
  expectNear(at(0, 1), 255, 255, 255, 0, "Y 235 is white");
  // Picture column 1 is frame column 2: Cb 255.
  expectNear(at(1, 0), 255, 205, 255, 0, "Y 235, Cb 255");
  expectNear(at(1, 1), 0, 0, 255, 0, "Y 16, Cb 255");
  // Frame column 3 (picture 2) uses chroma column 1: Cb 255 and a bright Y
  // whose blue sum passes 2^31 in 32 bits; it must stay at 255.
  const int64_t l = int64_t{4883779} * 255;
  const int g = static_cast<int>(std::min<int64_t>(255, (l - 1643170 * 255 - 3409833 * 128 + 570741154) >> 22));
  const int r = static_cast<int>(std::min<int64_t>(255, (l + 6694222 * 128 - 932903662) >> 22));
  expectNear(at(2, 0), r, g, 255, 0, "bright blue");
  expectNear(at(2, 1), r, g, 255, 0, "bright blue");
  // Frame column 4 uses chroma column 2 (neutral).
  const int mid = static_cast<int>((int64_t{4883779} * 128 + 6694222 * 128 - 932903662) >> 22);
  expectNear(at(3, 0), mid, mid, mid, 1, "neutral grey");
}

// The conversion as written, in 64-bit sums.
uint8_t reference(int64_t sum) {
  const int64_t v = sum >> 22;
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

TEST(VideoConvert, EverySampleTripleMatchesTheWideArithmetic) {
  // 4:4:4 planes: Y' along x, Cb along y, one Cr per pass.
  std::vector<unsigned char> luma(256 * 256), cb(256 * 256), cr(256 * 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      luma[y * 256 + x] = static_cast<unsigned char>(x);
      cb[y * 256 + x] = static_cast<unsigned char>(y);
    }
  std::vector<unsigned char> out(256 * 256 * 3);
  int wrong = 0;
  for (int v = 0; v < 256; ++v) {
    std::fill(cr.begin(), cr.end(), static_cast<unsigned char>(v));
    const VideoPlane planes[3] = {{luma.data(), 256, 256, 256}, {cb.data(), 256, 256, 256}, {cr.data(), 256, 256, 256}};
    ASSERT_TRUE(CTRL_convertPicture(planes, 0, 0, 0, 0, 256, 256, out.data()));
    for (int u = 0; u < 256; ++u)
      for (int l = 0; l < 256; ++l) {
        const unsigned char* p = out.data() + ((255 - u) * 256 + l) * 3;
        const int64_t y = 4883779 * int64_t{l};
        wrong += p[0] != reference(y + 6694222 * int64_t{v} - 932903662);
        wrong += p[1] != reference(y - 1643170 * int64_t{u} - 3409833 * int64_t{v} + 570741154);
        wrong += p[2] != reference(y + 8460885 * int64_t{u} - 1159036566);
      }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(VideoConvert, WideSubsampledRegionAtAnOddOffsetMatchesPixelByPixel) {
  // Wider than one internal run, starting on the second column of a chroma
  // sample, an odd number of rows.
  const int fw = 640, fh = 10, x0 = 3, y0 = 1, w = 601, h = 7;
  std::vector<unsigned char> luma(fw * fh), cb(fw / 2 * fh / 2), cr(fw / 2 * fh / 2);
  unsigned state = 7;
  auto next = [&] { return static_cast<unsigned char>((state = state * 1103515245 + 12345) >> 16); };
  for (auto& b : luma) b = next();
  for (auto& b : cb) b = next();
  for (auto& b : cr) b = next();
  const VideoPlane planes[3] = {
      {luma.data(), fw, fh, fw}, {cb.data(), fw / 2, fh / 2, fw / 2}, {cr.data(), fw / 2, fh / 2, fw / 2}};
  std::vector<unsigned char> out(w * h * 3);
  ASSERT_TRUE(CTRL_convertPicture(planes, 1, 1, x0, y0, w, h, out.data()));
  int wrong = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int64_t l = 4883779 * int64_t{luma[(y0 + y) * fw + x0 + x]};
      const int64_t u = cb[(y0 + y) / 2 * (fw / 2) + (x0 + x) / 2], v = cr[(y0 + y) / 2 * (fw / 2) + (x0 + x) / 2];
      const unsigned char* p = out.data() + ((h - 1 - y) * w + x) * 3;
      wrong += p[0] != reference(l + 6694222 * v - 932903662);
      wrong += p[1] != reference(l - 1643170 * u - 3409833 * v + 570741154);
      wrong += p[2] != reference(l + 8460885 * u - 1159036566);
    }
  EXPECT_EQ(wrong, 0);
}

TEST(VideoConvert, RegionOutsideThePlanesWritesNothing) {
  std::vector<unsigned char> luma(16 * 16, 16), chroma(8 * 8, 128);
  const VideoPlane planes[3] = {{luma.data(), 16, 16, 16}, {chroma.data(), 8, 8, 8}, {chroma.data(), 8, 8, 8}};
  std::vector<unsigned char> out(17 * 16 * 3, 7);
  EXPECT_FALSE(CTRL_convertPicture(planes, 1, 1, 1, 0, 16, 16, out.data()));
  EXPECT_FALSE(CTRL_convertPicture(planes, 1, 1, 0, 0, 17, 16, out.data()));
  EXPECT_FALSE(CTRL_convertPicture(planes, 1, 1, -1, 0, 4, 4, out.data()));
  for (unsigned char c : out) ASSERT_EQ(c, 7);
}

}  // namespace
