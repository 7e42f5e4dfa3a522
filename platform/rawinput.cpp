// Raw input from HID devices over SDL's HID functions, and output reports
// through CreateFileA/WriteFile on a device's name.
#ifndef _WIN32
#include <SDL.h>
#include <SDL_hidapi.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/hid_backend.h"
#include "platform/internal.h"

namespace vsplat {

namespace {

class SdlPort final : public HidPort {
 public:
  explicit SdlPort(SDL_hid_device* device) : device_(device) {}
  ~SdlPort() override { SDL_hid_close(device_); }
  int read(uint8_t* buffer, size_t size) override { return SDL_hid_read(device_, buffer, size); }
  int write(const uint8_t* bytes, size_t size) override { return SDL_hid_write(device_, bytes, size); }

 private:
  SDL_hid_device* device_;
};

class SdlBackend final : public HidBackend {
 public:
  std::vector<HidDeviceDesc> enumerate() override {
    std::vector<HidDeviceDesc> found;
    if (SDL_hid_init() != 0) return found;
    SDL_hid_device_info* list = SDL_hid_enumerate(0, 0);
    for (SDL_hid_device_info* d = list; d; d = d->next) {
      if (!d->path) continue;
      HidDeviceDesc desc;
      desc.path = d->path;
      desc.info.dwVendorId = d->vendor_id;
      desc.info.dwProductId = d->product_id;
      desc.info.dwVersionNumber = d->release_number;
      desc.info.usUsagePage = d->usage_page;
      desc.info.usUsage = d->usage;
      found.push_back(desc);
    }
    SDL_hid_free_enumeration(list);
    return found;
  }
  std::unique_ptr<HidPort> open(const std::string& path) override {
    SDL_hid_device* device = SDL_hid_open_path(path.c_str(), 0);
    if (!device) return nullptr;
    SDL_hid_set_nonblocking(device, 1);
    return std::make_unique<SdlPort>(device);
  }
};

struct HidDevice {
  uintptr_t handle = 0;
  std::string path;
  RID_DEVICE_INFO_HID info = {};
  std::unique_ptr<HidPort> reader;  // open while registered for input
};

struct DeviceFile : KernelObject {
  uintptr_t device = 0;
  std::unique_ptr<HidPort> port;
};

SdlBackend g_sdl;
HidBackend* g_backend = &g_sdl;
std::vector<HidDevice> g_devices;
bool g_enumerated = false;
uintptr_t g_nextDevice = 0x2000;
std::vector<std::pair<USHORT, USHORT>> g_registered;  // usage page, usage
std::map<uintptr_t, std::vector<uint8_t>> g_inputs;   // HRAWINPUT -> its RAWINPUT bytes
uintptr_t g_nextInput = 0x3000;
const size_t kKeptInputs = 64;

const char kNamePrefix[] = "\\??\\";   // as raw input names a device
const char kOpenPrefix[] = "\\\\?\\";  // as CreateFileA opens one

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

// Registered devices are read from; the others are not opened.
void openReaders() {
  for (auto& d : g_devices) {
    if (!d.reader && registered(d)) d.reader = g_backend->open(d.path);
  }
}

void list() {
  std::vector<HidDevice> kept;
  for (HidDeviceDesc& desc : g_backend->enumerate()) {
    HidDevice dev;
    auto old =
        std::find_if(g_devices.begin(), g_devices.end(), [&](const HidDevice& d) { return d.path == desc.path; });
    if (old != g_devices.end()) {
      dev.handle = old->handle;
      dev.reader = std::move(old->reader);
    } else {
      dev.handle = g_nextDevice++;
    }
    dev.path = std::move(desc.path);
    dev.info = desc.info;
    kept.push_back(std::move(dev));
  }
  g_devices = std::move(kept);
  g_enumerated = true;
}

void enumerate() {
  if (!g_enumerated) list();
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
  queueRawInput(target, std::move(bytes));
}

}  // namespace

void queueRawInput(HWND hwnd, std::vector<uint8_t> record) {
  uintptr_t h = g_nextInput++;
  g_inputs[h] = std::move(record);
  // Input nobody read is dropped after a while, as Windows drops it.
  while (g_inputs.size() > kKeptInputs) g_inputs.erase(g_inputs.begin());
  postInput(hwnd, WM_INPUT, 0, (LPARAM)h);
}

void setHidBackend(HidBackend* backend) {
  g_backend = backend ? backend : &g_sdl;
  g_devices.clear();
  g_registered.clear();
  g_enumerated = false;
}

void refreshHidDevices() {
  list();
  openReaders();
}

HANDLE hidDeviceHandle(const std::string& path) {
  enumerate();
  for (auto& d : g_devices)
    if (d.path == path) return (HANDLE)d.handle;
  return nullptr;
}

void pollRawInput() {
  for (auto& d : g_devices) {
    if (!d.reader || !registered(d)) continue;
    uint8_t report[1024];
    for (int i = 0; i < 16; ++i) {
      int n = d.reader->read(report, sizeof report);
      if (n <= 0) break;
      deliver(d, report, (size_t)n);
    }
  }
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
  openReaders();
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
  if (!name || creation != OPEN_EXISTING || strncmp(name, kOpenPrefix, prefix) != 0) return INVALID_HANDLE_VALUE;
  enumerate();
  std::string path = name + prefix;
  for (auto& d : g_devices) {
    if (d.path != path) continue;
    if (!(access & GENERIC_WRITE)) return INVALID_HANDLE_VALUE;
    std::unique_ptr<HidPort> port = g_backend->open(d.path);
    if (!port) return INVALID_HANDLE_VALUE;
    auto* f = new DeviceFile;
    f->device = d.handle;
    f->port = std::move(port);
    return newHandle(f);
  }
  return INVALID_HANDLE_VALUE;
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, void*) {
  if (written) *written = 0;
  auto* f = dynamic_cast<DeviceFile*>(findHandle(file));
  if (!f || (!data && size)) return FALSE;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  int n = f->port ? f->port->write(p, size) : -1;
  if (n < 0) return FALSE;
  if (written) *written = (DWORD)n;
  return TRUE;
}

}  // extern "C"
#endif
