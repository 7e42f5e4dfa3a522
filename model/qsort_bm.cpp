// The sort of Jon L. Bentley and M. Douglas McIlroy, "Engineering a Sort
// Function", Software: Practice and Experience 23(11), 1993.
#include "model/qsort_bm.h"

#include <cstdint>
#include <cstring>

#include "core/assert.h"

namespace {

// Elements of any size, swapped in 4-byte words where base and size allow.
struct ByteElements {
  size_t size;
  bool words;
  QsortCompare compareFn;

  int compare(const char* a, const char* b) const { return compareFn(a, b); }
  void swap(char* a, char* b) const {
    if (a == b) return;
    if (words) {
      for (size_t i = 0; i < size; i += 4) {
        uint32_t t;
        std::memcpy(&t, a + i, 4);
        std::memcpy(a + i, b + i, 4);
        std::memcpy(b + i, &t, 4);
      }
    } else {
      for (size_t i = 0; i < size; ++i) {
        char t = a[i];
        a[i] = b[i];
        b[i] = t;
      }
    }
  }
};

}  // namespace

void qsortBM(void* base, size_t count, size_t size, QsortCompare compare) {
  VS_ASSERT(compare);
  if (!base || count < 2 || size == 0) return;
  ByteElements ops{size, (reinterpret_cast<uintptr_t>(base) % 4 == 0) && (size % 4 == 0), compare};
  qsortBMWith(static_cast<char*>(base), count, ops);
}
