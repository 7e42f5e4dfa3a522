#pragma once
// How the resource classes (newTexture, newFont, newSample) hold the
// controller's records. Deleting one detaches it from its proxy at once; the
// record itself waits on the controller's retired list, since materials,
// texts or sounds may still point at it.

#include <lua.hpp>

#include <cstdint>
#include <cstdlib>

#include "controller/ctrl_generic.h"
#include "script/lmp_binder.h"

// A live record's link holds a count, so it cannot point at a proxy being
// destroyed; forget it all the same rather than leave it dangling.
template <class Record>
void LMP_forgetLink(Record* record, LMP_Proxy* proxy) {
  if (record && record->proxy.get() == proxy) record->proxy.proxy = nullptr;
}

// A package file read for a new record: freed here unless a record takes
// it over (clear `owned` once it has).
struct LMP_FileBytes {
  uint8_t* data = nullptr;
  int32_t size = 0;
  bool owned = false;
  LMP_FileBytes() = default;
  LMP_FileBytes(const LMP_FileBytes&) = delete;
  LMP_FileBytes& operator=(const LMP_FileBytes&) = delete;
  ~LMP_FileBytes() {
    if (owned) std::free(data);
  }
};

template <class Record>
void LMP_link(LMP_Proxy* proxy, Record* record) {
  proxy->model = record;
  record->proxy.assign(proxy);
}

// Detaches the proxy from its record; the record leaves the list it is on
// (if any) for the retired list, where it stays valid for whatever still
// points at it. True when it left the list.
template <class Record>
bool LMP_retire(CTRL_Generic* ctrl, PtrArray<Record>& list, LMP_Proxy* proxy) {
  Record* record = static_cast<Record*>(proxy->model);
  proxy->model = nullptr;
  if (!record) return false;
  if (record->proxy.get() == proxy) record->proxy.release();
  if (!list.removeFirst(record)) return false;
  ctrl->resources.retired.add(record);
  return true;
}

template <class Proxy, class Record>
int LMP_pushLinked(lua_State* L, Record* record) {
  if (!record) return 0;
  LMP_Proxy* proxy = record->proxy.get();
  if (!proxy) {
    proxy = new Proxy();
    LMP_link(proxy, record);
  }
  LMP_Binder<Proxy>::push(L, proxy);
  return 1;
}
