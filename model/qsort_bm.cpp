// The sort of Jon L. Bentley and M. Douglas McIlroy, "Engineering a Sort
// Function", Software: Practice and Experience 23(11), 1993.
#include "model/qsort_bm.h"

#include <cstdint>
#include <cstring>

#include "core/assert.h"

namespace {

struct Sorter {
  size_t size;
  bool words;  // base and size are multiples of 4: swap 4-byte words
  QsortCompare compare;

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

  // Swaps n bytes (whole elements) between two non-overlapping runs.
  void swapRun(char* a, char* b, size_t n) const {
    for (size_t i = 0; i < n; i += size) swap(a + i, b + i);
  }

  char* median3(char* a, char* b, char* c) const {
    if (compare(a, b) < 0) {
      if (compare(b, c) < 0) return b;
      return compare(a, c) < 0 ? c : a;
    }
    if (compare(b, c) > 0) return b;
    return compare(a, c) > 0 ? c : a;
  }

  void sort(char* a, size_t n) const {
    for (;;) {
      if (n < 7) {
        for (char* pm = a + size; pm < a + n * size; pm += size)
          for (char* pl = pm; pl > a && compare(pl - size, pl) > 0; pl -= size) swap(pl, pl - size);
        return;
      }
      char* pm = a + (n / 2) * size;
      if (n > 7) {
        char* pl = a;
        char* pn = a + (n - 1) * size;
        if (n > 40) {
          size_t s = (n / 8) * size;
          pl = median3(pl, pl + s, pl + 2 * s);
          pm = median3(pm - s, pm, pm + s);
          pn = median3(pn - 2 * s, pn - s, pn);
        }
        pm = median3(pl, pm, pn);
      }
      swap(a, pm);  // the pivot lives at the front

      char* pa = a + size;
      char* pb = pa;
      char* pc = a + (n - 1) * size;
      char* pd = pc;
      for (;;) {
        int r;
        while (pb <= pc && (r = compare(pb, a)) <= 0) {
          if (r == 0) {
            swap(pa, pb);
            pa += size;
          }
          pb += size;
        }
        while (pb <= pc && (r = compare(pc, a)) >= 0) {
          if (r == 0) {
            swap(pc, pd);
            pd -= size;
          }
          pc -= size;
        }
        if (pb > pc) break;
        swap(pb, pc);
        pb += size;
        pc -= size;
      }

      // Move the equal runs from both ends into the middle.
      char* pn = a + n * size;
      size_t s = static_cast<size_t>(pa - a) < static_cast<size_t>(pb - pa) ? pa - a : pb - pa;
      swapRun(a, pb - s, s);
      size_t right = static_cast<size_t>(pn - pd) - size;
      s = static_cast<size_t>(pd - pc) < right ? pd - pc : right;
      swapRun(pb, pn - s, s);

      size_t less = (pb - pa) / size;
      size_t greater = (pd - pc) / size;
      char* greaterBase = pn - greater * size;
      // Recurse into the smaller side and loop on the larger one, so the
      // stack stays shallow whatever the input.
      if (less < greater) {
        if (less > 1) sort(a, less);
        if (greater <= 1) return;
        a = greaterBase;
        n = greater;
      } else {
        if (greater > 1) sort(greaterBase, greater);
        if (less <= 1) return;
        n = less;
      }
    }
  }
};

}  // namespace

void qsortBM(void* base, size_t count, size_t size, QsortCompare compare) {
  VS_ASSERT(compare);
  if (!base || count < 2 || size == 0) return;
  Sorter sorter{size, (reinterpret_cast<uintptr_t>(base) % 4 == 0) && (size % 4 == 0), compare};
  sorter.sort(static_cast<char*>(base), count);
}
