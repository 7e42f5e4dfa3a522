#include "controller/package_crypto.h"

#include <nettle/md5.h>
#include <tommath.h>

#include <cstring>

namespace {

constexpr uint32_t kSeed = 13572468;
constexpr uint32_t kMultiplier = 18000;
// The multiply-with-carry step z -> 18000 * (z & 0xFFFF) + (z >> 16) is
// multiplication by 18000 modulo 18000 * 2^16 - 1 for every state below that
// modulus, so the state n steps ahead is seed * 18000^n mod it. That lets the
// pass run several independent stretches of the stream at once.
constexpr uint64_t kModulus = uint64_t{kMultiplier} * 65536 - 1;

inline uint32_t step(uint32_t z) { return kMultiplier * (z & 0xFFFF) + (z >> 16); }

uint32_t stateAfter(uint64_t steps) {
  uint64_t result = kSeed % kModulus, base = kMultiplier;
  while (steps) {
    if (steps & 1) result = result * base % kModulus;
    base = base * base % kModulus;
    steps >>= 1;
  }
  return static_cast<uint32_t>(result);
}

// Finishes the pass one byte at a time from the given state, for the bytes
// before `end` (the front of the buffer).
void scrambleSerial(uint8_t* data, uint8_t* end, uint32_t z) {
  for (uint8_t* p = end; p > data;) {
    z = step(z);
    *--p ^= static_cast<uint8_t>(z);
  }
}

}  // namespace

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

// Sixteen stretches of the stream side by side, four per SSE2 register. Each
// lane gathers four key bytes, then XORs them into its stretch as one word.
void scramblePackage(uint8_t* data, size_t size) {
  if (!data || size == 0) return;
  constexpr size_t kLanes = 16;
  const size_t lane = size / (kLanes * 4) * 4;  // bytes per stretch, whole words
  alignas(16) uint32_t state[kLanes];
  uint8_t* end[kLanes];  // one past the byte each stretch processes next
  for (size_t j = 0; j < kLanes; ++j) {
    state[j] = stateAfter(j * lane);
    end[j] = data + size - j * lane;
  }
  __m128i z[4];
  for (int v = 0; v < 4; ++v) z[v] = _mm_load_si128(reinterpret_cast<const __m128i*>(state + 4 * v));
  // _mm_madd_epi16 multiplies the low half by 18000 and adds the high half in
  // one go, but reads the low half as signed: add 18000 * 65536 back when its
  // top bit is set.
  const __m128i factors = _mm_set1_epi32(static_cast<int>(0x00010000u | kMultiplier));
  const __m128i fix = _mm_set1_epi32(static_cast<int>(kMultiplier << 16));
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  alignas(16) uint32_t words[kLanes];
  for (size_t t = 0; t < lane; t += 4) {
    __m128i key[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (int k = 0; k < 4; ++k) {
      for (int v = 0; v < 4; ++v) {
        const __m128i sign = _mm_srai_epi32(_mm_slli_epi32(z[v], 16), 31);
        z[v] = _mm_add_epi32(_mm_madd_epi16(z[v], factors), _mm_and_si128(sign, fix));
        // The first key byte goes to the highest address: most significant.
        key[v] = _mm_or_si128(_mm_slli_epi32(key[v], 8), _mm_and_si128(z[v], lowByte));
      }
    }
    for (int v = 0; v < 4; ++v) _mm_store_si128(reinterpret_cast<__m128i*>(words + 4 * v), key[v]);
    for (size_t j = 0; j < kLanes; ++j) {
      end[j] -= 4;
      uint32_t word;
      memcpy(&word, end[j], 4);
      word ^= words[j];  // little-endian: the word's top byte is the last address
      memcpy(end[j], &word, 4);
    }
  }
  _mm_store_si128(reinterpret_cast<__m128i*>(state + 12), z[3]);
  scrambleSerial(data, end[kLanes - 1], state[kLanes - 1]);
}

#else

// Eight independent stretches of the stream, so their steps overlap.
void scramblePackage(uint8_t* data, size_t size) {
  if (!data || size == 0) return;
  constexpr size_t kLanes = 8;
  const size_t lane = size / kLanes;
  uint32_t z[kLanes];
  uint8_t* end[kLanes];
  for (size_t j = 0; j < kLanes; ++j) {
    z[j] = stateAfter(j * lane);
    end[j] = data + size - j * lane;
  }
  for (size_t t = 0; t < lane; ++t) {
    for (size_t j = 0; j < kLanes; ++j) {
      z[j] = step(z[j]);
      *--end[j] ^= static_cast<uint8_t>(z[j]);
    }
  }
  scrambleSerial(data, end[kLanes - 1], z[kLanes - 1]);
}

#endif

void digestPackage(const uint8_t* data, size_t size, uint8_t digest[kDigestSize]) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, size, data);
  md5_digest(&ctx, kDigestSize, digest);
}

