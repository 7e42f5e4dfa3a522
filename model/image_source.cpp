#include "model/image_source.h"

#include <cstdlib>
#include <cstring>

#include "model/object.h"
#include "model/resource_id.h"

namespace {

uint32_t be16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

uint32_t be32(const unsigned char* p) { return be16(p) << 16 | be16(p + 2); }

// Every start-of-frame marker gives the size: baseline, extended,
// progressive and lossless, Huffman or arithmetic coded (0xFFC0 to 0xFFCF
// but for the table markers 0xFFC4, 0xFFC8 and 0xFFCC).
bool isFrameHeader(uint32_t marker) {
  return marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 && marker != 0xFFC8 && marker != 0xFFCC;
}

// Sizes count as int32; a header claiming more is read as 0.
int32_t sizeField(uint32_t v) { return v <= INT32_MAX ? static_cast<int32_t>(v) : 0; }

}  // namespace

ImageSource::ImageSource(const char* sourceName, unsigned char* bytes, int32_t byteCount, bool ownsBytes)
    : size(byteCount), data(bytes), owns(ownsBytes) {
  name = MDL_copyString(sourceName);
  id = MDL_nextResourceId();
  sniffHeader();
}

void ImageSource::sniffHeader() {
  width = height = 0;
  hasAlpha = false;
  if (!data || size <= 0) return;
  // Offsets are 64-bit: a length field near 2^32 added to an offset can
  // neither wrap nor pass the end unseen.
  const int64_t end = size;
  const unsigned char* d = data;
  // A JPEG: the start-of-image marker and a segment marker, whatever the
  // first segment (JFIF, Exif, Adobe or none).
  if (end >= 10 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) {
    int64_t p = 2;
    while (p + 4 <= end) {
      const uint32_t marker = be16(d + p);
      const int64_t length = static_cast<int64_t>(be16(d + p + 2)) + 2;
      if (p + length >= end) return;
      if (isFrameHeader(marker)) {
        if (p + 9 > end) return;
        height = sizeField(be16(d + p + 5));
        width = sizeField(be16(d + p + 7));
        return;
      }
      p += length;
    }
    return;
  }
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (end < 8 || std::memcmp(d, kPngSignature, 8) != 0) return;
  int64_t at = 8;
  while (at + 8 <= end) {
    const int64_t length = be32(d + at);
    const unsigned char* type = d + at + 4;
    if (std::memcmp(type, "IEND", 4) == 0) return;
    if (at + length + 12 >= end) return;
    const unsigned char* body = d + at + 8;
    if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) {
      width = sizeField(be32(body));
      height = sizeField(be32(body + 4));
      if (body[9] & 4) hasAlpha = true;
    } else if (std::memcmp(type, "tRNS", 4) == 0) {
      hasAlpha = true;
    }
    at += length + 12;
  }
}

void ImageSource::destroy() {
  std::free(name);
  name = nullptr;
  if (owns && !rawPixels) std::free(data);
  data = nullptr;
  size = 0;
  owns = false;
  proxy.release();
}
