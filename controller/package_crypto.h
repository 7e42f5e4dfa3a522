// The package's protection: the scrambling pass, the MD5 digest the signature
// covers and the raw RSA signature itself. Shared by the player (checking) and
// the packer (signing), so both always agree on the format.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSignatureSize = 128;  // a 1024-bit big-endian integer
constexpr size_t kDigestSize = 16;

// XORs every byte with a multiply-with-carry key stream that starts at the
// last byte. Its own inverse: scrambling and unscrambling are the same pass.
void scramblePackage(uint8_t* data, size_t size);

// MD5 of the bytes.
void digestPackage(const uint8_t* data, size_t size, uint8_t digest[kDigestSize]);

// What signature^65537 mod modulus says of a package: the digest itself
// (valid), another digest (made with this key over other bytes: the content
// changed after signing), or no digest at all (made with another key, or no
// signature).
enum SignatureCheck { kSignatureValid, kSignatureOtherContent, kSignatureOtherKey };
SignatureCheck checkPackageSignature(const uint8_t digest[kDigestSize], const uint8_t signature[kSignatureSize],
                                     const uint8_t modulus[kSignatureSize]);

// True when signature^65537 mod modulus equals the digest as an integer.
bool verifyPackageSignature(const uint8_t digest[kDigestSize], const uint8_t signature[kSignatureSize],
                            const uint8_t modulus[kSignatureSize]);

// signature := digest^exponent mod modulus, written as 128 big-endian bytes.
// False when the big-integer arithmetic fails.
bool signPackageDigest(const uint8_t digest[kDigestSize], const uint8_t modulus[kSignatureSize],
                       const uint8_t privateExponent[kSignatureSize], uint8_t signature[kSignatureSize]);
