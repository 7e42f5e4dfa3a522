// A growable block of bytes; the content package lives in one.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct ByteBuffer {
  uint8_t* data = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;
  bool owns = true;  // data is ours to free

  ByteBuffer() = default;
  ~ByteBuffer() {
    if (owns) free(data);
  }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // n = 0 frees the data; otherwise size and capacity become exactly n and the
  // data is reallocated to n bytes. False (nothing changed) when n is negative
  // or the memory cannot be had.
  bool resize(int32_t n) {
    if (n < 0) return false;
    if (n == 0) {
      if (owns) free(data);
      data = nullptr;
      size = capacity = 0;
      return true;
    }
    if (n == capacity && data) {
      size = n;
      return true;
    }
    uint8_t* grown;
    if (owns) {
      grown = static_cast<uint8_t*>(realloc(data, static_cast<size_t>(n)));
    } else {
      // Borrowed bytes are never reallocated: take a copy of what fits.
      grown = static_cast<uint8_t*>(malloc(static_cast<size_t>(n)));
      if (grown && data) memcpy(grown, data, static_cast<size_t>(size < n ? size : n));
    }
    if (!grown) return false;
    data = grown;
    owns = true;
    size = capacity = n;
    return true;
  }
};
