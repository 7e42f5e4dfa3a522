// Resources: the program's table, and RCDATA 130 from the executable file.
#ifndef _WIN32
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/internal.h"
#include "platform/payload.h"
#include "platform/resources.h"
#include "platform/seams.h"

namespace vsplat {

namespace {

const WORD kPackageId = 130;
const WORD kRcData = 10;

struct Loaded {
  WORD type;
  WORD id;
  const void* data;
  size_t size;
};

std::mutex g_mutex;
std::vector<Loaded> g_loaded;  // HRSRC is an index + 1 into this list
bool g_payloadRead = false;
std::vector<uint8_t> g_payload;
bool g_hasPayload = false;
const ResourceDef* g_table = nullptr;
size_t g_tableCount = 0;

void readOwnPayload() {
  if (g_payloadRead) return;
  g_payloadRead = true;
  FILE* f = fopen("/proc/self/exe", "rb");
  if (!f) return;
  std::vector<uint8_t> exe;
  uint8_t chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) exe.insert(exe.end(), chunk, chunk + n);
  fclose(f);
  size_t offset = 0, size = 0;
  if (!findPayload(exe.data(), exe.size(), &offset, &size)) return;
  g_payload.assign(exe.begin() + offset, exe.begin() + offset + size);
  g_hasPayload = true;
}

WORD intResource(LPCSTR p, bool* ok) {
  *ok = p && IS_INTRESOURCE(p);
  if (*ok) return LOWORD((uintptr_t)p);
  // "#104" names an integer resource too.
  if (p && p[0] == '#') {
    *ok = true;
    return (WORD)atoi(p + 1);
  }
  return 0;
}

}  // namespace

void setProgramResources(const ResourceDef* table, size_t count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_table = table;
  g_tableCount = table ? count : 0;
}

void overrideProgramPackage(const std::vector<uint8_t>* bytes) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_payloadRead = true;
  g_hasPayload = bytes != nullptr;
  g_payload = bytes ? *bytes : std::vector<uint8_t>();
}

bool findProgramResource(WORD type, WORD id, const void** data, size_t* size) {
  if (type == kRcData && id == kPackageId) {
    std::lock_guard<std::mutex> lock(g_mutex);
    readOwnPayload();
    if (!g_hasPayload) return false;
    *data = g_payload.data();
    *size = g_payload.size();
    return true;
  }
  const ResourceDef* table;
  size_t count;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    table = g_table;
    count = g_tableCount;
  }
  for (size_t i = 0; i < count; ++i) {
    const ResourceDef& r = table[i];
    if (r.type != type || r.id != id) continue;
    if (r.load) {
      *data = r.load(size);
    } else {
      *data = r.data;
      *size = r.size;
    }
    return *data != nullptr;
  }
  return false;
}

bool findProgramResource(LPCSTR type, LPCSTR name, const void** data, size_t* size) {
  bool okType, okName;
  WORD t = intResource(type, &okType), id = intResource(name, &okName);
  if (!okType || !okName) return false;
  return findProgramResource(t, id, data, size);
}

}  // namespace vsplat

using namespace vsplat;

extern "C" {

HMODULE GetModuleHandleA(LPCSTR name) { return name ? nullptr : (HMODULE)(uintptr_t)0x400000; }

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  const void* data = nullptr;
  size_t size = 0;
  if (!findProgramResource(type, name, &data, &size)) return nullptr;
  bool ok;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_loaded.push_back({intResource(type, &ok), intResource(name, &ok), data, size});
  return (HRSRC)(uintptr_t)g_loaded.size();
}

DWORD SizeofResource(HMODULE, HRSRC res) {
  std::lock_guard<std::mutex> lock(g_mutex);
  size_t i = (size_t)(uintptr_t)res;
  if (i == 0 || i > g_loaded.size()) return 0;
  return (DWORD)g_loaded[i - 1].size;
}

HGLOBAL LoadResource(HMODULE, HRSRC res) {
  std::lock_guard<std::mutex> lock(g_mutex);
  size_t i = (size_t)(uintptr_t)res;
  if (i == 0 || i > g_loaded.size()) return nullptr;
  return const_cast<void*>(g_loaded[i - 1].data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

}  // extern "C"
#endif