SignatureCheck checkPackageSignature(const uint8_t digest[kDigestSize], const uint8_t signature[kSignatureSize],
                                     const uint8_t modulus[kSignatureSize]) {
  static const uint8_t kExponent[3] = {0x01, 0x00, 0x01};
  mp_int n, e, h, s, r;
  if (mp_init_multi(&n, &e, &h, &s, &r, nullptr) != MP_OKAY) return kSignatureOtherKey;
  SignatureCheck result = kSignatureOtherKey;
  if (mp_from_ubin(&n, modulus, kSignatureSize) == MP_OKAY &&
      mp_from_ubin(&e, kExponent, sizeof kExponent) == MP_OKAY && mp_from_ubin(&h, digest, kDigestSize) == MP_OKAY &&
      mp_from_ubin(&s, signature, kSignatureSize) == MP_OKAY && !mp_iszero(&n) &&
      mp_exptmod(&s, &e, &n, &r) == MP_OKAY) {
    // A signature of another key gives a number of about the modulus's size;
    // one of this key gives a digest, 128 bits at most.
    if (mp_cmp(&r, &h) == MP_EQ)
      result = kSignatureValid;
    else if (mp_count_bits(&r) <= static_cast<int>(8 * kDigestSize))
      result = kSignatureOtherContent;
  }
  mp_clear_multi(&n, &e, &h, &s, &r, nullptr);  // zeroes the digits before freeing
  return result;
}

bool verifyPackageSignature(const uint8_t digest[kDigestSize], const uint8_t signature[kSignatureSize],
                            const uint8_t modulus[kSignatureSize]) {
  return checkPackageSignature(digest, signature, modulus) == kSignatureValid;
}

bool signPackageDigest(const uint8_t digest[kDigestSize], const uint8_t modulus[kSignatureSize],
                       const uint8_t privateExponent[kSignatureSize], uint8_t signature[kSignatureSize]) {
  mp_int n, d, h, s;
  if (mp_init_multi(&n, &d, &h, &s, nullptr) != MP_OKAY) return false;
  bool ok = mp_from_ubin(&n, modulus, kSignatureSize) == MP_OKAY &&
            mp_from_ubin(&d, privateExponent, kSignatureSize) == MP_OKAY &&
            mp_from_ubin(&h, digest, kDigestSize) == MP_OKAY && !mp_iszero(&n) && mp_exptmod(&h, &d, &n, &s) == MP_OKAY;
  if (ok) {
    size_t bytes = mp_ubin_size(&s), written = 0;
    ok = bytes <= kSignatureSize;
    if (ok) {
      for (size_t i = 0; i < kSignatureSize - bytes; ++i) signature[i] = 0;
      ok = mp_to_ubin(&s, signature + (kSignatureSize - bytes), bytes, &written) == MP_OKAY;
    }
  }
  mp_clear_multi(&n, &d, &h, &s, nullptr);
  return ok;
}
