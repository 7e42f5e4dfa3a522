// A hint to the processor that the memory at p is read soon; it changes
// nothing else. Loops that reach scattered records in an order of their
// own ask for one a few steps ahead.
#pragma once

inline void prefetchRead(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}
