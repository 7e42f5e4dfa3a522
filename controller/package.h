// Finding members in the unscrambled package: the ZIP local headers, walked
// from the front. Only the local headers are read; the central directory,
// CRCs and data descriptors never are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controller/byte_buffer.h"

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr int64_t kLocalHeaderSize = 30;

struct PackageMember {
  int64_t header;             // offset of the local header
  int64_t dataOffset;         // first byte of the member's data
  uint16_t method;            // 0 stored, 8 deflate
  uint32_t compressedSize;    // bytes of data in the package
  uint32_t uncompressedSize;  // as the header claims (deflate only)
};

// The first member whose name is exactly name[0..length). Every header, name,
// extra field and data block it accepts lies inside the package.
bool findPackageMember(const ByteBuffer* package, const char* name, size_t length, PackageMember* member);
