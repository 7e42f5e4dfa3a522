// Where raw input finds its HID devices: SDL's HID functions, unless a test
// backend (platform/testing/) stands in for the machine's devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace vsplat {

// One open device.
class HidPort {
 public:
  virtual ~HidPort() = default;
  // One waiting input report into buffer: its size, 0 when none waits,
  // negative on an error. Never blocks.
  virtual int read(uint8_t* buffer, size_t size) = 0;
  // The bytes written, negative on an error.
  virtual int write(const uint8_t* bytes, size_t size) = 0;
};

struct HidDeviceDesc {
  std::string path;
  RID_DEVICE_INFO_HID info = {};
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual std::vector<HidDeviceDesc> enumerate() = 0;
  // Null when the device cannot be opened.
  virtual std::unique_ptr<HidPort> open(const std::string& path) = 0;
};

// Lists devices from this backend from now on (null: SDL's again). The
// devices listed so far, their readers and the registered usages are
// forgotten, so the next listing asks the backend.
void setHidBackend(HidBackend* backend);
// Lists the backend's devices again; devices still there keep their handle,
// reader and registration.
void refreshHidDevices();
// The raw-input handle of a listed device; null when none has that path.
HANDLE hidDeviceHandle(const std::string& path);
// Queues WM_INPUT to the window; GetRawInputData answers exactly the record.
void queueRawInput(HWND hwnd, std::vector<uint8_t> record);

}  // namespace vsplat
