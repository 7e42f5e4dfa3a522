// Where a test backend (platform/testing/) may stand between the DirectSound
// stand-in and its SDL device. The player installs nothing here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace vsplat {

class SoundDeviceSeam {
 public:
  virtual ~SoundDeviceSeam() = default;
  // True when the named DirectSound call is to fail with DSERR_GENERIC.
  virtual bool fails(const char* call) const = 0;
  // Bytes added to both cursors GetCurrentPosition reports.
  virtual DWORD cursorShift() const = 0;
  // True while the device thread is to play silence and leave every ring alone.
  virtual bool holdsDevice() const = 0;
};

// Holds SDL's audio lock of the open device (none: nothing to hold).
class SoundDeviceLock {
 public:
  SoundDeviceLock();
  ~SoundDeviceLock();
  SoundDeviceLock(const SoundDeviceLock&) = delete;
  SoundDeviceLock& operator=(const SoundDeviceLock&) = delete;
};

// Installs the seam (null: none); call with the device lock held.
void setSoundDeviceSeam(const SoundDeviceSeam* seam);
// What one device pull does: takes bytes (whole frames) from every playing
// ring and mixes them into out. Call with the device lock held.
void mixSoundDevice(uint8_t* out, size_t bytes);

// The size of one pull of the open SDL device, in bytes; 0 when none is open.
size_t soundDeviceChunkBytes();
bool soundDeviceOpen();

}  // namespace vsplat
