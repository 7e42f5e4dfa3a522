// The sound output over DirectSound: a looping 16384-byte ring refilled each
// frame up to the device's play cursor.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "view/sound.h"

class VIEW_SoundWin32 : public VIEW_Sound {
 public:
  static constexpr int32_t kRingBytes = 16384;
  static constexpr int32_t kSilentFrames = 2147483647;

  // Opens the default device for the window. Any failure leaves a silent
  // output (no message): update then reports kSilentFrames.
  explicit VIEW_SoundWin32(HWND window);
  ~VIEW_SoundWin32() override;
  VIEW_SoundWin32(const VIEW_SoundWin32&) = delete;
  VIEW_SoundWin32& operator=(const VIEW_SoundWin32&) = delete;

  int32_t getSampleRate() override;
  int32_t update(const PtrArray<Viewport>& viewports) override;
  void pause() override;
  void resume() override;

  bool hasBuffer() const { return secondary_ != nullptr; }
  int32_t writeOffset() const { return writeOffset_; }

 private:
  LPDIRECTSOUND device_ = nullptr;
  DSCAPS caps_;
  LPDIRECTSOUNDBUFFER primary_ = nullptr;
  LPDIRECTSOUNDBUFFER secondary_ = nullptr;
  int32_t ringBytes_ = kRingBytes;
  DSBUFFERDESC primaryDesc_;
  DSBUFFERDESC secondaryDesc_;
  WAVEFORMATEX readBack_;
  WAVEFORMATEX wanted_;
  int32_t writeOffset_ = 0;

  bool open(HWND window);
  void dropSecondary();
};
