// Records that scripts delete while scene objects, materials or animations may
// still point at them (textures, fonts, samples, and whatever else needs the
// same): they leave their proxy at once and wait here, and are freed with the
// controller, after everything that could use them.
#pragma once

#include "model/ptr_array.h"

struct CTRL_RetiredList {
  struct Entry {
    void* record;
    void (*free)(void* record);
  };
  GrowArray<Entry> entries;

  CTRL_RetiredList() = default;
  CTRL_RetiredList(const CTRL_RetiredList&) = delete;
  CTRL_RetiredList& operator=(const CTRL_RetiredList&) = delete;
  ~CTRL_RetiredList() { clear(); }

  // Keeps the record until clear; its proxy link is released now. A record
  // that cannot be listed (no memory) is kept forever rather than freed
  // under its users.
  template <class T>
  void add(T* record) {
    if (!record) return;
    record->proxy.release();
    entries.append(Entry{record, [](void* r) { delete static_cast<T*>(r); }});
  }

  bool holds(const void* record) const {
    for (const Entry& e : entries)
      if (e.record == record) return true;
    return false;
  }

  // Frees every record, last retired first.
  void clear() {
    for (int32_t i = entries.count - 1; i >= 0; --i) entries[i].free(entries[i].record);
    entries.freeStorage();
  }
};
