#include "view/sound_win32.h"

#include <cstring>

VIEW_SoundWin32::VIEW_SoundWin32(HWND window) {
  std::memset(&caps_, 0, sizeof caps_);
  caps_.dwSize = sizeof caps_;
  std::memset(&primaryDesc_, 0, sizeof primaryDesc_);
  std::memset(&secondaryDesc_, 0, sizeof secondaryDesc_);
  std::memset(&readBack_, 0, sizeof readBack_);
  std::memset(&wanted_, 0, sizeof wanted_);
  wanted_.wFormatTag = WAVE_FORMAT_PCM;
  wanted_.nChannels = 2;
  wanted_.nSamplesPerSec = 44100;
  wanted_.nAvgBytesPerSec = 176400;
  wanted_.nBlockAlign = 4;
  wanted_.wBitsPerSample = 16;
  if (!open(window)) dropSecondary();
}

// Each step runs only when the previous one succeeded.
bool VIEW_SoundWin32::open(HWND window) {
  if (FAILED(DirectSoundCreate(nullptr, &device_, nullptr))) {
    device_ = nullptr;
    return false;
  }
  if (FAILED(device_->GetCaps(&caps_))) return false;
  if (FAILED(device_->SetCooperativeLevel(window, DSSCL_PRIORITY))) return false;

  primaryDesc_.dwSize = sizeof primaryDesc_;
  primaryDesc_.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_GETCURRENTPOSITION2;
  if (FAILED(device_->CreateSoundBuffer(&primaryDesc_, &primary_, nullptr))) {
    primary_ = nullptr;
    return false;
  }
  if (FAILED(primary_->SetFormat(&wanted_))) return false;
  if (FAILED(primary_->GetFormat(&readBack_, sizeof readBack_, nullptr))) return false;

  secondaryDesc_.dwSize = sizeof secondaryDesc_;
  secondaryDesc_.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME;
  secondaryDesc_.dwBufferBytes = static_cast<DWORD>(ringBytes_);
  secondaryDesc_.lpwfxFormat = &wanted_;
  if (FAILED(device_->CreateSoundBuffer(&secondaryDesc_, &secondary_, nullptr))) {
    secondary_ = nullptr;
    return false;
  }

  LPVOID p1 = nullptr, p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  if (FAILED(secondary_->Lock(0, static_cast<DWORD>(ringBytes_), &p1, &n1, &p2, &n2, 0))) return false;
  if (p1) std::memset(p1, 0, n1);
  if (p2) std::memset(p2, 0, n2);
  secondary_->Unlock(p1, n1, p2, n2);
  return SUCCEEDED(secondary_->Play(0, 0, DSBPLAY_LOOPING));
}

// A ring that is not playing would answer 0 frames forever and hold every
// sound still; without it update reports the silent answer instead.
void VIEW_SoundWin32::dropSecondary() {
  if (!secondary_) return;
  secondary_->Stop();
  secondary_->Release();
  secondary_ = nullptr;
}

VIEW_SoundWin32::~VIEW_SoundWin32() {
  dropSecondary();
  if (primary_) primary_->Release();
  if (device_) device_->Release();
}

int32_t VIEW_SoundWin32::getSampleRate() { return static_cast<int32_t>(wanted_.nSamplesPerSec); }

void VIEW_SoundWin32::pause() {
  if (secondary_) secondary_->Stop();
}

void VIEW_SoundWin32::resume() {
  if (secondary_) secondary_->Play(0, 0, DSBPLAY_LOOPING);
}

int32_t VIEW_SoundWin32::update(const PtrArray<Viewport>& viewports) {
  if (!secondary_) return kSilentFrames;
  DWORD play = 0, write = 0;
  if (FAILED(secondary_->GetCurrentPosition(&play, &write))) return 0;
  const DWORD ring = static_cast<DWORD>(ringBytes_);
  if (play >= ring || write >= ring) return 0;
  // Whole frames only: a cursor inside a frame would shift the channels.
  play -= play % 4;
  write -= write % 4;
  DWORD offset = static_cast<DWORD>(writeOffset_);
  // The device has not moved since the last fill: nothing to write.
  if (offset == play) return 0;
  // The device has run past the offset into the span it owns: what lay
  // there is already playing, so continue at the write cursor.
  DWORD owned = (write + ring - play) % ring;
  DWORD ahead = (offset + ring - play) % ring;
  if (ahead > 0 && ahead < owned) offset = write;
  DWORD bytes = (play + ring - offset) % ring;
  if (bytes == 0) return 0;

  LPVOID p1 = nullptr, p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  if (FAILED(secondary_->Lock(offset, bytes, &p1, &n1, &p2, &n2, 0))) return 0;
  const int32_t frames1 = p1 ? static_cast<int32_t>(n1 / 4) : 0;
  const int32_t frames2 = p2 ? static_cast<int32_t>(n2 / 4) : 0;
  if (frames1 > 0) {
    int16_t* out = static_cast<int16_t*>(p1);
    mixSounds(viewports, frames1, 0, out, out + 1);
  }
  if (frames2 > 0) {
    int16_t* out = static_cast<int16_t*>(p2);
    mixSounds(viewports, frames2, frames1, out, out + 1);
  }
  const int32_t frames = frames1 + frames2;
  writeOffset_ = static_cast<int32_t>((offset + static_cast<DWORD>(frames) * 4) % ring);
  secondary_->Unlock(p1, static_cast<DWORD>(frames1) * 4, p2, static_cast<DWORD>(frames2) * 4);
  return frames;
}
