// Counts every heap allocation of the process while `g_counting` is set.
// It replaces malloc and its kin, so include it in one file per program.
#pragma once

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void noteAllocation() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace
extern "C" void* malloc(size_t n) {
  noteAllocation();
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  noteAllocation();
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  noteAllocation();
  return __libc_realloc(p, n);
}
extern "C" void free(void* p) { __libc_free(p); }
