// The one growable array of the player. Every list (scene lists, material
// layers, sample arrays, point arrays, sweep entries) follows the same rule:
// the capacity is 0 or 128 doubled as often as needed; an owning array halves
// its capacity once per resize when the new count is at most half of a
// capacity over 128, and frees its storage at count 0; a non-owning array
// grows but never shrinks.
//
// "Owns" is about the storage policy, not the elements: a list of pointers
// never deletes what it points to. The storage itself is released when the
// array is destroyed, whatever the flag (the holders of non-owning arrays
// free them too).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/assert.h"
#include "model/vec3.h"

template <class E>
struct GrowArray {
  static_assert(std::is_trivially_copyable<E>::value, "elements are moved with memmove");

  E* data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  uint8_t owns = 1;

  static constexpr int32_t kMinCapacity = 128;

  GrowArray() = default;
  explicit GrowArray(bool owning) : owns(owning ? 1 : 0) {}
  ~GrowArray() { std::free(data); }
  GrowArray(const GrowArray&) = delete;
  GrowArray& operator=(const GrowArray&) = delete;
  GrowArray(GrowArray&& o) noexcept : data(o.data), count(o.count), capacity(o.capacity), owns(o.owns) {
    o.data = nullptr;
    o.count = o.capacity = 0;
  }
  GrowArray& operator=(GrowArray&& o) noexcept {
    if (this != &o) {
      std::free(data);
      data = o.data;
      count = o.count;
      capacity = o.capacity;
      owns = o.owns;
      o.data = nullptr;
      o.count = o.capacity = 0;
    }
    return *this;
  }

  // Sets the count to n by the growth rule; the first min(n, count)
  // elements keep their values, new ones are undefined. False (and nothing
  // changed) when n is negative or the storage cannot be had.
  bool resize(int32_t n) {
    if (n < 0) return false;
    if (n == 0) {
      if (owns) freeStorage();
      count = 0;
      return true;
    }
    if (n > capacity) {
      int32_t cap = capacity > kMinCapacity ? capacity : kMinCapacity;
      while (cap < n) {
        if (cap > INT32_MAX / 2) return false;
        cap *= 2;
      }
      if (!reallocTo(cap)) return false;
    } else if (owns && capacity > kMinCapacity && n <= capacity / 2) {
      // A failed shrink keeps the larger block; nothing is lost.
      reallocTo(capacity / 2);
    }
    count = n;
    return true;
  }

  bool append(const E& e) {
    E copy = e;  // e may live inside data
    if (!resize(count + 1)) return false;
    data[count - 1] = copy;
    return true;
  }

  // Makes room for n elements by the growth rule without changing the
  // count; false when the storage cannot be had.
  bool reserve(int32_t n) {
    const int32_t kept = count;
    if (n <= capacity) return true;
    if (!resize(n)) return false;
    count = kept;
    return true;
  }

  // Makes room for exactly n elements when there is less, for an array
  // whose final length is known; false when the storage cannot be had.
  bool reserveExactly(int32_t n) {
    if (n <= capacity) return true;
    return reallocTo(n);
  }

  // Appends n elements copied from items (which must not lie inside this
  // array); false, and nothing appended, when n is negative or the count
  // would pass int32 or the storage cannot be had. It grows by the rule
  // but never shrinks, so room made by reserve stays.
  bool append(const E* items, int32_t n) {
    if (n < 0 || n > INT32_MAX - count) return false;
    if (n == 0) return true;
    const int32_t at = count;
    if (count + n <= capacity)
      count += n;
    else if (!resize(count + n))
      return false;
    std::memcpy(static_cast<void*>(data + at), static_cast<const void*>(items), sizeof(E) * static_cast<size_t>(n));
    return true;
  }

  // Removes entry i keeping the order of the rest; the list shrinks by the
  // growth rule.
  void removeAt(int32_t i) {
    VS_ASSERT(i >= 0 && i < count);
    if (i < 0 || i >= count) return;  // a build without asserts still never moves a negative size
    std::memmove(static_cast<void*>(data + i), static_cast<const void*>(data + i + 1),
                 sizeof(E) * static_cast<size_t>(count - i - 1));
    resize(count - 1);
  }

  // Removes every entry for which drop(entry) is true, keeping the order of
  // the rest; the capacity ends where removing them one by one would have
  // left it. Returns how many were removed.
  template <class Pred>
  int32_t removeIf(Pred drop) {
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
      if (drop(data[i])) continue;
      if (kept != i) data[kept] = data[i];
      ++kept;
    }
    int32_t removed = count - kept;
    if (removed == 0) return 0;
    if (kept == 0) {
      resize(0);
      return removed;
    }
    count = kept;
    // One removal at a time would resize to count - 1, ..., kept, each
    // resize halving at most once.
    if (owns) {
      int32_t cap = capacity;
      for (int32_t n = kept + removed - 1; n >= kept; --n)
        if (cap > kMinCapacity && n <= cap / 2) cap /= 2;
      if (cap != capacity) reallocTo(cap);  // a failed shrink keeps the larger block
    }
    return removed;
  }

  int32_t indexOf(const E& e) const {
    for (int32_t i = 0; i < count; ++i)
      if (data[i] == e) return i;
    return -1;
  }

  // Removes the first entry equal to e; false when there is none.
  bool removeFirst(const E& e) {
    int32_t i = indexOf(e);
    if (i < 0) return false;
    removeAt(i);
    return true;
  }

  // Drops the storage whatever the owns flag.
  void freeStorage() {
    std::free(data);
    data = nullptr;
    capacity = 0;
    count = 0;
  }

  int32_t size() const { return count; }
  bool empty() const { return count == 0; }
  E& operator[](int32_t i) { return data[i]; }
  const E& operator[](int32_t i) const { return data[i]; }
  E* begin() { return data; }
  E* end() { return data + count; }
  const E* begin() const { return data; }
  const E* end() const { return data + count; }

 private:
  bool reallocTo(int32_t cap) {
    void* p = std::realloc(static_cast<void*>(data), sizeof(E) * static_cast<size_t>(cap));
    if (!p) return false;
    data = static_cast<E*>(p);
    capacity = cap;
    return true;
  }
};

// A list of pointers to T (scene lists, sample arrays ...).
template <class T>
using PtrArray = GrowArray<T*>;

// A growable array of vectors.
using PointArray = GrowArray<Vec3>;
