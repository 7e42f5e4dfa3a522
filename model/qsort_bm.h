// The system's own quicksort (Bentley-McIlroy, three-way partitioning), used
// by the collision sweep and the overlay ordering. Not stable.
#pragma once

#include <cstddef>

typedef int (*QsortCompare)(const void* a, const void* b);

// Sorts count elements of size bytes each at base, ascending by compare
// (negative, zero or positive).
void qsortBM(void* base, size_t count, size_t size, QsortCompare compare);

// The same sort over elements that `ops` knows: ops.size bytes each,
// ops.compare(a, b) as above and ops.swap(a, b) for two elements. Every
// sort of this file makes the same comparisons and swaps in the same order,
// so equal elements end up in the same places whichever one runs.
template <class Ops>
void qsortBMWith(char* base, size_t count, const Ops& ops);

namespace qsort_bm_detail {

template <class Ops>
char* median3(const Ops& ops, char* a, char* b, char* c) {
  if (ops.compare(a, b) < 0) {
    if (ops.compare(b, c) < 0) return b;
    return ops.compare(a, c) < 0 ? c : a;
  }
  if (ops.compare(b, c) > 0) return b;
  return ops.compare(a, c) > 0 ? c : a;
}

// Swaps n bytes (whole elements) between two non-overlapping runs.
template <class Ops>
void swapRun(const Ops& ops, char* a, char* b, size_t n) {
  for (size_t i = 0; i < n; i += ops.size) ops.swap(a + i, b + i);
}

}  // namespace qsort_bm_detail

template <class Ops>
void qsortBMWith(char* a, size_t n, const Ops& ops) {
  using qsort_bm_detail::median3;
  using qsort_bm_detail::swapRun;
  const size_t size = ops.size;
  for (;;) {
    if (n < 7) {
      for (char* pm = a + size; pm < a + n * size; pm += size)
        for (char* pl = pm; pl > a && ops.compare(pl - size, pl) > 0; pl -= size) ops.swap(pl, pl - size);
      return;
    }
    char* pm = a + (n / 2) * size;
    if (n > 7) {
      char* pl = a;
      char* pn = a + (n - 1) * size;
      if (n > 40) {
        size_t s = (n / 8) * size;
        pl = median3(ops, pl, pl + s, pl + 2 * s);
        pm = median3(ops, pm - s, pm, pm + s);
        pn = median3(ops, pn - 2 * s, pn - s, pn);
      }
      pm = median3(ops, pl, pm, pn);
    }
    ops.swap(a, pm);  // the pivot lives at the front

    char* pa = a + size;
    char* pb = pa;
    char* pc = a + (n - 1) * size;
    char* pd = pc;
    for (;;) {
      int r;
      while (pb <= pc && (r = ops.compare(pb, a)) <= 0) {
        if (r == 0) {
          ops.swap(pa, pb);
          pa += size;
        }
        pb += size;
      }
      while (pb <= pc && (r = ops.compare(pc, a)) >= 0) {
        if (r == 0) {
          ops.swap(pc, pd);
          pd -= size;
        }
        pc -= size;
      }
      if (pb > pc) break;
      ops.swap(pb, pc);
      pb += size;
      pc -= size;
    }

    // Move the equal runs from both ends into the middle.
    char* pn = a + n * size;
    size_t s = static_cast<size_t>(pa - a) < static_cast<size_t>(pb - pa) ? pa - a : pb - pa;
    swapRun(ops, a, pb - s, s);
    size_t right = static_cast<size_t>(pn - pd) - size;
    s = static_cast<size_t>(pd - pc) < right ? pd - pc : right;
    swapRun(ops, pb, pn - s, s);

    size_t less = (pb - pa) / size;
    size_t greater = (pd - pc) / size;
    char* greaterBase = pn - greater * size;
    // Recurse into the smaller side and loop on the larger one, so the
    // stack stays shallow whatever the input.
    if (less < greater) {
      if (less > 1) qsortBMWith(a, less, ops);
      if (greater <= 1) return;
      a = greaterBase;
      n = greater;
    } else {
      if (greater > 1) qsortBMWith(greaterBase, greater, ops);
      if (less <= 1) return;
      n = less;
    }
  }
}
