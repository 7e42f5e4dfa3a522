// Test side of the DirectSound stand-in, built into platform/testing/ (a
// library only tests link): lets tests move the device's cursors one pull at
// a time, read what the device would play and make calls fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dsound_seam.h"  // soundDeviceChunkBytes, soundDeviceOpen

namespace vsplat {

// While a hold lives, the SDL device thread plays silence and leaves every
// ring alone; pull() does what one device pull would, on the caller's thread.
class SoundDeviceHold {
 public:
  SoundDeviceHold();
  ~SoundDeviceHold();
  SoundDeviceHold(const SoundDeviceHold&) = delete;
  SoundDeviceHold& operator=(const SoundDeviceHold&) = delete;

  // Takes bytes (whole frames) from every playing ring, as the device would,
  // and returns the mixed interleaved stereo samples.
  std::vector<int16_t> pull(size_t bytes);
};

// While a fault lives, the named call fails with DSERR_GENERIC: one of
// "DirectSoundCreate", "GetCaps", "SetCooperativeLevel", "CreatePrimary",
// "SetFormat", "GetFormat", "CreateSecondary", "Lock", "Play",
// "GetCurrentPosition". With skew set, GetCurrentPosition instead reports
// both cursors skew bytes further on, as a driver whose cursors fall inside
// frames would.
class SoundDeviceFault {
 public:
  explicit SoundDeviceFault(const char* call, uint32_t skew = 0);
  ~SoundDeviceFault();
  SoundDeviceFault(const SoundDeviceFault&) = delete;
  SoundDeviceFault& operator=(const SoundDeviceFault&) = delete;
};

}  // namespace vsplat
