// The test backend of the DirectSound stand-in: held device pulls and
// failing calls (see platform/dsound_testing.h).
#ifndef _WIN32
#include <cstring>

#include "platform/dsound_seam.h"
#include "platform/dsound_testing.h"

namespace vsplat {

namespace {

class TestSeam final : public SoundDeviceSeam {
 public:
  bool fails(const char* call) const override { return failing && std::strcmp(failing, call) == 0; }
  DWORD cursorShift() const override { return skew; }
  bool holdsDevice() const override { return held; }

  bool held = false;
  const char* failing = nullptr;
  DWORD skew = 0;
};

// Changed only under the device lock, which the device thread holds while it
// asks the seam.
TestSeam g_seam;

}  // namespace

SoundDeviceHold::SoundDeviceHold() {
  SoundDeviceLock lock;
  g_seam.held = true;
  setSoundDeviceSeam(&g_seam);
}

SoundDeviceHold::~SoundDeviceHold() {
  SoundDeviceLock lock;
  g_seam.held = false;
}

std::vector<int16_t> SoundDeviceHold::pull(size_t bytes) {
  std::vector<int16_t> out((bytes - bytes % 4) / 2, 0);
  SoundDeviceLock lock;
  mixSoundDevice(reinterpret_cast<uint8_t*>(out.data()), out.size() * 2);
  return out;
}

SoundDeviceFault::SoundDeviceFault(const char* call, uint32_t skew) {
  SoundDeviceLock lock;
  g_seam.failing = skew ? nullptr : call;
  g_seam.skew = skew;
  setSoundDeviceSeam(&g_seam);
}

SoundDeviceFault::~SoundDeviceFault() {
  SoundDeviceLock lock;
  g_seam.failing = nullptr;
  g_seam.skew = 0;
}

}  // namespace vsplat
#endif
