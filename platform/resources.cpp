// Resources: the program's table, and RCDATA 130 from the executable file.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>
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
// The package: a test's bytes, or the executable's payload mapped read-only
// from the file, as a Windows loader maps its resources. The mapping is made
// on the first lookup and dropped by FreeResource.
bool g_payloadRead = false;
std::vector<uint8_t> g_payload;
bool g_hasPayload = false;
void* g_mapping = nullptr;
size_t g_mappingSize = 0;
const uint8_t* g_payloadData = nullptr;
size_t g_payloadSize = 0;
std::string g_programFile = "/proc/self/exe";
const ResourceDef* g_table = nullptr;
size_t g_tableCount = 0;

void unmapPayload() {
  if (g_mapping) munmap(g_mapping, g_mappingSize);
  g_mapping = nullptr;
  g_mappingSize = 0;
}

// Only the trailer is read here; the payload's pages are read when the
// program copies them, once.
void readOwnPayload() {
  if (g_payloadRead) return;
  g_payloadRead = true;
  int fd = open(g_programFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  uint8_t trailer[kPayloadTrailer];
  size_t offset = 0, size = 0;
  const bool found =
      fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof trailer &&
      pread(fd, trailer, sizeof trailer, st.st_size - (off_t)sizeof trailer) == (ssize_t)sizeof trailer &&
      findPayloadInTrailer(trailer, (uint64_t)st.st_size, &offset, &size);
  if (found && size == 0) {
    g_payloadData = nullptr;  // an empty payload: found, no bytes
    g_payloadSize = 0;
    g_hasPayload = true;
  } else if (found) {
    const long page = sysconf(_SC_PAGESIZE);
    const size_t start = offset - offset % (size_t)(page > 0 ? page : 4096);
    void* at = mmap(nullptr, offset - start + size, PROT_READ, MAP_PRIVATE, fd, (off_t)start);
    if (at != MAP_FAILED) {
      g_mapping = at;
      g_mappingSize = offset - start + size;
      g_payloadData = static_cast<const uint8_t*>(at) + (offset - start);
      g_payloadSize = size;
      g_hasPayload = true;
    }
  }
  close(fd);
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
  unmapPayload();
  g_payloadRead = true;
  g_hasPayload = bytes != nullptr;
  g_payload = bytes ? *bytes : std::vector<uint8_t>();
  g_payloadData = g_payload.data();
  g_payloadSize = g_payload.size();
}

void overrideProgramFile(const char* path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  unmapPayload();
  g_payload.clear();
  g_hasPayload = false;
  g_payloadRead = false;
  g_programFile = path ? path : "/proc/self/exe";
}

bool findProgramResource(WORD type, WORD id, const void** data, size_t* size) {
  if (type == kRcData && id == kPackageId) {
    std::lock_guard<std::mutex> lock(g_mutex);
    readOwnPayload();
    if (!g_hasPayload) return false;
    *data = g_payloadData;
    *size = g_payloadSize;
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

// Frees what LoadResource gave: the package's mapping goes (the next lookup
// maps it again); everything else lives as long as the program.
BOOL FreeResource(HGLOBAL data) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!data || !g_mapping || data != g_payloadData) return FALSE;
  unmapPayload();
  g_payloadData = nullptr;
  g_payloadSize = 0;
  g_hasPayload = false;
  g_payloadRead = false;
  return TRUE;
}

}  // extern "C"
#endif
