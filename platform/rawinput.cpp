// Raw input from HID devices over SDL's HID functions, and output reports
// through CreateFileA/WriteFile on a device's name.
#ifndef _WIN32
#include <SDL.h>
#include <SDL_hidapi.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/internal.h"

namespace vsplat {

namespace {

struct HidDevice {
  uintptr_t handle = 0;
  std::string path;
  RID_DEVICE_INFO_HID info = {};
  bool fake = false;
  SDL_hid_device* reader = nullptr;  // open while registered for input
  std::deque<std::vector<uint8_t>> fakeInput;
  std::vector<std::vector<uint8_t>> fakeWrites;
};

struct DeviceFile : KernelObject {
  uintptr_t device = 0;
  SDL_hid_device* hid = nullptr;
  ~DeviceFile() override {
    if (hid) SDL_hid_close(hid);
  }
};

std::vector<HidDevice> g_devices;
bool g_enumerated = false;
bool g_fakeOnly = false;
uintptr_t g_nextDevice = 0x2000;
std::vector<std::pair<USHORT, USHORT>> g_registered;  // usage page, usage
std::map<uintptr_t, std::vector<uint8_t>> g_inputs;   // HRAWINPUT -> its RAWINPUT bytes
uintptr_t g_nextInput = 0x3000;
const size_t kKeptInputs = 64;

const char kNamePrefix[] = "\\??\\";  // as raw input names a device
const char kOpenPrefix[] = "\\\\?\\";  // as CreateFileA opens one

void enumerate() {
  if (g_enumerated) return;
  g_enumerated = true;
  if (g_fakeOnly || SDL_hid_init() != 0) return;
  SDL_hid_device_info* list = SDL_hid_enumerate(0, 0);
  for (SDL_hid_device_info* d = list; d; d = d->next) {
    if (!d->path) continue;
    HidDevice dev;
    dev.handle = g_nextDevice++;
    dev.path = d->path;
    dev.info.dwVendorId = d->vendor_id;
    dev.info.dwProductId = d->product_id;
    dev.info.dwVersionNumber = d->release_number;
    dev.info.usUsagePage = d->usage_page;
    dev.info.usUsage = d->usage;
    g_devices.push_back(dev);
  }
  SDL_hid_free_enumeration(list);
}

HidDevice* findDevice(uintptr_t handle) {
  for (auto& d : g_devices)
    if (d.handle == handle) return &d;
  return nullptr;
}

bool registered(const HidDevice& d) {
  for (auto& r : g_registered)
    if (r.first == d.info.usUsagePage && r.second == d.info.usUsage) return true;
  return false;
}

void deliver(const HidDevice& d, const uint8_t* report, size_t size) {
  HWND target = focusWindow();
  if (!target || !size) return;
  size_t total = offsetof(RAWINPUT, data.hid.bRawData) + size;
  std::vector<uint8_t> bytes(total, 0);
  RAWINPUT* ri = reinterpret_cast<RAWINPUT*>(bytes.data());
  ri->header.dwType = RIM_TYPEHID;
  ri->header.dwSize = (DWORD)total;
  ri->header.hDevice = (HANDLE)d.handle;
  ri->data.hid.dwSizeHid = (DWORD)size;
  ri->data.hid.dwCount = 1;
  memcpy(bytes.data() + offsetof(RAWINPUT, data.hid.bRawData), report, size);
  uintptr_t h = g_nextInput++;
  g_inputs[h] = std::move(bytes);
  // Input nobody read is dropped after a while, as Windows drops it.
  while (g_inputs.size() > kKeptInputs) g_inputs.erase(g_inputs.begin());
  postInput(target, WM_INPUT, 0, (LPARAM)h);
}

}  // namespace

void pollRawInput() {
  for (auto& d : g_devices) {
    if (!registered(d)) continue;
    if (d.fake) {
      while (!d.fakeInput.empty()) {
        deliver(d, d.fakeInput.front().data(), d.fakeInput.front().size());
        d.fakeInput.pop_front();
      }
      continue;
    }
    if (!d.reader) continue;
    uint8_t report[1024];
    for (int i = 0; i < 16; ++i) {
      int n = SDL_hid_read(d.reader, report, sizeof report);
      if (n <= 0) break;
      deliver(d, report, (size_t)n);
    }
  }
}

// Test side.
HANDLE addFakeHidDevice(WORD vendor, WORD product, USHORT usagePage, USHORT usage) {
  if (!g_enumerated) {
    g_enumerated = true;
    g_fakeOnly = true;
  }
  HidDevice dev;
  dev.handle = g_nextDevice++;
  dev.fake = true;
  dev.path = "fake-hid-" + std::to_string(dev.handle);
  dev.info.dwVendorId = vendor;
  dev.info.dwProductId = product;
  dev.info.usUsagePage = usagePage;
  dev.info.usUsage = usage;
  g_devices.push_back(dev);
  return (HANDLE)dev.handle;
}

void queueFakeHidInput(HANDLE device, const std::vector<uint8_t>& report) {
  if (HidDevice* d = findDevice((uintptr_t)device)) d->fakeInput.push_back(report);
}

void postRawInputRecord(HWND hwnd, const std::vector<uint8_t>& record) {
  uintptr_t h = g_nextInput++;
  g_inputs[h] = record;
  postInput(hwnd, WM_INPUT, 0, (LPARAM)h);
}

std::vector<std::vector<uint8_t>> fakeHidWrites(HANDLE device) {
  HidDevice* d = findDevice((uintptr_t)device);
  return d ? d->fakeWrites : std::vector<std::vector<uint8_t>>();
}

void removeFakeHidDevices() {
  g_devices.erase(std::remove_if(g_devices.begin(), g_devices.end(),
                                 [](const HidDevice& d) { return d.fake; }),
                  g_devices.end());
  for (auto& d : g_devices) {
    if (d.reader) SDL_hid_close(d.reader);
    d.reader = nullptr;
  }
  g_registered.clear();
}

}  // namespace vsplat

