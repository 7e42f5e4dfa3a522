#include "controller/ycbcr.h"

#include <cstdint>

namespace {

// The conversion's sums run from about -1.08 x 2^30 to 1.09 x 2^31: past
// int32 for a bright blue, but within 32 bits once biased by 277 x 2^22. The
// biased sums are taken modulo 2^32 and shifted, which is exactly the
// arithmetic shift of the true sum, 277 higher.
constexpr uint32_t kBiasSteps = 277;
constexpr uint32_t kBias = kBiasSteps << 22;

inline uint8_t toByte(uint32_t biased) {
  const int32_t v = static_cast<int32_t>(biased >> 22) - static_cast<int32_t>(kBiasSteps);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The chroma terms of one sample, biased.
inline uint32_t redTerm(uint32_t cr) { return 6694222u * cr + (kBias - 932903662u); }
inline uint32_t greenTerm(uint32_t cb, uint32_t cr) { return 570741154u + kBias - 1643170u * cb - 3409833u * cr; }
inline uint32_t blueTerm(uint32_t cb) { return 8460885u * cb + (kBias - 1159036566u); }

// The conversion is plain loops the compiler vectorises; where the
// toolchain can pick a version by processor at load time, x86-64 gets an
// AVX2 one as well (32-bit lane products and byte shuffles) besides the
// baseline.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define VS_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VS_VECTOR_CLONES
#endif

// Picture columns up to this many are converted a run at a time; wider
// pictures take several runs.
constexpr int64_t kRun = 256;

// Each column's chroma terms for a run of columns [x, x + n), from index
// `first` of the arrays: one sample serves 1 << xShift columns.
struct RunTerms {
  uint32_t r[kRun + 2], g[kRun + 2], b[kRun + 2];
  int64_t first = 0;
  VS_VECTOR_CLONES void fill(const unsigned char* cb, const unsigned char* cr, int xShift, int64_t x, int64_t n) {
    const int64_t c0 = x >> xShift, samples = ((x + n - 1) >> xShift) - c0 + 1;
    uint32_t sr[kRun + 2], sg[kRun + 2], sb[kRun + 2];
    uint32_t* to[3] = {xShift ? sr : r, xShift ? sg : g, xShift ? sb : b};
    for (int64_t i = 0; i < samples; ++i) {
      to[0][i] = redTerm(cr[c0 + i]);
      to[1][i] = greenTerm(cb[c0 + i], cr[c0 + i]);
      to[2][i] = blueTerm(cb[c0 + i]);
    }
    first = 0;
    if (!xShift) return;
    for (int64_t i = 0; i < samples; ++i) {
      r[2 * i] = r[2 * i + 1] = sr[i];
      g[2 * i] = g[2 * i + 1] = sg[i];
      b[2 * i] = b[2 * i + 1] = sb[i];
    }
    first = x & 1;  // an odd column starts on the second half of its sample
  }
};

// One row of a run: a plain loop over arrays, which the compiler turns into
// vector code.
VS_VECTOR_CLONES void convertRun(const unsigned char* luma, const RunTerms& t, int64_t n, unsigned char* out) {
  const uint32_t* tr = t.r + t.first;
  const uint32_t* tg = t.g + t.first;
  const uint32_t* tb = t.b + t.first;
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t l = 4883779u * luma[i];
    out[3 * i] = toByte(l + tr[i]);
    out[3 * i + 1] = toByte(l + tg[i]);
    out[3 * i + 2] = toByte(l + tb[i]);
  }
}

}  // namespace

bool CTRL_convertPicture(const VideoPlane planes[3], int xShift, int yShift, int32_t picX, int32_t picY, int32_t width,
                         int32_t height, unsigned char* out) {
  const int64_t x0 = picX, y0 = picY, w = width, h = height;
  if (x0 < 0 || y0 < 0 || w <= 0 || h <= 0 || !out) return false;
  // The decoder validates the picture region; planes that disagree are not
  // read outside.
  for (int i = 0; i < 3; ++i)
    if (!planes[i].data || planes[i].stride < planes[i].width) return false;
  if (x0 + w > planes[0].width || y0 + h > planes[0].height || ((x0 + w - 1) >> xShift) >= planes[1].width ||
      ((y0 + h - 1) >> yShift) >= planes[1].height || planes[1].width != planes[2].width ||
      planes[1].height != planes[2].height)
    return false;
  RunTerms terms;
  for (int64_t top = y0; top < y0 + h;) {
    int64_t bottom = ((top >> yShift) + 1) << yShift;  // rows sharing one chroma row
    if (bottom > y0 + h) bottom = y0 + h;
    const unsigned char* cb = planes[1].data + (top >> yShift) * planes[1].stride;
    const unsigned char* cr = planes[2].data + (top >> yShift) * planes[2].stride;
    for (int64_t x = x0; x < x0 + w; x += kRun) {
      const int64_t n = x0 + w - x < kRun ? x0 + w - x : kRun;
      terms.fill(cb, cr, xShift, x, n);
      for (int64_t y = top; y < bottom; ++y)
        convertRun(planes[0].data + y * planes[0].stride + x, terms, n,
                   out + ((h - 1 - (y - y0)) * w + (x - x0)) * 3);  // bottom row first
    }
    top = bottom;
  }
  return true;
}
