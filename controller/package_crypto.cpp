#include "controller/package_crypto.h"

#include <nettle/md5.h>
#include <tommath.h>

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

constexpr size_t kLanes = 8;

}  // namespace

void scramblePackage(uint8_t* data, size_t size) {
  if (!data || size == 0) return;
  // Key byte k (k = 0 for the last byte of the buffer) is the low byte of the
  // state after k + 1 steps.
  size_t lane = size / kLanes;
  uint32_t z[kLanes];
  uint8_t* end[kLanes];  // one past the byte each stretch processes next
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
  // The few bytes left at the front continue the last stretch.
  uint32_t last = z[kLanes - 1];
  for (uint8_t* p = end[kLanes - 1]; p > data;) {
    last = step(last);
    *--p ^= static_cast<uint8_t>(last);
  }
}

void digestPackage(const uint8_t* data, size_t size, uint8_t digest[kDigestSize]) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, size, data);
  md5_digest(&ctx, kDigestSize, digest);
}

bool verifyPackageSignature(const uint8_t digest[kDigestSize], const uint8_t signature[kSignatureSize],
                            const uint8_t modulus[kSignatureSize]) {
  static const uint8_t kExponent[3] = {0x01, 0x00, 0x01};
  mp_int n, e, h, s, r;
  if (mp_init_multi(&n, &e, &h, &s, &r, nullptr) != MP_OKAY) return false;
  bool valid = mp_from_ubin(&n, modulus, kSignatureSize) == MP_OKAY &&
               mp_from_ubin(&e, kExponent, sizeof kExponent) == MP_OKAY &&
               mp_from_ubin(&h, digest, kDigestSize) == MP_OKAY &&
               mp_from_ubin(&s, signature, kSignatureSize) == MP_OKAY && !mp_iszero(&n) &&
               mp_exptmod(&s, &e, &n, &r) == MP_OKAY && mp_cmp(&r, &h) == MP_EQ;
  mp_clear_multi(&n, &e, &h, &s, &r, nullptr);  // zeroes the digits before freeing
  return valid;
}

bool signPackageDigest(const uint8_t digest[kDigestSize], const uint8_t modulus[kSignatureSize],
                       const uint8_t privateExponent[kSignatureSize], uint8_t signature[kSignatureSize]) {
  mp_int n, d, h, s;
  if (mp_init_multi(&n, &d, &h, &s, nullptr) != MP_OKAY) return false;
  bool ok = mp_from_ubin(&n, modulus, kSignatureSize) == MP_OKAY &&
            mp_from_ubin(&d, privateExponent, kSignatureSize) == MP_OKAY &&
            mp_from_ubin(&h, digest, kDigestSize) == MP_OKAY && !mp_iszero(&n) &&
            mp_exptmod(&h, &d, &n, &s) == MP_OKAY;
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