using namespace vsplat;

extern "C" {

UINT GetRawInputDeviceList(RAWINPUTDEVICELIST* list, PUINT count, UINT entrySize) {
  if (!count || entrySize != sizeof(RAWINPUTDEVICELIST)) return (UINT)-1;
  enumerate();
  UINT n = (UINT)g_devices.size();
  if (!list) {
    *count = n;
    return 0;
  }
  if (*count < n) {
    *count = n;
    return (UINT)-1;
  }
  for (UINT i = 0; i < n; ++i) {
    list[i].hDevice = (HANDLE)g_devices[i].handle;
    list[i].dwType = RIM_TYPEHID;
  }
  return n;
}

UINT GetRawInputDeviceInfoA(HANDLE device, UINT command, LPVOID data, PUINT size) {
  if (!size) return (UINT)-1;
  HidDevice* d = findDevice((uintptr_t)device);
  if (!d) return (UINT)-1;
  if (command == RIDI_DEVICEINFO) {
    UINT need = sizeof(RID_DEVICE_INFO);
    if (!data) {
      *size = need;
      return 0;
    }
    if (*size < need) {
      *size = need;
      return (UINT)-1;
    }
    RID_DEVICE_INFO* info = static_cast<RID_DEVICE_INFO*>(data);
    memset(info, 0, need);
    info->cbSize = need;
    info->dwType = RIM_TYPEHID;
    info->hid = d->info;
    return need;
  }
  if (command == RIDI_DEVICENAME) {
    std::string name = std::string(kNamePrefix) + d->path;
    UINT need = (UINT)name.size() + 1;  // characters, with the terminator
    if (!data) {
      *size = need;
      return 0;
    }
    if (*size < need) {
      *size = need;
      return (UINT)-1;
    }
    memcpy(data, name.c_str(), need);
    return need;
  }
  return (UINT)-1;
}

BOOL RegisterRawInputDevices(const RAWINPUTDEVICE* devices, UINT count, UINT entrySize) {
  if (!devices || entrySize != sizeof(RAWINPUTDEVICE)) return FALSE;
  enumerate();
  for (UINT i = 0; i < count; ++i) {
    std::pair<USHORT, USHORT> key(devices[i].usUsagePage, devices[i].usUsage);
    bool known = false;
    for (auto& r : g_registered) known = known || r == key;
    if (!known) g_registered.push_back(key);
  }
  for (auto& d : g_devices) {
    if (d.fake || d.reader || !registered(d)) continue;
    d.reader = SDL_hid_open_path(d.path.c_str(), 0);
    if (d.reader) SDL_hid_set_nonblocking(d.reader, 1);
  }
  return TRUE;
}

UINT GetRawInputData(HRAWINPUT input, UINT command, LPVOID data, PUINT size, UINT headerSize) {
  if (!size || headerSize != sizeof(RAWINPUTHEADER)) return (UINT)-1;
  auto it = g_inputs.find((uintptr_t)input);
  if (it == g_inputs.end()) return (UINT)-1;
  const std::vector<uint8_t>& bytes = it->second;
  UINT need = command == RID_HEADER ? (UINT)sizeof(RAWINPUTHEADER) : (UINT)bytes.size();
  if (command != RID_INPUT && command != RID_HEADER) return (UINT)-1;
  // A record shorter than a header has none to give.
  if (need > bytes.size()) return (UINT)-1;
  if (!data) {
    *size = need;
    return 0;
  }
  if (*size < need) return (UINT)-1;
  memcpy(data, bytes.data(), need);
  return need;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE) {
  const size_t prefix = sizeof kOpenPrefix - 1;
  if (!name || creation != OPEN_EXISTING || strncmp(name, kOpenPrefix, prefix) != 0)
    return INVALID_HANDLE_VALUE;
  enumerate();
  std::string path = name + prefix;
  for (auto& d : g_devices) {
    if (d.path != path) continue;
    auto* f = new DeviceFile;
    f->device = d.handle;
    if (!d.fake) {
      f->hid = (access & GENERIC_WRITE) ? SDL_hid_open_path(d.path.c_str(), 0) : nullptr;
      if (!f->hid) {
        delete f;
        return INVALID_HANDLE_VALUE;
      }
    }
    return newHandle(f);
  }
  return INVALID_HANDLE_VALUE;
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, void*) {
  if (written) *written = 0;
  auto* f = dynamic_cast<DeviceFile*>(findHandle(file));
  if (!f || (!data && size)) return FALSE;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (f->hid) {
    int n = SDL_hid_write(f->hid, p, size);
    if (n < 0) return FALSE;
    if (written) *written = (DWORD)n;
    return TRUE;
  }
  HidDevice* d = findDevice(f->device);
  if (!d) return FALSE;
  d->fakeWrites.emplace_back(p, p + size);
  if (written) *written = size;
  return TRUE;
}

}  // extern "C"
#endif
